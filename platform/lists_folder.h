// Where a user's site lists live.
//
// A per-user installation keeps them beside the program, in a folder the user
// owns. An all-users installation puts the program where users cannot write;
// its installer records the program's folder under HKEY_LOCAL_MACHINE, and the
// program started from that folder keeps each user's lists in the user's
// roaming application-data folder instead. A per-user copy elsewhere on the
// same machine is not affected by the record.
#pragma once

#include <string>

#include "platform/registry.h"

namespace quellix::platform {

// Written by the all-users installer, removed by its uninstaller.
inline constexpr const char* kInstallationKey = "Software\\Orlavent\\Quellix Pop-Up Blocker";
inline constexpr const char* kAllUsersFolderValue = "AllUsersFolder";
// Below the roaming application-data folder.
inline constexpr const char* kUserListsSubfolder = "\\Orlavent\\Quellix Pop-Up Blocker";

// Whether `program_folder` is the folder of the all-users installation
// (letter case and final backslashes aside).
bool IsAllUsersInstallation(Registry& registry, const std::string& program_folder);

// The folder of the list files, without a final backslash: `program_folder`,
// or for the all-users installation `roaming_folder` + kUserListsSubfolder,
// created when missing. An all-users installation whose user has no roaming
// folder keeps the program folder (its lists then cannot be written, and the
// list store says so).
std::string ListsFolder(Registry& registry, const std::string& program_folder, const std::string& roaming_folder);

}  // namespace quellix::platform
