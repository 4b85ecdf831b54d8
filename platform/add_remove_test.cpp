// AddRemove on the registry under test (portable natively, Wine's under Wine).
#include "platform/add_remove.h"

#include <gtest/gtest.h>

#include "platform/registry_test_support.h"

namespace quellix {
namespace {

using platform::RegistryRoot;
using testing::ReadStoredValue;
namespace reg_status = platform::reg_status;
namespace reg_type = platform::reg_type;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kName = "Quellix Registry Test Entry";

class AddRemoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    restorer.Watch(kMachine, AddRemove::kRunKey, {kName, kName + " neighbour"});
    restorer.Watch(kUser, AddRemove::kRunKey, {kName});
    restorer.Watch(kMachine, AddRemove::kUninstallKey + kName + "\\Sub");
    restorer.Watch(kUser, "Software\\Quellix Registry Test\\Key", {"text", "number", "nul", "expand", "empty"});
  }

  std::shared_ptr<platform::Registry> backend = testing::RegistryUnderTest();
  testing::RegistryRestorer restorer{*backend};
  AddRemove entries{*backend};
};

TEST_F(AddRemoveTest, AddToRunTwiceKeepsOneEntryWithTheSecondCommand) {
  EXPECT_TRUE(entries.AddToRun(kName, "C:\\First\\a.exe"));
  EXPECT_TRUE(entries.AddToRun(kName, "C:\\Second\\b.exe"));
  const testing::StoredValue stored = ReadStoredValue(*backend, kMachine, AddRemove::kRunKey, kName);
  EXPECT_EQ(stored.type, reg_type::kSz);
  EXPECT_EQ(stored.bytes, std::string("C:\\Second\\b.exe\0", 16));
  // Names ignore letters' case: another spelling replaces the same entry.
  EXPECT_TRUE(entries.AddToRun("QUELLIX registry TEST entry", "C:\\Third\\c.exe"));
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), "C:\\Third\\c.exe");
  EXPECT_TRUE(entries.RunEntryExists(kName));
  EXPECT_EQ(ReadStoredValue(*backend, kUser, AddRemove::kRunKey, kName).status, reg_status::kFileNotFound);
}

TEST_F(AddRemoveTest, AStartUpPathTheCodePageCannotHoldIsNotWritten) {
  // "ĉ" has no place in the code page; written as "?" or a look-alike, the
  // entry would start nothing.
  EXPECT_FALSE(entries.AddToRun(kName, "C:\\Programs\\Ĉapelo\\a.exe"));
  EXPECT_FALSE(entries.RunEntryExists(kName));
  EXPECT_TRUE(entries.AddToRun(kName, "C:\\Programs\\Café\\a.exe"));
  EXPECT_EQ(entries.GetString(platform::RegistryRoot::LocalMachine, AddRemove::kRunKey, kName),
            "C:\\Programs\\Café\\a.exe");
}

TEST_F(AddRemoveTest, RemoveFromRunTakesOnlyItsOwnEntry) {
  entries.SaveString(kMachine, AddRemove::kRunKey, kName + " neighbour", "C:\\other.exe");
  EXPECT_TRUE(entries.RemoveFromRun(kName));  // nothing to remove: nothing changes
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName + " neighbour"), "C:\\other.exe");

  entries.AddToRun(kName, "C:\\a.exe");
  EXPECT_TRUE(entries.RemoveFromRun(kName));
  EXPECT_FALSE(entries.RunEntryExists(kName));
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), std::nullopt);
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName + " neighbour"), "C:\\other.exe");
}

TEST_F(AddRemoveTest, StartUpCommandQuotesAPathWithABlank) {
  const std::string path = "C:\\Program Files\\Quellix\\QuellixPopUpBlocker.exe";
  EXPECT_TRUE(entries.AddToRun(kName, StartUpCommandFor(path)));
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), "\"" + path + "\"");
  EXPECT_EQ(StartUpCommandFor("C:\\Tools\\Quellix.exe"), "C:\\Tools\\Quellix.exe");
  EXPECT_EQ(StartUpCommandFor("C:\\Tab\there\\q.exe"), "\"C:\\Tab\there\\q.exe\"");
  const std::string own = OwnStartUpCommand();
  EXPECT_TRUE(own.ends_with(".exe") || own.ends_with(".exe\"")) << own;
}

TEST_F(AddRemoveTest, GetStringGivesOnlyTextUpToItsFirstNul) {
  const std::string key = "Software\\Quellix Registry Test\\Key";
  entries.SaveString(kUser, key, "text", "caf\xC3\xA9");  // "café" travels through the ANSI code page
  EXPECT_EQ(entries.GetString(kUser, key, "text"), "caf\xC3\xA9");
  EXPECT_EQ(ReadStoredValue(*backend, kUser, key, "text").bytes, std::string("caf\xE9\0", 5));

  platform::ScopedRegistryKey open(*backend);
  ASSERT_EQ(backend->CreateKey(platform::HandleOfRoot(kUser), key, open.Put()), reg_status::kSuccess);
  const auto set = [&](const char* name, std::uint32_t type, const std::string& bytes) {
    backend->SetValue(open.Get(), name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()));
  };
  set("number", reg_type::kDword, std::string("\x31\0\0\0", 4));
  set("nul", reg_type::kSz, std::string("before\0after\0", 13));
  set("expand", reg_type::kExpandSz, std::string("%TEMP%\0", 7));
  set("empty", reg_type::kSz, std::string());
  EXPECT_EQ(entries.GetString(kUser, key, "number"), std::nullopt);
  EXPECT_EQ(entries.GetString(kUser, key, "nul"), "before");
  EXPECT_EQ(entries.GetString(kUser, key, "expand"), std::nullopt);
  EXPECT_EQ(entries.GetString(kUser, key, "empty"), "");
  EXPECT_EQ(entries.GetString(kUser, key, "missing"), std::nullopt);
  EXPECT_EQ(entries.GetString(kUser, key + "\\Missing", "text"), std::nullopt);
}

TEST_F(AddRemoveTest, RemoveFromListTakesTheKeyWithBothValues) {
  const std::string key = AddRemove::kUninstallKey + kName;
  entries.AddToList(kName, "C:\\Quellix\\uninstall.exe /quiet");
  EXPECT_EQ(entries.GetString(kMachine, key, "DisplayName"), kName);
  EXPECT_EQ(entries.GetString(kMachine, key, "UninstallString"), "C:\\Quellix\\uninstall.exe /quiet");

  // A key with a subkey is not deleted, and keeps its values.
  entries.SaveKey(kMachine, key + "\\Sub");
  entries.RemoveFromList(kName);
  EXPECT_EQ(entries.GetString(kMachine, key, "DisplayName"), kName);
  entries.DeleteKey(kMachine, key + "\\Sub");

  entries.RemoveFromList(kName);
  EXPECT_FALSE(testing::KeyExists(*backend, kMachine, key));
  entries.RemoveFromList(kName);  // again: nothing there, nothing happens
  EXPECT_TRUE(testing::KeyExists(*backend, kMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

}  // namespace
}  // namespace quellix
