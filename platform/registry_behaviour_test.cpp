// The rules of the registry that the program relies on, run against both
// backends: the portable registry natively and Wine's registry under Wine, so
// the portable one is held to what a real registry does.
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
const std::string kScratch = "Software\\Quellix Registry Test";

class RegistryBehaviour : public ::testing::Test {
 protected:
  std::int32_t Set(platform::RegistryHandle key, const std::string& name, std::uint32_t type,
                   const std::string& bytes) {
    return registry.SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             static_cast<std::uint32_t>(bytes.size()));
  }

  std::shared_ptr<platform::Registry> backend = testing::RegistryUnderTest();
  platform::Registry& registry = *backend;
  testing::RegistryRestorer restorer{registry};
};

TEST_F(RegistryBehaviour, PathsCreateParentsAndRejectALeadingBackslash) {
  restorer.Watch(kUser, kScratch + "\\A\\B");
  ASSERT_FALSE(testing::KeyExists(registry, kUser, kScratch)) << "left over from an earlier run";
  ScopedRegistryKey key(registry);
  EXPECT_EQ(registry.OpenKeyEx(HandleOfRoot(kUser), kScratch + "\\A\\B", reg_access::kKeyRead, key.Put()),
            reg_status::kFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(registry.CreateKey(HandleOfRoot(kUser), kScratch + "\\A\\B", key.Put()), reg_status::kSuccess);
  EXPECT_TRUE(testing::KeyExists(registry, kUser, kScratch + "\\A"));
  EXPECT_EQ(Set(key.Get(), "v", reg_type::kSz, std::string("x\0", 2)), reg_status::kSuccess);

  // Doubled and trailing backslashes name the same key; a leading one is refused.
  EXPECT_EQ(testing::ReadStoredValue(registry, kUser, kScratch + "\\\\A\\B\\", "v").bytes, std::string("x\0", 2));
  EXPECT_EQ(registry.OpenKey(HandleOfRoot(kUser), "\\" + kScratch, key.Put()), reg_status::kBadPathname);
  EXPECT_EQ(registry.CreateKeyEx(HandleOfRoot(kUser), "\\" + kScratch, reg_access::kKeyAllAccess, key.Put()),
            reg_status::kBadPathname);
  EXPECT_EQ(registry.DeleteKey(HandleOfRoot(kUser), "\\" + kScratch + "\\A\\B"), reg_status::kBadPathname);
  EXPECT_TRUE(restorer.Restore());
}

TEST_F(RegistryBehaviour, NamesIgnoreLettersCase) {
  restorer.Watch(kUser, kScratch + "\\Case");
  ScopedRegistryKey key(registry);
  ASSERT_EQ(registry.CreateKey(HandleOfRoot(kUser), kScratch + "\\Case", key.Put()), reg_status::kSuccess);
  ASSERT_EQ(Set(key.Get(), "Name", reg_type::kSz, std::string("one\0", 4)), reg_status::kSuccess);
  ASSERT_EQ(Set(key.Get(), "NAME", reg_type::kSz, std::string("two\0", 4)), reg_status::kSuccess);
  EXPECT_EQ(testing::ReadStoredValue(registry, kUser, "SOFTWARE\\quellix registry test\\cASE", "name").bytes,
            std::string("two\0", 4));
  EXPECT_EQ(registry.DeleteValue(key.Get(), "nAmE"), reg_status::kSuccess);
  EXPECT_EQ(registry.DeleteValue(key.Get(), "Name"), reg_status::kFileNotFound);
  EXPECT_TRUE(restorer.Restore());
}

TEST_F(RegistryBehaviour, QueriesReportTypeSizeAndShortBuffers) {
  restorer.Watch(kUser, kScratch);
  ScopedRegistryKey key(registry);
  ASSERT_EQ(registry.CreateKeyEx(HandleOfRoot(kUser), kScratch, reg_access::kKeyAllAccess, key.Put()),
            reg_status::kSuccess);
  const std::string text("ab\0cd\0", 6);
  ASSERT_EQ(Set(key.Get(), "text", reg_type::kSz, text), reg_status::kSuccess);
  ASSERT_EQ(Set(key.Get(), "number", reg_type::kDword, std::string("\x07\0\0\0", 4)), reg_status::kSuccess);
  ASSERT_EQ(Set(key.Get(), "", reg_type::kSz, std::string("default\0", 8)), reg_status::kSuccess);

  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(registry.QueryValue(key.Get(), "text", &type, nullptr, &size), reg_status::kSuccess);
  EXPECT_EQ(type, reg_type::kSz);
  EXPECT_EQ(size, 6u);
  std::uint8_t small[2] = {};
  size = sizeof small;
  EXPECT_EQ(registry.QueryValue(key.Get(), "text", &type, small, &size), reg_status::kMoreData);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(testing::ReadStoredValue(registry, kUser, kScratch, "text").bytes, text);

  const testing::StoredValue number = testing::ReadStoredValue(registry, kUser, kScratch, "number");
  EXPECT_EQ(number.type, reg_type::kDword);
  EXPECT_EQ(number.bytes, std::string("\x07\0\0\0", 4));
  EXPECT_EQ(testing::ReadStoredValue(registry, kUser, kScratch, "").bytes, std::string("default\0", 8));

  EXPECT_EQ(registry.QueryValue(key.Get(), "missing", &type, nullptr, &size), reg_status::kFileNotFound);
  EXPECT_EQ(registry.DeleteValue(key.Get(), "missing"), reg_status::kFileNotFound);
  EXPECT_TRUE(restorer.Restore());
}

TEST_F(RegistryBehaviour, KeysWithSubkeysStayAndDeletedKeysAnswerSo) {
  restorer.Watch(kUser, kScratch + "\\Parent\\Child");
  ScopedRegistryKey child(registry);
  ASSERT_EQ(registry.CreateKey(HandleOfRoot(kUser), kScratch + "\\Parent\\Child", child.Put()), reg_status::kSuccess);
  EXPECT_EQ(registry.DeleteKey(HandleOfRoot(kUser), kScratch + "\\Parent"), reg_status::kAccessDenied);
  EXPECT_TRUE(testing::KeyExists(registry, kUser, kScratch + "\\Parent\\Child"));
  EXPECT_EQ(registry.DeleteKey(HandleOfRoot(kUser), kScratch + "\\Parent\\Missing"), reg_status::kFileNotFound);

  EXPECT_EQ(registry.DeleteKey(HandleOfRoot(kUser), kScratch + "\\PARENT\\child"), reg_status::kSuccess);
  EXPECT_EQ(Set(child.Get(), "v", reg_type::kSz, std::string("x\0", 2)), reg_status::kKeyDeleted);
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(child.Get(), "v", nullptr, nullptr, &size), reg_status::kKeyDeleted);
  ScopedRegistryKey below(registry);
  EXPECT_EQ(registry.CreateKey(child.Get(), "Below", below.Put()), reg_status::kKeyDeleted);
  EXPECT_EQ(registry.DeleteKey(HandleOfRoot(kUser), kScratch + "\\Parent"), reg_status::kSuccess);
  // A root is not deleted.
  EXPECT_EQ(registry.DeleteKey(HandleOfRoot(kUser), ""), reg_status::kAccessDenied);
  EXPECT_TRUE(restorer.Restore());
}

TEST_F(RegistryBehaviour, AccessOfTheHandleAndHandlesThatAreNotOpen) {
  restorer.Watch(kUser, kScratch, {"v"});
  ScopedRegistryKey writable(registry);
  ASSERT_EQ(registry.CreateKey(HandleOfRoot(kUser), kScratch, writable.Put()), reg_status::kSuccess);
  ASSERT_EQ(Set(writable.Get(), "v", reg_type::kSz, std::string("x\0", 2)), reg_status::kSuccess);

  ScopedRegistryKey reading(registry);
  ASSERT_EQ(registry.OpenKeyEx(HandleOfRoot(kUser), kScratch, reg_access::kKeyRead, reading.Put()),
            reg_status::kSuccess);
  EXPECT_EQ(Set(reading.Get(), "w", reg_type::kSz, std::string("y\0", 2)), reg_status::kAccessDenied);
  EXPECT_EQ(registry.DeleteValue(reading.Get(), "v"), reg_status::kAccessDenied);
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(reading.Get(), "v", nullptr, nullptr, &size), reg_status::kSuccess);

  // RegOpenKeyA with no path hands back the key it was given.
  platform::RegistryHandle same = 0;
  EXPECT_EQ(registry.OpenKey(HandleOfRoot(kUser), "", same), reg_status::kSuccess);
  EXPECT_EQ(same, HandleOfRoot(kUser));
  EXPECT_EQ(registry.CloseKey(HandleOfRoot(RegistryRoot::LocalMachine)), reg_status::kSuccess);

  const platform::RegistryHandle closed = reading.Get();
  reading.Reset();
  EXPECT_EQ(registry.QueryValue(closed, "v", nullptr, nullptr, &size), reg_status::kInvalidHandle);
  EXPECT_EQ(registry.CloseKey(closed), reg_status::kInvalidHandle);
  ScopedRegistryKey none(registry);
  EXPECT_EQ(registry.OpenKey(HandleOfRoot(static_cast<RegistryRoot>(0x80000009u)), "Software", none.Put()),
            reg_status::kInvalidHandle);
  EXPECT_TRUE(restorer.Restore());
}

}  // namespace
}  // namespace quellix
