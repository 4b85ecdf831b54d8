// The registry form of the settings store, against Wine's registry.
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
  std::unique_ptr<SettingsStore> store = OpenUserSettingsStore();
};

TEST_F(RegistrySettings, ValuesAreTextUnderTheClassicPerUserKey) {
  EXPECT_EQ(store->GetSetting("Quellix Settings Test", "Settings", "chkSound", "1"), "1");
  ASSERT_TRUE(store->SaveSetting("Quellix Settings Test", "Settings", "chkSound", "0"));
  const std::string list = "a.example\r\nb.example\r\n";
  ASSERT_TRUE(store->SaveSetting("Quellix Settings Test", "Settings", "strAllowed", list));
  EXPECT_EQ(store->GetSetting("Quellix Settings Test", "Settings", "chkSound", "1"), "0");
  EXPECT_EQ(store->GetSetting("quellix settings test", "settings", "STRALLOWED", ""), list);

  win::ScopedRegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kAppKey) + L"\\Settings").c_str(), 0, KEY_READ,
                          key.Put()),
            ERROR_SUCCESS);
  DWORD type = 0;
  wchar_t data[8] = {};
  DWORD bytes = sizeof data;
  ASSERT_EQ(RegQueryValueExW(key.Get(), L"chkSound", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(data, L"0");
}

TEST_F(RegistrySettings, ValuesWrittenByOthersAreReadAsTheyWereMeant) {
  win::ScopedRegKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kAppKey) + L"\\Settings").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
            ERROR_SUCCESS);
  // An earlier version wrote through the ANSI functions.
  RegSetValueExA(key.Get(), "intStopped", 0, REG_SZ, reinterpret_cast<const BYTE*>("42"), 3);
  const DWORD number = 7;
  RegSetValueExW(key.Get(), L"chkLinks", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  // Stored without its terminating NUL.
  RegSetValueExW(key.Get(), L"state", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"down"), 4 * sizeof(wchar_t));
  EXPECT_EQ(store->GetSetting("Quellix Settings Test", "Settings", "intStopped", "0"), "42");
  EXPECT_EQ(store->GetSetting("Quellix Settings Test", "Settings", "chkLinks", "0"), "0");  // not text
  EXPECT_EQ(store->GetSetting("Quellix Settings Test", "Settings", "state", "up"), "down");
}

TEST_F(RegistrySettings, TextBeyondTheAnsiCodePageSurvives) {
  const std::string text = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5";
  ASSERT_TRUE(store->SaveSetting("Quellix Settings Test", "Settings", "strDisallowed", text));
  EXPECT_EQ(store->GetSetting("Quellix Settings Test", "Settings", "strDisallowed", ""), text);
}

}  // namespace
}  // namespace quellix::platform
