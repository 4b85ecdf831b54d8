#include "platform/registry_values.h"

#include "platform/code_page.h"

namespace quellix::platform {

std::optional<std::string> ReadValueBytes(Registry& registry, RegistryHandle key, const std::string& name,
                                          std::uint32_t* type) {
  std::uint32_t size = 0;
  if (registry.QueryValue(key, name, type, nullptr, &size) != reg_status::kSuccess) return std::nullopt;
  std::string bytes(size, '\0');
  if (registry.QueryValue(key, name, type, reinterpret_cast<std::uint8_t*>(bytes.data()), &size) !=
      reg_status::kSuccess) {
    return std::nullopt;
  }
  if (size < bytes.size()) bytes.resize(size);
  return bytes;
}

std::int32_t WriteAnsiText(Registry& registry, RegistryHandle key, const std::string& name, const std::string& text) {
  const std::string data = AnsiFromUtf8(text);
  return registry.SetValue(key, name, reg_type::kSz, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                           static_cast<std::uint32_t>(data.size() + 1));
}

}  // namespace quellix::platform
