#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/settings_store.h"

namespace quellix::platform {

// $QUELLIX_SETTINGS_FILE, or settings.ini under $XDG_CONFIG_HOME/quellix
// (~/.config/quellix when that is not set).
std::unique_ptr<SettingsStore> OpenUserSettingsStore() {
  if (const char* file = std::getenv("QUELLIX_SETTINGS_FILE"); file != nullptr && *file != '\0') {
    return std::make_unique<FileSettingsStore>(file);
  }
  std::filesystem::path folder;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
    folder = config;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".config";
  } else {
    folder = ".";
  }
  folder /= "quellix";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return std::make_unique<FileSettingsStore>((folder / "settings.ini").string());
}

}  // namespace quellix::platform
