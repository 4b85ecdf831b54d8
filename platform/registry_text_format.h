// The text form in which PortableRegistry keeps its keys between runs:
//
//   QUELLIX REGISTRY 1
//   [HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
//   "Quellix Pop-Up Blocker"=1:433a5c...00
//   @=4:07000000
//
// One "[root\path]" line per key (a key without values keeps its line), then
// its values: "@" for the default value or the name in double quotes, "=",
// the type number, ":" and the data in hexadecimal. Names are ANSI bytes; a
// byte outside printable ASCII and any of % " [ ] \ = is written as %XX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace quellix::platform {

struct RegistryTextValue {
  std::string name;  // "" for the default value
  std::uint32_t type = reg_type::kSz;
  std::vector<std::uint8_t> data;
};

struct RegistryTextKey {
  RegistryRoot root = RegistryRoot::CurrentUser;
  std::vector<std::string> path;  // the key names below the root; empty for the root itself
  std::vector<RegistryTextValue> values;
};

std::string WriteRegistryText(const std::vector<RegistryTextKey>& keys);

// Nothing, with `error` saying which line is wrong, when the text is not in
// this form; a file is taken whole or not at all.
std::optional<std::vector<RegistryTextKey>> ReadRegistryText(std::string_view text, std::string& error);

// "HKEY_LOCAL_MACHINE" and the other roots' names; empty for a number that names no root.
std::string_view RootName(RegistryRoot root);

}  // namespace quellix::platform
