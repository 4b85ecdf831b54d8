// CRegister on the registry under test (portable natively, Wine's under Wine).
#include "platform/c_register.h"

#include <gtest/gtest.h>

#include "platform/registry_test_support.h"

namespace quellix {
namespace {

using platform::RegistryRoot;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kKey = "Software\\Quellix Registry Test\\CRegister";

TEST(CleanKeyPath, DropsOneBackslashAtEachEnd) {
  EXPECT_EQ(CRegister::CleanKeyPath("\\Software\\X\\"), "Software\\X");
  EXPECT_EQ(CRegister::CleanKeyPath("\\\\Software\\X"), "\\Software\\X");
  EXPECT_EQ(CRegister::CleanKeyPath("Software\\X\\\\"), "Software\\X\\");
  EXPECT_EQ(CRegister::CleanKeyPath("Software\\X"), "Software\\X");
  EXPECT_EQ(CRegister::CleanKeyPath("\\"), "");
  EXPECT_EQ(CRegister::CleanKeyPath(""), "");
}

class CRegisterTest : public ::testing::Test {
 protected:
  void SetUp() override { restorer.Watch(kUser, kKey + "\\Sub"); }

  std::shared_ptr<platform::Registry> backend = testing::RegistryUnderTest();
  testing::RegistryRestorer restorer{*backend};
  CRegister reg{*backend};
};

TEST_F(CRegisterTest, WrittenTextReadsBackWithoutItsNul) {
  EXPECT_TRUE(reg.WriteRegValue(kUser, "\\" + kKey + "\\", "Name", "Quellix"));
  const testing::StoredValue stored = testing::ReadStoredValue(*backend, kUser, kKey, "Name");
  EXPECT_EQ(stored.type, reg_type::kSz);
  EXPECT_EQ(stored.bytes, std::string("Quellix\0", 8));
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Name", "default"), "Quellix");
  EXPECT_EQ(reg.ReadRegValue(kUser, "\\" + kKey, "name", "default"), "Quellix");

  // "*" is the default value.
  EXPECT_TRUE(reg.WriteRegValue(kUser, kKey, "*", "unnamed"));
  EXPECT_EQ(testing::ReadStoredValue(*backend, kUser, kKey, "").bytes, std::string("unnamed\0", 8));
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "*", "default"), "unnamed");
}

TEST_F(CRegisterTest, MissingOrEmptyValuesGiveTheDefault) {
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Name", "default"), "default");
  ASSERT_TRUE(reg.WriteRegValue(kUser, kKey, "Other", "x"));
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Name", "default"), "default");
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "*", "default"), "default");

  platform::ScopedRegistryKey key(*backend);
  ASSERT_EQ(backend->CreateKey(platform::HandleOfRoot(kUser), kKey, key.Put()), reg_status::kSuccess);
  backend->SetValue(key.Get(), "Empty", reg_type::kSz, nullptr, 0);
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Empty", "default"), "default");
  // A text stored without its NUL keeps its last character.
  backend->SetValue(key.Get(), "Bare", reg_type::kSz, reinterpret_cast<const std::uint8_t*>("abc"), 3);
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Bare", "default"), "abc");
}

TEST_F(CRegisterTest, DeletingAValueOrAKeyWithoutSubkeys) {
  EXPECT_FALSE(reg.DeleteRegEntry(kUser, kKey, "Name"));  // no key yet
  ASSERT_TRUE(reg.WriteRegValue(kUser, kKey, "Name", "x"));
  ASSERT_TRUE(reg.WriteRegValue(kUser, kKey, "Kept", "y"));
  EXPECT_TRUE(reg.DeleteRegEntry(kUser, "\\" + kKey + "\\", "Name"));
  EXPECT_FALSE(reg.DeleteRegEntry(kUser, kKey, "Name"));
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Kept", ""), "y");

  ASSERT_TRUE(reg.WriteRegValue(kUser, kKey + "\\Sub", "v", "z"));
  EXPECT_FALSE(reg.DeleteRegEntry(kUser, kKey, ""));  // has a subkey
  EXPECT_EQ(reg.ReadRegValue(kUser, kKey, "Kept", ""), "y");
  // The key path of a key deletion is taken as given: a leading backslash is refused.
  EXPECT_FALSE(reg.DeleteRegEntry(kUser, "\\" + kKey + "\\Sub", ""));
  EXPECT_TRUE(reg.DeleteRegEntry(kUser, kKey + "\\Sub", ""));
  EXPECT_TRUE(reg.DeleteRegEntry(kUser, kKey, ""));
  EXPECT_FALSE(testing::KeyExists(*backend, kUser, kKey));
  EXPECT_FALSE(reg.DeleteRegEntry(kUser, kKey, ""));
}

}  // namespace
}  // namespace quellix
