#include "platform/add_remove.h"

#include <algorithm>

#include "platform/code_page.h"
#include "platform/program_folder.h"
#include "platform/registry_values.h"

namespace quellix {

using platform::HandleOfRoot;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

AddRemove::AddRemove(platform::Registry& registry, StartUpScope start_up_scope)
    : registry_(registry), start_up_scope_(start_up_scope) {}

void AddRemove::AddToList(const std::string& name, const std::string& uninstall_command) {
  const std::string key = kUninstallKey + name;
  SaveString(RegistryRoot::LocalMachine, key, "DisplayName", name);
  SaveString(RegistryRoot::LocalMachine, key, "UninstallString", uninstall_command);
}

void AddRemove::RemoveFromList(const std::string& name) { DeleteKey(RegistryRoot::LocalMachine, kUninstallKey + name); }

bool AddRemove::AddToRun(const std::string& name, const std::string& command) {
  // A path the code page cannot hold would be written as another path, one
  // that starts nothing (or something else).
  if (!platform::AnsiHoldsExactly(command) || !platform::AnsiHoldsExactly(name)) return false;
  if (start_up_scope_ == StartUpScope::CurrentUser) {
    return WriteString(RegistryRoot::CurrentUser, kRunKey, name, command) == reg_status::kSuccess;
  }
  if (WriteString(RegistryRoot::LocalMachine, kRunKey, name, command) == reg_status::kSuccess) {
    // A per-user copy left by an earlier refused write would start the program twice.
    RemoveValue(RegistryRoot::CurrentUser, kRunKey, name);
    return true;
  }
  // Refused machine-wide. If that entry already holds the command there is
  // nothing to add; otherwise this user's Run key starts the program at log-on.
  if (GetString(RegistryRoot::LocalMachine, kRunKey, name) == command) return true;
  return WriteString(RegistryRoot::CurrentUser, kRunKey, name, command) == reg_status::kSuccess;
}

bool AddRemove::RemoveFromRun(const std::string& name) {
  RemoveValue(RegistryRoot::LocalMachine, kRunKey, name);
  RemoveValue(RegistryRoot::CurrentUser, kRunKey, name);
  return !RunEntryExists(name);
}

bool AddRemove::RunEntryExists(const std::string& name) const {
  const std::string ansi_name = platform::AnsiFromUtf8(name);
  for (const RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
    ScopedRegistryKey key(registry_);
    if (registry_.OpenKey(HandleOfRoot(root), kRunKey, key.Put()) != reg_status::kSuccess) continue;
    std::uint32_t size = 0;
    if (registry_.QueryValue(key.Get(), ansi_name, nullptr, nullptr, &size) == reg_status::kSuccess) return true;
  }
  return false;
}

void AddRemove::SaveKey(RegistryRoot root, const std::string& path) {
  ScopedRegistryKey key(registry_);
  registry_.CreateKey(HandleOfRoot(root), platform::AnsiFromUtf8(path), key.Put());
}

std::optional<std::string> AddRemove::GetString(RegistryRoot root, const std::string& path,
                                                const std::string& name) const {
  ScopedRegistryKey key(registry_);
  if (registry_.OpenKey(HandleOfRoot(root), platform::AnsiFromUtf8(path), key.Put()) != reg_status::kSuccess) {
    return std::nullopt;
  }
  std::uint32_t type = reg_type::kNone;
  std::optional<std::string> bytes = platform::ReadValueBytes(registry_, key.Get(), platform::AnsiFromUtf8(name), &type);
  if (!bytes || type != reg_type::kSz) return std::nullopt;
  bytes->resize(std::min(bytes->size(), bytes->find('\0')));
  return platform::Utf8FromAnsi(*bytes);
}

void AddRemove::SaveString(RegistryRoot root, const std::string& path, const std::string& name,
                           const std::string& text) {
  WriteString(root, path, name, text);
}

void AddRemove::DeleteValue(RegistryRoot root, const std::string& path, const std::string& name) {
  RemoveValue(root, path, name);
}

void AddRemove::DeleteKey(RegistryRoot root, const std::string& path) {
  registry_.DeleteKey(HandleOfRoot(root), platform::AnsiFromUtf8(path));
}

std::int32_t AddRemove::WriteString(RegistryRoot root, const std::string& path, const std::string& name,
                                    const std::string& text) {
  ScopedRegistryKey key(registry_);
  const std::int32_t opened = registry_.CreateKey(HandleOfRoot(root), platform::AnsiFromUtf8(path), key.Put());
  if (opened != reg_status::kSuccess) return opened;
  return platform::WriteAnsiText(registry_, key.Get(), platform::AnsiFromUtf8(name), text);
}

std::int32_t AddRemove::RemoveValue(RegistryRoot root, const std::string& path, const std::string& name) {
  ScopedRegistryKey key(registry_);
  const std::int32_t opened = registry_.OpenKey(HandleOfRoot(root), platform::AnsiFromUtf8(path), key.Put());
  if (opened != reg_status::kSuccess) return opened;
  return registry_.DeleteValue(key.Get(), platform::AnsiFromUtf8(name));
}

std::string StartUpCommandFor(const std::string& executable_path) {
  if (executable_path.find_first_of(" \t") == std::string::npos) return executable_path;
  return '"' + executable_path + '"';
}

std::string OwnStartUpCommand() {
  return StartUpCommandFor(platform::ProgramFolder() + "\\" + platform::ProgramExeName() + ".exe");
}

}  // namespace quellix
