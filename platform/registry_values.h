// One value read or written through the registry's ANSI calls: what the
// program's entry classes (AddRemove, CRegister) and the portable registry's
// text calls share. Names are ANSI; texts are UTF-8 here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace quellix::platform {

// The bytes of value `name` of the open `key`, and its type when `type` is
// given; nothing when the value is missing or cannot be read.
std::optional<std::string> ReadValueBytes(Registry& registry, RegistryHandle key, const std::string& name,
                                          std::uint32_t* type);
// `text` in the ANSI code page as REG_SZ, its terminating NUL stored and counted.
std::int32_t WriteAnsiText(Registry& registry, RegistryHandle key, const std::string& name, const std::string& text);

}  // namespace quellix::platform
