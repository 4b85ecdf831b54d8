// The site list store over the list files on disk: the ANSI code page, files
// that cannot be read or written, and saves that fail half way.
#include "adapters/list_files_on_disk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/site_list_store.h"
#include "core/testing/memory_list_box.h"

namespace quellix {
namespace {

namespace fs = std::filesystem;

class SiteListsOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("quellix-store-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Read(const char* name) const {
    std::ifstream in(folder / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(folder / name, std::ios::binary) << bytes;
  }

  fs::path folder;
  ProgramState state;
  MemoryListBox List1;
  MemoryListBox List2;

  // The store takes its folder at construction, after SetUp has made it.
  ListFilesOnDisk list_files;
  Module1 Store() { return Module1(list_files, folder.string(), "clicks.quellix.example", state, List1, List2); }
};

TEST_F(SiteListsOnDisk, TheFileIsInTheAnsiCodePage) {
  Module1 lists = Store();
  Write("allowed.txt", "");
  ASSERT_TRUE(lists.AddAllowed("caf\xC3\xA9.example").ok);          // é is in Windows-1252
  ASSERT_TRUE(lists.AddAllowed("\xC4\x89" "apelo.example").ok);     // ĉ is not
  EXPECT_EQ(Read("allowed.txt"), "caf\xE9.example\r\n?apelo.example\r\n");
  MemoryListBox fresh;
  ProgramState other;
  Module1 reread(list_files, folder.string(), "x", other, fresh, List2);
  ASSERT_TRUE(reread.LoadAllowed().ok);
  EXPECT_EQ(fresh.List(0), "caf\xC3\xA9.example");
  EXPECT_EQ(fresh.List(1), "?apelo.example");  // read back changed
}

TEST_F(SiteListsOnDisk, AListWhoseFileFailedToLoadIsNeverWritten) {
  Module1 lists = Store();
  const std::string stored = "kept.example\r\nalso.kept.example\r\n";
  fs::create_directory(folder / "allowed.txt");  // cannot be read as a file
  EXPECT_FALSE(lists.LoadAllowed().ok);
  EXPECT_FALSE(lists.LoadDisallowed().ok);  // missing
  Write("disallowed.txt", stored);            // and back, say from a network share
  for (const StoreResult& result : {lists.AddDisallowed("new.example"), lists.SaveDisallowed(),
                             lists.RemoveDisallowed("kept"), lists.AddAllowed("new.example"), lists.SaveAllowed()}) {
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("could not be read"), std::string::npos) << result.message;
  }
  EXPECT_EQ(Read("disallowed.txt"), stored);
  EXPECT_EQ(List2.ListCount(), 0);
  EXPECT_EQ(state.strDisallowed.Text(), "");
  // Once the file loads, the list takes changes again.
  ASSERT_TRUE(lists.LoadDisallowed().ok);
  ASSERT_TRUE(lists.AddDisallowed("new.example").ok);
  ASSERT_TRUE(lists.SaveDisallowed().ok);
  EXPECT_EQ(Read("disallowed.txt"), stored + "new.example\r\n\r\n");
}

TEST_F(SiteListsOnDisk, FailuresStopTheOperationAndKeepFormsInStep) {
  Module1 lists = Store();
  // Missing files: Load and Remove fail.
  EXPECT_FALSE(lists.LoadAllowed().ok);
  EXPECT_FALSE(lists.RemoveAllowed("x").ok);
  // A file that cannot be written (here a folder stands in its place).
  fs::create_directory(folder / "allowed.txt");
  const StoreResult add = lists.AddAllowed("new.example");
  EXPECT_FALSE(add.ok);
  EXPECT_FALSE(add.message.empty());
  EXPECT_EQ(List1.ListCount(), 0);
  EXPECT_EQ(state.strAllowed.Text(), "");
  EXPECT_FALSE(lists.SaveAllowed().ok);
  EXPECT_TRUE(fs::is_directory(folder / "allowed.txt"));
}

TEST_F(SiteListsOnDisk, AFailedSaveLeavesThePreviousFileWhole) {
  Module1 lists = Store();
  Write("allowed.txt", "keep.example\r\n");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  // The folder disappears under the program: the temporary file cannot be made.
  const fs::path moved = folder.string() + "-moved";
  fs::rename(folder, moved);
  EXPECT_FALSE(lists.SaveAllowed().ok);
  fs::rename(moved, folder);
  EXPECT_EQ(Read("allowed.txt"), "keep.example\r\n");
  for (const auto& entry : fs::directory_iterator(folder)) {
    EXPECT_EQ(entry.path().filename(), "allowed.txt");  // no temporary file left
  }
}

}  // namespace
}  // namespace quellix
