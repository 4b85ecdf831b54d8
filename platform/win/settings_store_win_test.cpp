// What only the Windows registry gives the settings store: values in UTF-16
// through the W functions, as earlier versions and other programs read them.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "platform/win/scoped_handle.h"

namespace quellix::platform {
namespace {

const wchar_t kAppKey[] = L"Software\\VB and VBA Program Settings\\Quellix Settings Test";

class RegistrySettings : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey); }
  RegistrySettingsStore store;
};

TEST_F(RegistrySettings, TextBeyondTheAnsiCodePageSurvivesAsUnicode) {
  const std::string text = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5";
  ASSERT_TRUE(store.SaveSetting("Quellix Settings Test", "Settings", "strDisallowed", text));
  EXPECT_EQ(store.GetSetting("Quellix Settings Test", "Settings", "strDisallowed", ""), text);

  win::ScopedRegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kAppKey) + L"\\Settings").c_str(), 0, KEY_READ,
                          key.Put()),
            ERROR_SUCCESS);
  DWORD type = 0;
  wchar_t data[16] = {};
  DWORD bytes = sizeof data;
  ASSERT_EQ(RegQueryValueExW(key.Get(), L"strDisallowed", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(data, L"\u00E9t\u00E9 \u20AC \u65E5");
}

}  // namespace
}  // namespace quellix::platform
