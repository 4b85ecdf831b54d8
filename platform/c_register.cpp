#include "platform/c_register.h"

#include <cstdint>

#include "platform/code_page.h"

namespace quellix {

using platform::HandleOfRoot;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_access = platform::reg_access;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

namespace {

// "*" names the key's default value, which the registry calls "".
std::string ValueName(const std::string& name) { return name == "*" ? std::string() : platform::AnsiFromUtf8(name); }

}  // namespace

CRegister::CRegister(platform::Registry& registry) : registry_(registry) {}

std::string CRegister::CleanKeyPath(const std::string& path) {
  std::string clean = path;
  if (!clean.empty() && clean.front() == '\\') clean.erase(0, 1);
  if (!clean.empty() && clean.back() == '\\') clean.pop_back();
  return clean;
}

std::string CRegister::ReadRegValue(RegistryRoot root, const std::string& path, const std::string& name,
                                    const std::string& default_text) const {
  const std::string key_path = platform::AnsiFromUtf8(CleanKeyPath(path));
  ScopedRegistryKey key(registry_);
  std::int32_t opened = registry_.OpenKeyEx(HandleOfRoot(root), key_path, reg_access::kKeyAllAccess, key.Put());
  if (opened == reg_status::kAccessDenied) {
    opened = registry_.OpenKeyEx(HandleOfRoot(root), key_path, reg_access::kKeyRead, key.Put());
  }
  if (opened != reg_status::kSuccess) return default_text;

  const std::string value_name = ValueName(name);
  std::uint32_t size = 0;
  if (registry_.QueryValue(key.Get(), value_name, nullptr, nullptr, &size) != reg_status::kSuccess || size == 0) {
    return default_text;
  }
  std::string buffer(size, ' ');
  if (registry_.QueryValue(key.Get(), value_name, nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()), &size) !=
      reg_status::kSuccess) {
    return default_text;
  }
  if (size < buffer.size()) buffer.resize(size);
  // Text is stored with its terminating NUL; a value stored without one keeps
  // its last character.
  if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  return platform::Utf8FromAnsi(buffer);
}

bool CRegister::WriteRegValue(RegistryRoot root, const std::string& path, const std::string& name,
                              const std::string& text) const {
  ScopedRegistryKey key(registry_);
  if (registry_.CreateKeyEx(HandleOfRoot(root), platform::AnsiFromUtf8(CleanKeyPath(path)), reg_access::kKeyAllAccess,
                            key.Put()) != reg_status::kSuccess) {
    return false;
  }
  const std::string data = platform::AnsiFromUtf8(text);
  return registry_.SetValue(key.Get(), ValueName(name), reg_type::kSz,
                            reinterpret_cast<const std::uint8_t*>(data.c_str()),
                            static_cast<std::uint32_t>(data.size() + 1)) == reg_status::kSuccess;
}

bool CRegister::DeleteRegEntry(RegistryRoot root, const std::string& path, const std::string& name) const {
  ScopedRegistryKey key(registry_);
  if (name.empty()) {
    if (registry_.OpenKeyEx(HandleOfRoot(root), "", reg_access::kKeyAllAccess, key.Put()) != reg_status::kSuccess) {
      return false;
    }
    return registry_.DeleteKey(key.Get(), platform::AnsiFromUtf8(path)) == reg_status::kSuccess;
  }
  if (registry_.OpenKeyEx(HandleOfRoot(root), platform::AnsiFromUtf8(CleanKeyPath(path)), reg_access::kKeyAllAccess,
                          key.Put()) != reg_status::kSuccess) {
    return false;
  }
  return registry_.DeleteValue(key.Get(), ValueName(name)) == reg_status::kSuccess;
}

}  // namespace quellix
