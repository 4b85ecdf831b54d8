// The program's registry entries as an ordinary user and an administrator meet
// them, on the portable registry (which, unlike Wine, refuses an ordinary
// user's machine-wide changes in every path).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/add_remove.h"
#include "platform/c_register.h"
#include "platform/lists_folder.h"
#include "platform/mod_ie_tools.h"
#include "platform/registry_portable.h"
#include "platform/registry_test_support.h"
#include "platform/native_path.h"

namespace quellix {
namespace {

using platform::PortableRegistry;
using platform::RegistryRoot;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kName = "Quellix Pop-Up Blocker";

// One machine's registry that an administrator and an ordinary user take turns at.
class SharedRegistry : public ::testing::Test {
 protected:
  PortableRegistry Administrator() { return PortableRegistry(machine, {true}); }
  PortableRegistry User() { return PortableRegistry(machine, {false}); }

  PortableRegistry machine;
  testing::ScratchFolder folder;
};

// The run-at-start switch of an ordinary user: the machine-wide entry is
// refused, and the user's own Run key takes it.
TEST_F(SharedRegistry, StartUpEntryOfAnOrdinaryUserGoesToTheUsersRunKey) {
  PortableRegistry user = User();
  AddRemove entries(user);
  EXPECT_TRUE(entries.AddToRun(kName, "\"C:\\Program Files\\Q\\Q.exe\""));
  EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), "\"C:\\Program Files\\Q\\Q.exe\"");
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), std::nullopt);
  EXPECT_TRUE(entries.RunEntryExists(kName));
  EXPECT_TRUE(entries.RemoveFromRun(kName));
  EXPECT_FALSE(entries.RunEntryExists(kName));
  EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), std::nullopt);
}

TEST(RegistryEntries, EveryOperationClosesWhatItOpens) {
  PortableRegistry registry({true});
  AddRemove entries(registry);
  entries.AddToRun(kName, "C:\\q.exe");
  entries.GetString(kMachine, AddRemove::kRunKey, kName);
  entries.RunEntryExists(kName);
  entries.RemoveFromRun(kName);
  entries.AddToList(kName, "u");
  entries.RemoveFromList(kName);
  const modIETools tools(registry, {"C:\\Q", "Q", kName});
  tools.AddIEButton();
  tools.ButtonRegisteredFor(6);
  tools.RemoveIEButton();
  CRegister(registry).ReadRegValue(kMachine, "Software", "x", "");
  CRegister(registry).DeleteRegEntry(kMachine, "Software\\Missing", "x");
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(SharedRegistry, StartUpEntryKeptMachineWideByAnAdministrator) {
  {
    PortableRegistry admin = Administrator();
    ASSERT_TRUE(AddRemove(admin).AddToRun(kName, "C:\\Q\\Q.exe"));
  }
  {
    // The same command already starts the program: the user's key stays empty.
    PortableRegistry user = User();
    AddRemove entries(user);
    EXPECT_TRUE(entries.AddToRun(kName, "C:\\Q\\Q.exe"));
    EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), std::nullopt);
    // A newer command goes to the user's key; the machine-wide entry cannot be removed.
    EXPECT_TRUE(entries.AddToRun(kName, "C:\\New\\Q.exe"));
    EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), "C:\\New\\Q.exe");
    EXPECT_FALSE(entries.RemoveFromRun(kName));
    EXPECT_TRUE(entries.RunEntryExists(kName));
    EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), std::nullopt);
    entries.AddToRun(kName, "C:\\New\\Q.exe");
  }
  // An administrator's write replaces the user's copy, so the program starts once.
  PortableRegistry admin = Administrator();
  AddRemove entries(admin);
  EXPECT_TRUE(entries.AddToRun(kName, "C:\\New\\Q.exe"));
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), "C:\\New\\Q.exe");
  EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), std::nullopt);
  EXPECT_TRUE(entries.RemoveFromRun(kName));
}

TEST(OrdinaryUser, ToolbarButtonAndInstalledProgramsEntryChangeNothing) {
  PortableRegistry user;
  const std::string before = user.Serialize();
  const modIETools tools(user, {"C:\\Q", "Q", kName});
  tools.AddIEButton();
  EXPECT_EQ(user.Serialize(), before);
  tools.RemoveIEButton();
  EXPECT_EQ(user.Serialize(), before);
  AddRemove(user).AddToList(kName, "u");
  EXPECT_EQ(user.Serialize(), before);
}

TEST_F(SharedRegistry, ButtonProbeNeedsShell5AndTheBrowserAndChangesNothing) {
  const std::string browser = folder.Path("iexplore.exe");
  std::ofstream(browser) << "MZ";
  PortableRegistry registry({true});
  CRegister(registry).WriteRegValue(kMachine, modIETools::kBrowserAppPathKey, "*", browser);
  const modIETools tools(registry, {"C:\\Q", "Q", kName});

  EXPECT_FALSE(tools.ButtonRegisteredFor(6));
  tools.AddIEButton();
  const std::string added = registry.Serialize();
  EXPECT_TRUE(tools.ButtonRegisteredFor(6));
  EXPECT_TRUE(tools.ButtonRegisteredFor(5));
  EXPECT_FALSE(tools.ButtonRegisteredFor(4));
  EXPECT_FALSE(tools.CheckIEButton());  // no shell library in a portable build
  EXPECT_EQ(registry.Serialize(), added);

  CRegister(registry).WriteRegValue(kMachine, modIETools::kExtensionKey, "CLSID",
                                    "{00000000-0000-0000-0000-000000000000}");
  EXPECT_FALSE(tools.ButtonRegisteredFor(6));
  tools.AddIEButton();
  std::filesystem::remove(browser);
  EXPECT_FALSE(tools.ButtonRegisteredFor(6));
  std::ofstream(browser) << "MZ";
  tools.RemoveIEButton();
  EXPECT_FALSE(tools.ButtonRegisteredFor(6));
}

TEST_F(SharedRegistry, ReadingAMachineKeyFallsBackToReadingAccess) {
  {
    PortableRegistry admin = Administrator();
    ASSERT_TRUE(CRegister(admin).WriteRegValue(kMachine, modIETools::kExtensionKey, "CLSID", "{x}"));
  }
  PortableRegistry user = User();
  EXPECT_EQ(CRegister(user).ReadRegValue(kMachine, modIETools::kExtensionKey, "CLSID", "default"), "{x}");
  EXPECT_FALSE(CRegister(user).DeleteRegEntry(kMachine, modIETools::kExtensionKey, "CLSID"));
  modIETools(user, {"C:\\Q", "Q", kName}).RemoveIEButton();
  EXPECT_EQ(CRegister(user).ReadRegValue(kMachine, modIETools::kExtensionKey, "CLSID", "default"), "{x}");
}

// An all-users installation recorded by its installer: only the program in
// the recorded folder keeps its lists in the user's roaming folder, and its
// run-at-start switch writes the user's own entry even for an administrator.
TEST_F(SharedRegistry, AllUsersInstallationKeepsListsAndStartUpEntryWithTheUser) {
  const std::string machine_folder = "C:\\Program Files\\Quellix Pop-Up Blocker";
  const std::string per_user_folder = "C:\\Users\\u\\AppData\\Local\\Programs\\Quellix Pop-Up Blocker";
  const std::string roaming = folder.Path("Roaming");
  PortableRegistry user = User();
  EXPECT_EQ(platform::ListsFolder(user, machine_folder, roaming), machine_folder);  // nothing recorded yet

  PortableRegistry admin = Administrator();
  {
    platform::ScopedRegistryKey key(admin);
    ASSERT_EQ(admin.CreateKey(HandleOfRoot(kMachine), platform::kInstallationKey, key.Put()), 0);
    ASSERT_EQ(admin.SetText(key.Get(), platform::kAllUsersFolderValue, machine_folder), 0);
  }
  // Letter case and a final backslash do not matter; another folder does.
  EXPECT_TRUE(platform::IsAllUsersInstallation(user, "c:\\program files\\QUELLIX POP-UP BLOCKER\\"));
  EXPECT_FALSE(platform::IsAllUsersInstallation(user, machine_folder + " 2"));
  const std::string lists = platform::ListsFolder(user, machine_folder, roaming);
  EXPECT_EQ(lists, roaming + "\\Orlavent\\Quellix Pop-Up Blocker");
  EXPECT_TRUE(std::filesystem::is_directory(platform::NativePath(lists)));
  EXPECT_EQ(platform::ListsFolder(user, per_user_folder, roaming), per_user_folder);
  EXPECT_EQ(platform::ListsFolder(user, machine_folder, ""), machine_folder);

  AddRemove entries(admin, StartUpScope::CurrentUser);
  EXPECT_TRUE(entries.AddToRun(kName, "C:\\Q\\Q.exe"));
  EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), "C:\\Q\\Q.exe");
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), std::nullopt);
  EXPECT_TRUE(entries.RemoveFromRun(kName));

  // A record that is not text marks nothing.
  {
    platform::ScopedRegistryKey key(admin);
    ASSERT_EQ(admin.OpenKey(HandleOfRoot(kMachine), platform::kInstallationKey, key.Put()), 0);
    const std::uint8_t one[4] = {1, 0, 0, 0};
    ASSERT_EQ(admin.SetValue(key.Get(), platform::kAllUsersFolderValue, platform::reg_type::kDword, one, 4), 0);
  }
  EXPECT_FALSE(platform::IsAllUsersInstallation(user, machine_folder));
}

}  // namespace
}  // namespace quellix
