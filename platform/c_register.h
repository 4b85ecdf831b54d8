// CRegister: reading, writing and deleting one registry value or key for the
// browser toolbar button. Key paths may carry one leading and one trailing
// backslash (CleanKeyPath drops them); a value name "*" is the key's default
// value. Texts are UTF-8 here and reach the registry in the ANSI code page.
#pragma once

#include <string>

#include "platform/registry.h"

namespace quellix {

class CRegister {
 public:
  explicit CRegister(platform::Registry& registry = platform::SystemRegistry());

  // The value's text without its terminating NUL, or `default_text` when the
  // key or value is missing, empty or unreadable. The key is opened with full
  // access and, when that is denied, for reading. The value's type is not
  // examined.
  std::string ReadRegValue(platform::RegistryRoot root, const std::string& path, const std::string& name,
                           const std::string& default_text) const;
  // Writes `text` as a REG_SZ value, creating the key and missing parents.
  // True when the value was written.
  bool WriteRegValue(platform::RegistryRoot root, const std::string& path, const std::string& name,
                     const std::string& text) const;
  // With a name: deletes that value. With an empty name: deletes the key named
  // by `path` exactly as given (not cleaned), which must have no subkeys.
  // True when the deletion succeeded.
  bool DeleteRegEntry(platform::RegistryRoot root, const std::string& path, const std::string& name) const;
  // The path without one leading and one trailing backslash.
  static std::string CleanKeyPath(const std::string& path);

 private:
  platform::Registry& registry_;
};

}  // namespace quellix
