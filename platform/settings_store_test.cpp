// The settings store over the registry, run against both backends: the
// portable registry natively and Wine's registry under Wine.
#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include "platform/registry_test_support.h"

namespace quellix {
namespace {

using platform::HandleOfRoot;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_access = platform::reg_access;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kApp = "Quellix Settings Test";
const std::string kAppKey = "Software\\VB and VBA Program Settings\\" + kApp;

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    restorer.Watch(kUser, kAppKey + "\\Settings");
    restorer.Watch(kUser, kAppKey + "\\Other");
    ASSERT_FALSE(testing::KeyExists(registry, kUser, kAppKey)) << "left over from an earlier run";
  }
  void Set(const std::string& name, std::uint32_t type, const std::string& bytes) {
    ScopedRegistryKey key(registry);
    ASSERT_EQ(registry.CreateKeyEx(HandleOfRoot(kUser), kAppKey + "\\Settings", reg_access::kKeyAllAccess, key.Put()),
              reg_status::kSuccess);
    ASSERT_EQ(registry.SetValue(key.Get(), name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<std::uint32_t>(bytes.size())),
              reg_status::kSuccess);
  }

  std::shared_ptr<platform::Registry> backend = testing::RegistryUnderTest();
  platform::Registry& registry = *backend;
  testing::RegistryRestorer restorer{registry};
  platform::RegistrySettingsStore store{registry};
};

TEST_F(SettingsStoreTest, ValuesAreTextUnderTheClassicPerUserKeyAndNamesIgnoreLetterCase) {
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "chkSound", "1"), "1");  // nothing stored yet
  ASSERT_TRUE(store.SaveSetting(kApp, "Settings", "chkSound", "0"));
  ASSERT_TRUE(store.SaveSetting(kApp, "Settings", "state", "down"));
  ASSERT_TRUE(store.SaveSetting(kApp, "Settings", "chkSound", "1"));  // replaced, not repeated
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "chkSound", "x"), "1");
  EXPECT_EQ(store.GetSetting("quellix settings test", "SETTINGS", "STATE", "x"), "down");
  EXPECT_EQ(store.GetSetting("Other", "Settings", "state", "up"), "up");
  EXPECT_EQ(store.GetSetting(kApp, "Other", "state", "up"), "up");
  const testing::StoredValue stored = testing::ReadStoredValue(registry, kUser, kAppKey + "\\Settings", "chkSound");
  EXPECT_EQ(stored.type, reg_type::kSz);
  EXPECT_EQ(stored.bytes, std::string("1\0", 2));
}

TEST_F(SettingsStoreTest, TextsWithLineBreaksAndMarkupSurviveARoundTrip) {
  const std::string list = "clicks.quellix.example/programclicks.asp\r\na=b\r\n[x]\\y\r\n\xC3\xA9t\xC3\xA9\r\n";
  ASSERT_TRUE(store.SaveSetting(kApp, "Settings", "strAllowed", list));
  ASSERT_TRUE(store.SaveSetting(kApp, "Other", "k=\\", "v"));
  ASSERT_TRUE(store.SaveSetting(kApp, "Settings", "empty", ""));
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "strAllowed", ""), list);
  EXPECT_EQ(store.GetSetting(kApp, "Other", "k=\\", ""), "v");
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "empty", "default"), "");  // present, empty
}

TEST_F(SettingsStoreTest, ValuesWrittenByOthersAreReadAsTheyWereMeant) {
  Set("intStopped", reg_type::kSz, std::string("42\0", 3));
  Set("chkLinks", reg_type::kDword, std::string("\x07\0\0\0", 4));
  Set("state", reg_type::kSz, "down");  // stored without its terminating NUL
  Set("strDisallowed", reg_type::kSz, std::string("a.example\0b.example\0", 20));
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "intStopped", "0"), "42");
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "chkLinks", "0"), "0");  // not text
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "state", "up"), "down");
  EXPECT_EQ(store.GetSetting(kApp, "Settings", "strDisallowed", ""), "a.example");  // a NUL ends the text
}

}  // namespace
}  // namespace quellix
