#include "platform/lists_folder.h"

#include "platform/user_folders.h"
#include "text/letter_case.h"

namespace quellix::platform {
namespace {

std::string ComparablePath(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return FoldCase(path);
}

}  // namespace

bool IsAllUsersInstallation(Registry& registry, const std::string& program_folder) {
  ScopedRegistryKey key(registry);
  if (registry.OpenKeyEx(HandleOfRoot(RegistryRoot::LocalMachine), kInstallationKey, reg_access::kQueryValue,
                         key.Put()) != reg_status::kSuccess) {
    return false;
  }
  std::string recorded;
  if (registry.QueryText(key.Get(), kAllUsersFolderValue, recorded) != reg_status::kSuccess) return false;
  return !ComparablePath(recorded).empty() && ComparablePath(recorded) == ComparablePath(program_folder);
}

std::string ListsFolder(Registry& registry, const std::string& program_folder, const std::string& roaming_folder) {
  if (roaming_folder.empty() || !IsAllUsersInstallation(registry, program_folder)) return program_folder;
  std::string folder = roaming_folder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  folder += kUserListsSubfolder;
  CreateFolderPath(folder);
  return folder;
}

}  // namespace quellix::platform
