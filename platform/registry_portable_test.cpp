// What only the portable registry has: the rights of an ordinary user and its file.
#include "platform/registry_portable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/registry_test_support.h"
#include "platform/registry_text_format.h"

namespace quellix {

std::shared_ptr<platform::Registry> testing::RegistryUnderTest() {
  return std::make_shared<platform::PortableRegistry>(platform::PortableRegistry::Options{true, {}});
}

namespace {

namespace fs = std::filesystem;
using platform::HandleOfRoot;
using platform::PortableRegistry;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_access = platform::reg_access;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;

// A registry file in a folder of the test's own.
class RegistryFile : public ::testing::Test {
 protected:
  PortableRegistry Administrator() { return PortableRegistry({true, file}); }
  PortableRegistry User() { return PortableRegistry({false, file}); }

  testing::ScratchFolder folder;
  std::string file = folder.Path("registry.txt");
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

TEST_F(RegistryFile, KeysKeptByAnAdministratorAreReadOnlyToAUser) {
  {
    PortableRegistry admin = Administrator();
    ScopedRegistryKey key(admin);
    ASSERT_EQ(admin.CreateKey(HandleOfRoot(kMachine), "Software\\Shared", key.Put()), reg_status::kSuccess);
    ASSERT_EQ(admin.SetValue(key.Get(), "v", reg_type::kSz, reinterpret_cast<const std::uint8_t*>("x"), 2),
              reg_status::kSuccess);
  }
  PortableRegistry user = User();
  EXPECT_EQ(user.LoadProblem(), "");
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

TEST_F(RegistryFile, EveryChangeIsKeptAndReadBackWhole) {
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
  EXPECT_EQ(again.LoadProblem(), "");
  EXPECT_EQ(again.Serialize(), before);
  EXPECT_TRUE(testing::KeyExists(again, kMachine, "Software\\Odd %\"[]=\\Empty"));
  EXPECT_EQ(testing::ReadStoredValue(again, kUser, "software\\CAF\xC9", "NAME \"WITH\" = [ODD] %41 \\ \xC9").bytes,
            std::string("\0\x01\xFFz", 4));
}

TEST_F(RegistryFile, ABrokenFileIsSetAsideAndNothingIsLost) {
  const std::string broken = "QUELLIX REGISTRY 1\n[HKEY_CURRENT_USER\\Software]\n\"v\"=1:4\n";
  std::ofstream(file, std::ios::binary) << broken;
  PortableRegistry registry = User();
  EXPECT_NE(registry.LoadProblem().find("line 3"), std::string::npos) << registry.LoadProblem();
  EXPECT_FALSE(testing::KeyExists(registry, kUser, "Software"));
  std::ifstream aside(file + ".broken", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), broken);

  ScopedRegistryKey fresh(registry);
  ASSERT_EQ(registry.CreateKey(HandleOfRoot(kUser), "Software\\Fresh", fresh.Put()), reg_status::kSuccess);
  EXPECT_EQ(User().Serialize(), registry.Serialize());
  // A second broken file does not replace the first one set aside.
  std::ofstream(file, std::ios::binary) << "garbage";
  EXPECT_NE(User().LoadProblem(), "");
  EXPECT_TRUE(fs::exists(file + ".broken-1"));
}

TEST(RegistryText, RejectsWhatIsNotItsForm) {
  std::string error;
  for (const char* text :
       {"", "REGEDIT4\n", "QUELLIX REGISTRY 1\n\"v\"=1:00\n", "QUELLIX REGISTRY 1\n[HKEY_NOWHERE\\X]\n",
        "QUELLIX REGISTRY 1\n[HKEY_CURRENT_USER\\\\X]\n", "QUELLIX REGISTRY 1\n[HKEY_CURRENT_USER\\X]\n\"v\"=x:00\n",
        "QUELLIX REGISTRY 1\n[HKEY_CURRENT_USER\\X]\n\"v\"=1:0g\n", "QUELLIX REGISTRY 1\n[HKEY_CURRENT_USER\\X%4]\n"}) {
    EXPECT_EQ(platform::ReadRegistryText(text, error), std::nullopt) << text;
  }
  EXPECT_TRUE(platform::ReadRegistryText("QUELLIX REGISTRY 1\r\n[HKEY_USERS]\r\n@=4:07000000\r\n", error));
}

}  // namespace
}  // namespace quellix
