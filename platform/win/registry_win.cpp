// The registry through advapi32's ANSI functions, one call each.
#include <windows.h>

#include <string>

#include "platform/code_page.h"
#include "platform/registry.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {
namespace {

// The interface's numbers are the platform's own.
static_assert(reg_access::kKeyAllAccess == KEY_ALL_ACCESS && reg_access::kKeyRead == KEY_READ &&
              reg_access::kKeyWrite == KEY_WRITE && reg_access::kMaximumAllowed == MAXIMUM_ALLOWED);
static_assert(reg_status::kFileNotFound == ERROR_FILE_NOT_FOUND && reg_status::kAccessDenied == ERROR_ACCESS_DENIED &&
              reg_status::kInvalidHandle == ERROR_INVALID_HANDLE && reg_status::kBadPathname == ERROR_BAD_PATHNAME &&
              reg_status::kMoreData == ERROR_MORE_DATA && reg_status::kKeyDeleted == ERROR_KEY_DELETED &&
              reg_status::kRegistryIoFailed == ERROR_REGISTRY_IO_FAILED &&
              reg_status::kUnsupportedType == ERROR_UNSUPPORTED_TYPE);
static_assert(reg_type::kSz == REG_SZ && reg_type::kDword == REG_DWORD && reg_type::kQword == REG_QWORD &&
              reg_type::kMultiSz == REG_MULTI_SZ && reg_type::kExpandSz == REG_EXPAND_SZ);

HKEY ToHkey(RegistryHandle handle) { return reinterpret_cast<HKEY>(handle); }

// Runs one open or create; a failed one leaves no handle behind, whatever the call wrote.
template <typename Call>
std::int32_t Opened(RegistryHandle& key, Call call) {
  HKEY opened = nullptr;
  const LONG status = call(&opened);
  key = status == ERROR_SUCCESS ? reinterpret_cast<RegistryHandle>(opened) : 0;
  return status;
}

class Win32Registry final : public Registry {
 public:
  std::int32_t CreateKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) override {
    return Opened(key, [&](HKEY* opened) { return RegCreateKeyA(ToHkey(parent), path.c_str(), opened); });
  }

  std::int32_t CreateKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                           RegistryHandle& key) override {
    return Opened(key, [&](HKEY* opened) {
      return RegCreateKeyExA(ToHkey(parent), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, opened,
                             nullptr);
    });
  }

  std::int32_t OpenKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) override {
    return Opened(key, [&](HKEY* opened) { return RegOpenKeyA(ToHkey(parent), path.c_str(), opened); });
  }

  std::int32_t OpenKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                         RegistryHandle& key) override {
    return Opened(key, [&](HKEY* opened) { return RegOpenKeyExA(ToHkey(parent), path.c_str(), 0, access, opened); });
  }

  std::int32_t QueryValue(RegistryHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override {
    DWORD value_type = 0;
    DWORD value_size = size != nullptr ? *size : 0;
    const LONG status = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &value_type, data,
                                         size != nullptr ? &value_size : nullptr);
    if (type != nullptr) *type = value_type;
    if (size != nullptr) *size = value_size;
    return status;
  }

  std::int32_t SetValue(RegistryHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
  }

  std::int32_t DeleteValue(RegistryHandle key, const std::string& name) override {
    return RegDeleteValueA(ToHkey(key), name.c_str());
  }

  std::int32_t DeleteKey(RegistryHandle parent, const std::string& path) override {
    return RegDeleteKeyA(ToHkey(parent), path.c_str());
  }

  std::int32_t CloseKey(RegistryHandle key) override { return RegCloseKey(ToHkey(key)); }

  std::int32_t QueryText(RegistryHandle key, const std::string& name, std::string& text) override {
    const std::wstring wide_name = win::Wide(Utf8FromAnsi(name));
    // RegGetValue ends the text with a NUL; a NUL stored inside ends it too.
    auto take = [&text](std::wstring& data) {
      data.resize(wcsnlen(data.c_str(), data.size()));
      text = win::Utf8(data);
      return ERROR_SUCCESS;
    };
    // Most texts fit a small buffer: one call instead of two (each a round
    // trip to the server under Wine).
    std::wstring data(256, L'\0');
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    LSTATUS status = RegGetValueW(ToHkey(key), nullptr, wide_name.c_str(), RRF_RT_REG_SZ, nullptr, data.data(), &bytes);
    if (status == ERROR_SUCCESS) return take(data);
    if (status != ERROR_MORE_DATA) return status;
    // The value may grow between the two calls; ask again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
      bytes = 0;
      status = RegGetValueW(ToHkey(key), nullptr, wide_name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
      if (status != ERROR_SUCCESS) return status;
      data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
      bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
      status = RegGetValueW(ToHkey(key), nullptr, wide_name.c_str(), RRF_RT_REG_SZ, nullptr, data.data(), &bytes);
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) return status;
      return take(data);
    }
    return ERROR_MORE_DATA;
  }

  std::int32_t SetText(RegistryHandle key, const std::string& name, const std::string& text) override {
    const std::wstring data = win::Wide(text);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(ToHkey(key), win::Wide(Utf8FromAnsi(name)).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes);
  }
};

}  // namespace

Registry& SystemRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace quellix::platform
