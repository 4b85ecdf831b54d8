#include <windows.h>
#include <shlobj.h>

#include "platform/user_folders.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {

std::string RoamingAppDataFolder() {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &path))) folder = win::Utf8(path);
  CoTaskMemFree(path);  // also when the call failed, as its contract asks
  return folder;
}

bool CreateFolderPath(const std::string& path) {
  const std::wstring wide = win::Wide(path);
  // Each missing parent first; "C:" and "\\server\share" exist or fail on their own.
  for (std::size_t cut = wide.find(L'\\', 3); cut != std::wstring::npos; cut = wide.find(L'\\', cut + 1)) {
    CreateDirectoryW(wide.substr(0, cut).c_str(), nullptr);
  }
  CreateDirectoryW(wide.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace quellix::platform
