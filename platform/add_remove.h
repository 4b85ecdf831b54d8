// AddRemove: the program's registry entries that make it start with Windows
// and list it among the installed programs, and the five general registry
// operations they are built on. Texts are UTF-8 here and reach the registry
// in the system's ANSI code page.
//
// For the run-at-start switch:
//   AddRemove registry_entries;                      // one, for the program's life
//   registry_entries.AddToRun(name, OwnStartUpCommand());  // true: an entry holds the command now
//   registry_entries.RemoveFromRun(name);                 // true: no entry is left
//   registry_entries.RunEntryExists(name);                // the truth at any time
//
// The start-up entry is written machine-wide; when the machine-wide write is
// refused (no administrative rights) it goes to the current user's Run key,
// which Windows also runs at log-on. RemoveFromRun removes it from both.
// A program installed for all users writes only the user's own entry
// (StartUpScope::CurrentUser): one user's switch must not start it for all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace quellix {

// Where AddToRun writes the start-up entry.
enum class StartUpScope { MachineFirst, CurrentUser };

class AddRemove {
 public:
  // The key both roots keep start-up entries under.
  static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  // The installed-programs entry is this key followed by the program name.
  static constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

  explicit AddRemove(platform::Registry& registry = platform::SystemRegistry(),
                     StartUpScope start_up_scope = StartUpScope::MachineFirst);

  // The installed-programs entry: "DisplayName" (the name) and "UninstallString".
  void AddToList(const std::string& name, const std::string& uninstall_command);
  // Deletes the installed-programs key with its values (not one that has subkeys).
  void RemoveFromList(const std::string& name);

  // Writes the start-up entry `name` = `command`. True when a start-up entry
  // holding `command` exists afterwards (machine-wide or for this user).
  // False, with nothing written, when the code page cannot hold the command
  // or the name exactly.
  bool AddToRun(const std::string& name, const std::string& command);
  // Deletes the start-up entry `name` under both roots. True when none is left
  // (false: a machine-wide entry stays because its deletion was refused).
  bool RemoveFromRun(const std::string& name);
  // Whether a start-up entry `name` exists machine-wide or for this user.
  bool RunEntryExists(const std::string& name) const;

  // Creates the key if it does not exist.
  void SaveKey(platform::RegistryRoot root, const std::string& path);
  // The text of a REG_SZ value up to its first NUL; nothing when the key or
  // value is missing, the value is not REG_SZ, or the read fails.
  std::optional<std::string> GetString(platform::RegistryRoot root, const std::string& path,
                                       const std::string& name) const;
  // Writes a REG_SZ value (with its terminating NUL), creating the key if needed.
  void SaveString(platform::RegistryRoot root, const std::string& path, const std::string& name,
                  const std::string& text);
  void DeleteValue(platform::RegistryRoot root, const std::string& path, const std::string& name);
  // Deletes a key that has no subkeys.
  void DeleteKey(platform::RegistryRoot root, const std::string& path);

 private:
  std::int32_t WriteString(platform::RegistryRoot root, const std::string& path, const std::string& name,
                           const std::string& text);
  std::int32_t RemoveValue(platform::RegistryRoot root, const std::string& path, const std::string& name);

  platform::Registry& registry_;
  StartUpScope start_up_scope_;
};

// The start-up command for the executable at `executable_path`. Windows takes
// the entry as a command line: an unquoted path with a blank in it could start
// another program named after the part before the blank, so such a path is
// put in double quotes; any other path is written as it is.
std::string StartUpCommandFor(const std::string& executable_path);

// StartUpCommandFor the running program: its folder, "\", its name, ".exe".
std::string OwnStartUpCommand();

}  // namespace quellix
