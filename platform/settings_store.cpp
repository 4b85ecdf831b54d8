#include "platform/settings_store.h"

#include "platform/code_page.h"

namespace quellix::platform {
namespace {

std::string SectionPath(const std::string& app, const std::string& section) {
  return AnsiFromUtf8("Software\\VB and VBA Program Settings\\" + app + "\\" + section);
}

}  // namespace

std::string RegistrySettingsStore::GetSetting(const std::string& app, const std::string& section,
                                              const std::string& key, const std::string& default_value) {
  ScopedRegistryKey opened(registry_);
  if (registry_.OpenKeyEx(HandleOfRoot(RegistryRoot::CurrentUser), SectionPath(app, section),
                          reg_access::kQueryValue, opened.Put()) != reg_status::kSuccess) {
    return default_value;
  }
  std::string text;
  if (registry_.QueryText(opened.Get(), AnsiFromUtf8(key), text) != reg_status::kSuccess) return default_value;
  return text;
}

bool RegistrySettingsStore::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                                        const std::string& value) {
  ScopedRegistryKey created(registry_);
  if (registry_.CreateKeyEx(HandleOfRoot(RegistryRoot::CurrentUser), SectionPath(app, section),
                            reg_access::kSetValue, created.Put()) != reg_status::kSuccess) {
    return false;
  }
  return registry_.SetText(created.Get(), AnsiFromUtf8(key), value) == reg_status::kSuccess;
}

}  // namespace quellix::platform
