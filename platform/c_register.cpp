#include "platform/c_register.h"

#include <cstdint>

#include "platform/code_page.h"
#include "platform/registry_values.h"

namespace quellix {

using platform::HandleOfRoot;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_access = platform::reg_access;
namespace reg_status = platform::reg_status;

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

  std::optional<std::string> bytes = platform::ReadValueBytes(registry_, key.Get(), ValueName(name), nullptr);
  if (!bytes || bytes->empty()) return default_text;
  // Text is stored with its terminating NUL; a value stored without one keeps
  // its last character.
  if (bytes->back() == '\0') bytes->pop_back();
  return platform::Utf8FromAnsi(*bytes);
}

bool CRegister::WriteRegValue(RegistryRoot root, const std::string& path, const std::string& name,
                              const std::string& text) const {
  ScopedRegistryKey key(registry_);
  if (registry_.CreateKeyEx(HandleOfRoot(root), platform::AnsiFromUtf8(CleanKeyPath(path)), reg_access::kKeyAllAccess,
                            key.Put()) != reg_status::kSuccess) {
    return false;
  }
  return platform::WriteAnsiText(registry_, key.Get(), ValueName(name), text) == reg_status::kSuccess;
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
