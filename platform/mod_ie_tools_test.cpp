// The toolbar button on the registry under test (portable natively, Wine's under Wine).
#include "platform/mod_ie_tools.h"

#include <gtest/gtest.h>

#include "platform/registry_test_support.h"

namespace quellix {
namespace {

using platform::RegistryRoot;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
const std::vector<std::string> kValueNames = {"ButtonText", "CLSID", "Default Visible", "Exec",
                                              "HotIcon",    "Icon",  "MenuStatusBar",   "MenuText"};

class IEToolsTest : public ::testing::Test {
 protected:
  void SetUp() override { restorer.Watch(kMachine, modIETools::kExtensionKey, kValueNames); }

  std::string Stored(const std::string& name) {
    const testing::StoredValue value = testing::ReadStoredValue(*backend, kMachine, modIETools::kExtensionKey, name);
    EXPECT_EQ(value.type, reg_type::kSz) << name;
    EXPECT_TRUE(value.bytes.ends_with('\0')) << name;
    return value.bytes.substr(0, value.bytes.find('\0'));
  }

  std::shared_ptr<platform::Registry> backend = testing::RegistryUnderTest();
  testing::RegistryRestorer restorer{*backend};
};

TEST_F(IEToolsTest, AddingTwiceLeavesTheEightValuesOfTheSecondRun) {
  modIETools(*backend, {"C:\\Old Place", "OldName", "Old Product"}).AddIEButton();
  modIETools(*backend, {"C:\\Program Files\\Quellix", "QuellixPopUpBlocker", "Quellix Pop-Up Blocker"}).AddIEButton();
  EXPECT_EQ(Stored("ButtonText"), "Quellix Pop-Up Blocker");
  EXPECT_EQ(Stored("CLSID"), "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");
  EXPECT_EQ(Stored("Default Visible"), "Yes");
  EXPECT_EQ(Stored("Exec"), "C:\\Program Files\\Quellix\\QuellixPopUpBlocker.exe");
  EXPECT_EQ(Stored("HotIcon"), "C:\\Program Files\\Quellix\\hoticon.ico");
  EXPECT_EQ(Stored("Icon"), "C:\\Program Files\\Quellix\\icon.ico");
  EXPECT_EQ(Stored("MenuStatusBar"), "Quellix Pop-Up Blocker");
  EXPECT_EQ(Stored("MenuText"), "&Quellix Pop-Up Blocker");
}

TEST_F(IEToolsTest, TheRunningProgramsButtonCarriesTheProductName) {
  const modIETools::ButtonTarget own = modIETools::ThisProgram();
  EXPECT_EQ(own.product_name, "Quellix Pop-Up Blocker");
  EXPECT_FALSE(own.exe_name.empty());
  EXPECT_FALSE(own.exe_name.ends_with(".exe"));
  modIETools(*backend).AddIEButton();
  EXPECT_EQ(Stored("MenuText"), "&Quellix Pop-Up Blocker");
  EXPECT_EQ(Stored("Exec"), own.program_folder + "\\" + own.exe_name + ".exe");
}

TEST_F(IEToolsTest, AddThenRemoveLeavesNoKey) {
  const modIETools tools(*backend, {"C:\\Quellix", "Quellix", "Quellix Pop-Up Blocker"});
  tools.AddIEButton();
  ASSERT_TRUE(testing::KeyExists(*backend, kMachine, modIETools::kExtensionKey));
  tools.RemoveIEButton();
  EXPECT_FALSE(testing::KeyExists(*backend, kMachine, modIETools::kExtensionKey));
  for (const std::string& name : kValueNames) {
    EXPECT_EQ(testing::ReadStoredValue(*backend, kMachine, modIETools::kExtensionKey, name).status,
              reg_status::kFileNotFound);
  }
  tools.RemoveIEButton();  // nothing left to remove: nothing happens
  EXPECT_TRUE(testing::KeyExists(*backend, kMachine, "Software\\Microsoft\\Internet Explorer\\Extensions"));
}

}  // namespace
}  // namespace quellix
