// What only the portable registry has: the rights of an ordinary user.
#include "platform/registry_portable.h"

#include <gtest/gtest.h>

#include "platform/registry_test_support.h"

namespace quellix {

std::shared_ptr<platform::Registry> testing::RegistryUnderTest() {
  return std::make_shared<platform::PortableRegistry>(platform::PortableRegistry::Options{true});
}

namespace {

using platform::HandleOfRoot;
using platform::PortableRegistry;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_access = platform::reg_access;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;

// One machine's registry that an administrator and an ordinary user take turns at.
class SharedMachine : public ::testing::Test {
 protected:
  PortableRegistry Administrator() { return PortableRegistry(machine, {true}); }
  PortableRegistry User() { return PortableRegistry(machine, {false}); }

  PortableRegistry machine;
};

TEST(PortableRegistryRights, MachineWideRootsRefuseAnOrdinaryUsersChanges) {
  PortableRegistry registry;  // an ordinary user
  ScopedRegistryKey key(registry);
  EXPECT_EQ(registry.CreateKey(HandleOfRoot(kMachine), "Software\\New", key.Put()), reg_status::kAccessDenied);
  EXPECT_EQ(registry.CreateKeyEx(HandleOfRoot(RegistryRoot::Users), "X", reg_access::kKeyAllAccess, key.Put()),
            reg_status::kAccessDenied);
  EXPECT_EQ(registry.SetValue(HandleOfRoot(kMachine), "v", reg_type::kSz, nullptr, 0), reg_status::kAccessDenied);
  EXPECT_EQ(registry.OpenKeyEx(HandleOfRoot(kMachine), "Missing", reg_access::kKeyAllAccess, key.Put()),
            reg_status::kFileNotFound);
  EXPECT_EQ(registry.CreateKey(HandleOfRoot(kUser), "Software\\New", key.Put()), reg_status::kSuccess);
  EXPECT_EQ(registry.SetValue(key.Get(), "v", reg_type::kSz, nullptr, 0), reg_status::kSuccess);
  EXPECT_EQ(registry.Serialize(),
            "QUELLIX REGISTRY 1\n[HKEY_CURRENT_USER\\Software]\n"
            "[HKEY_CURRENT_USER\\Software\\New]\n\"v\"=1:\n");
}

TEST_F(SharedMachine, KeysKeptByAnAdministratorAreReadOnlyToAUser) {
  {
    PortableRegistry admin = Administrator();
    ScopedRegistryKey key(admin);
    ASSERT_EQ(admin.CreateKey(HandleOfRoot(kMachine), "Software\\Shared", key.Put()), reg_status::kSuccess);
    ASSERT_EQ(admin.SetValue(key.Get(), "v", reg_type::kSz, reinterpret_cast<const std::uint8_t*>("x"), 2),
              reg_status::kSuccess);
  }
  PortableRegistry user = User();
  ScopedRegistryKey key(user);
  EXPECT_EQ(user.OpenKeyEx(HandleOfRoot(kMachine), "Software\\Shared", reg_access::kKeyAllAccess, key.Put()),
            reg_status::kAccessDenied);
  // The most the user may have is reading.
  ASSERT_EQ(user.CreateKey(HandleOfRoot(kMachine), "Software\\Shared", key.Put()), reg_status::kSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(user.QueryValue(key.Get(), "v", nullptr, nullptr, &size), reg_status::kSuccess);
  EXPECT_EQ(user.SetValue(key.Get(), "v", reg_type::kSz, nullptr, 0), reg_status::kAccessDenied);
  EXPECT_EQ(user.DeleteValue(key.Get(), "v"), reg_status::kAccessDenied);
  EXPECT_EQ(user.DeleteKey(HandleOfRoot(kMachine), "Software\\Shared"), reg_status::kAccessDenied);
}

TEST_F(SharedMachine, EveryChangeIsSeenWholeByTheNextProcess) {
  std::string before;
  {
    PortableRegistry admin = Administrator();
    ScopedRegistryKey key(admin);
    ASSERT_EQ(admin.CreateKey(HandleOfRoot(kMachine), "Software\\Odd %\"[]=\\Empty", key.Put()), reg_status::kSuccess);
    ASSERT_EQ(admin.CreateKey(HandleOfRoot(kUser), "Software\\Caf\xE9", key.Put()), reg_status::kSuccess);
    const std::string bytes("\0\x01\xFFz", 4);
    const auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    ASSERT_EQ(admin.SetValue(key.Get(), "", reg_type::kBinary, data, 4), reg_status::kSuccess);
    ASSERT_EQ(admin.SetValue(key.Get(), "name \"with\" = [odd] %41 \\ \xE9", reg_type::kQword, data, 4),
              reg_status::kSuccess);
    ASSERT_EQ(admin.SetValue(key.Get(), "gone", reg_type::kSz, data, 4), reg_status::kSuccess);
    ASSERT_EQ(admin.DeleteValue(key.Get(), "gone"), reg_status::kSuccess);
    before = admin.Serialize();
  }
  PortableRegistry again = Administrator();
  EXPECT_EQ(again.Serialize(), before);
  EXPECT_TRUE(testing::KeyExists(again, kMachine, "Software\\Odd %\"[]=\\Empty"));
  EXPECT_EQ(testing::ReadStoredValue(again, kUser, "software\\CAF\xC9", "NAME \"WITH\" = [ODD] %41 \\ \xC9").bytes,
            std::string("\0\x01\xFFz", 4));
}

}  // namespace
}  // namespace quellix
