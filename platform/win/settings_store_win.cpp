#include <windows.h>

#include <string>

#include "platform/settings_store.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {
namespace {

std::wstring SectionKey(const std::string& app, const std::string& section) {
  return L"Software\\VB and VBA Program Settings\\" + win::Wide(app) + L"\\" + win::Wide(section);
}

class RegistrySettingsStore : public SettingsStore {
 public:
  std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                         const std::string& default_value) override {
    win::ScopedRegKey opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionKey(app, section).c_str(), 0, KEY_QUERY_VALUE, opened.Put()) !=
        ERROR_SUCCESS) {
      return default_value;
    }
    const std::wstring name = win::Wide(key);
    std::wstring data;
    // The value may grow between the two calls; ask again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD bytes = 0;
      LSTATUS status = RegGetValueW(opened.Get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
      if (status != ERROR_SUCCESS) return default_value;
      data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
      bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
      status = RegGetValueW(opened.Get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, data.data(), &bytes);
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) return default_value;
      // RegGetValue ends the text with a NUL; a NUL stored inside ends it too.
      data.resize(wcsnlen(data.c_str(), data.size()));
      return win::Utf8(data);
    }
    return default_value;
  }

  bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override {
    win::ScopedRegKey created;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SectionKey(app, section).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, created.Put(), nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const std::wstring data = win::Wide(value);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(created.Get(), win::Wide(key).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<SettingsStore> OpenUserSettingsStore() { return std::make_unique<RegistrySettingsStore>(); }

}  // namespace quellix::platform
