#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/native_path.h"
#include "platform/user_folders.h"

namespace quellix::platform {

// The portable build stands in XDG's configuration folder for %APPDATA%.
std::string RoamingAppDataFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') return config;
  if (const char* home = std::getenv("HOME"); home && *home == '/') return std::string(home) + "/.config";
  return {};
}

bool CreateFolderPath(const std::string& path) {
  const std::string native = NativePath(path);
  for (std::size_t cut = native.find('/', 1); cut != std::string::npos; cut = native.find('/', cut + 1)) {
    ::mkdir(native.substr(0, cut).c_str(), 0700);
  }
  ::mkdir(native.c_str(), 0700);
  struct stat status {};
  return ::stat(native.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace quellix::platform
