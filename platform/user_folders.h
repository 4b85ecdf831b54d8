// The user's own folders, for a program whose folder the user cannot write.
#pragma once

#include <string>

namespace quellix::platform {

// The user's roaming application-data folder (%APPDATA%), without a final
// backslash; empty when the system names none.
std::string RoamingAppDataFolder();

// Creates the folder and any missing parents. True when it exists afterwards.
bool CreateFolderPath(const std::string& path);

}  // namespace quellix::platform
