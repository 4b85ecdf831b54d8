#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/settings_store.h"

namespace quellix::platform {
namespace {

namespace fs = std::filesystem;

class FileSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("quellix-settings-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    fs::permissions(folder, fs::perms::owner_all);
    fs::remove_all(folder);
  }
  std::string FileText() const {
    std::ifstream in(folder / "settings.ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  FileSettingsStore Store() const { return FileSettingsStore((folder / "settings.ini").string()); }

  fs::path folder;
};

TEST_F(FileSettings, AbsentKeysGiveTheDefaultAndWrittenOnesComeBack) {
  FileSettingsStore store = Store();
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkSound", "1"), "1");  // no file yet
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "chkSound", "0"));
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "state", "down"));
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "chkSound", "1"));  // replaced, not repeated
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkSound", "x"), "1");
  EXPECT_EQ(store.GetSetting("app", "SETTINGS", "STATE", "x"), "down");  // names ignore letter case
  EXPECT_EQ(store.GetSetting("Other", "Settings", "state", "up"), "up");
  EXPECT_EQ(store.GetSetting("App", "Other", "state", "up"), "up");
  EXPECT_EQ(FileText(), "[App\\Settings]\nchkSound=1\nstate=down\n");
}

TEST_F(FileSettings, TextsWithLineBreaksAndMarkupSurviveARoundTrip) {
  FileSettingsStore store = Store();
  const std::string list = "clicks.quellix.example/programclicks.asp\r\na=b\r\n[x]\\y\r\n\xC3\xA9t\xC3\xA9\r\n";
  ASSERT_TRUE(store.SaveSetting("Quellix Pop-Up Blocker", "Settings", "strAllowed", list));
  ASSERT_TRUE(store.SaveSetting("A\\B", "S]=", "k=\\", "v"));
  ASSERT_TRUE(store.SaveSetting("Quellix Pop-Up Blocker", "Settings", "empty", ""));
  EXPECT_EQ(store.GetSetting("Quellix Pop-Up Blocker", "Settings", "strAllowed", ""), list);
  EXPECT_EQ(store.GetSetting("A\\B", "S]=", "k=\\", ""), "v");
  EXPECT_EQ(store.GetSetting("Quellix Pop-Up Blocker", "Settings", "empty", "default"), "");  // present, empty
  EXPECT_EQ(FileText().find('\r'), std::string::npos);
}

TEST_F(FileSettings, DamagedLinesAreSkippedAndTheRestIsKept) {
  std::ofstream(folder / "settings.ini", std::ios::binary)
      << "orphan=1\r\n[no separator]\r\n[App\\Settings]\r\ngarbage line\r\nchkLinks=1\r\n\\x4=odd\r\nlast=\\xZZ";
  FileSettingsStore store = Store();
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkLinks", "0"), "1");
  EXPECT_EQ(store.GetSetting("App", "Settings", "last", ""), "\\xZZ");
  EXPECT_EQ(store.GetSetting("App", "Settings", "orphan", "none"), "none");
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "chkAuto", "0"));
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkLinks", "0"), "1");
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkAuto", "1"), "0");
}

// Both found by fuzzing the store: a section whose name begins with "x" read
// as an escape and vanished, and a value saved into the second copy of a
// section stayed hidden behind the first.
TEST_F(FileSettings, SectionsNamedWithALeadingXAndRepeatedSectionsKeepWhatIsSaved) {
  FileSettingsStore store = Store();
  ASSERT_TRUE(store.SaveSetting("App", "x41", "k", "v"));
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "k", "w"));
  EXPECT_EQ(store.GetSetting("App", "x41", "k", ""), "v");
  EXPECT_EQ(store.GetSetting("App", "A", "k", "none"), "none");

  std::ofstream(folder / "settings.ini", std::ios::binary | std::ios::trunc)
      << "[App\\Settings]\nchkSound=0\n[app\\settings]\nchkSound=1\nstate=down\n";
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "chkSound", "1"));
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkSound", ""), "1");
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "chkSound", "0"));
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkSound", ""), "0");
  EXPECT_EQ(store.GetSetting("App", "Settings", "state", ""), "down");
}

TEST_F(FileSettings, AStoreThatCannotBeWrittenSaysSoAndKeepsItsValues) {
  FileSettingsStore store = Store();
  ASSERT_TRUE(store.SaveSetting("App", "Settings", "chkOnTop", "1"));
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(store.SaveSetting("App", "Settings", "chkOnTop", "0"));
  EXPECT_EQ(store.GetSetting("App", "Settings", "chkOnTop", "0"), "1");
}

TEST_F(FileSettings, AFolderInThePlaceOfTheFileIsNotAStore) {
  fs::create_directories(folder / "settings.ini");
  FileSettingsStore store = Store();
  EXPECT_FALSE(store.SaveSetting("App", "Settings", "k", "v"));
  EXPECT_EQ(store.GetSetting("App", "Settings", "k", "d"), "d");
}

}  // namespace
}  // namespace quellix::platform
