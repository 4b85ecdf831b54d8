#include "adapters/list_files_on_disk.h"
#include "core/site_list_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quellix {
namespace {

namespace fs = std::filesystem;

class SiteListStore : public ::testing::Test {
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
  std::vector<std::string> Items(const ListBox& box) const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(box.ListCount()));
    for (int i = 0; i < box.ListCount(); ++i) items.push_back(box.List(i));
    return items;
  }

  fs::path folder;
  ProgramState state;
  MemoryListBox List1;
  MemoryListBox List2;

  // The store takes its folder at construction, after SetUp has made it.
  ListFilesOnDisk list_files;
  Module1 Store() { return Module1(list_files, folder.string(), "clicks.quellix.example", state, List1, List2); }
};

TEST_F(SiteListStore, FirstStartCreatesBothFilesAndLeavesExistingOnes) {
  Module1 lists = Store();
  ASSERT_TRUE(lists.EnsureListFiles().ok);
  EXPECT_EQ(Read("allowed.txt"), "clicks.quellix.example\r\n");
  EXPECT_EQ(Read("disallowed.txt"), "\r\n");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  ASSERT_TRUE(lists.LoadDisallowed().ok);
  EXPECT_EQ(Items(List1), std::vector<std::string>{"clicks.quellix.example"});
  EXPECT_EQ(state.strAllowed.Text(), "clicks.quellix.example\r\n");
  EXPECT_EQ(List2.ListCount(), 0);
  EXPECT_EQ(state.strDisallowed.Text(), "");

  // Existing files, even empty ones, are never rewritten.
  Write("allowed.txt", "");
  Write("disallowed.txt", "mine.example");
  ASSERT_TRUE(lists.EnsureListFiles().ok);
  EXPECT_EQ(Read("allowed.txt"), "");
  EXPECT_EQ(Read("disallowed.txt"), "mine.example");
}

TEST_F(SiteListStore, LoadSkipsEmptyAndOneSpaceLinesAndTakesOthersVerbatim) {
  Module1 lists = Store();
  Write("allowed.txt", "a.example\r\n\r\n \r\n  two spaces \r\ncr.only\rlf.only\nlast.line");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  EXPECT_EQ(Items(List1),
            (std::vector<std::string>{"a.example", "  two spaces ", "cr.only", "lf.only", "last.line"}));
  EXPECT_EQ(state.strAllowed.Text(), "a.example\r\n  two spaces \r\ncr.only\r\nlf.only\r\nlast.line\r\n");
  // Load appends to what the box holds.
  ASSERT_TRUE(lists.LoadAllowed().ok);
  EXPECT_EQ(List1.ListCount(), 10);
}

TEST_F(SiteListStore, SaveWritesTheWholeFormAndAddAppends) {
  Module1 lists = Store();
  ASSERT_TRUE(lists.EnsureListFiles().ok);
  ASSERT_TRUE(lists.LoadDisallowed().ok);
  ASSERT_TRUE(lists.SaveDisallowed().ok);
  EXPECT_EQ(Read("disallowed.txt"), "\r\n");  // empty list: one CR LF

  ASSERT_TRUE(lists.AddDisallowed("bad.example").ok);  // "Block Always" only appends
  EXPECT_EQ(Read("disallowed.txt"), "\r\nbad.example\r\n");
  EXPECT_EQ(state.strDisallowed.Text(), "bad.example\r\n");
  EXPECT_TRUE(state.strDisallowed.Contains("BAD.example"));

  ASSERT_TRUE(lists.LoadAllowed().ok);
  ASSERT_TRUE(lists.AddAllowed("new.example").ok);
  ASSERT_TRUE(lists.SaveAllowed().ok);
  EXPECT_EQ(Read("allowed.txt"), "clicks.quellix.example\r\nnew.example\r\n\r\n");
  EXPECT_EQ(state.strAllowed.Text(), "clicks.quellix.example\r\nnew.example\r\n");
}

TEST_F(SiteListStore, RemovalIsASubstringTestWithItsConsequences) {
  Module1 lists = Store();
  Write("allowed.txt", "host.example\r\nads.HOST.example\r\nhost.example\r\nother.example\r\n\r\n");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  ASSERT_TRUE(lists.RemoveAllowed("host.example").ok);
  // The file loses every line that contains it; empty lines stay.
  EXPECT_EQ(Read("allowed.txt"), "other.example\r\n\r\n\r\n");
  EXPECT_EQ(state.strAllowed.Text(), "other.example\r\n\r\n");
  EXPECT_FALSE(state.strAllowed.Contains("ads.host.example"));
  // The "Delete" caller then takes one entry out of the box and saves: the
  // file equals the box again, the text stays without the longer entries.
  List1.RemoveItem(0);
  ASSERT_TRUE(lists.SaveAllowed().ok);
  EXPECT_EQ(Read("allowed.txt"), "ads.HOST.example\r\nhost.example\r\nother.example\r\n\r\n");
  EXPECT_FALSE(state.strAllowed.Contains("host.example"));
}

TEST_F(SiteListStore, RemovingTheEmptyEntryEmptiesTheTextUntilTheNextLoad) {
  Module1 lists = Store();
  Write("allowed.txt", "a.example\r\nb.example\r\n\r\n");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  ASSERT_TRUE(lists.RemoveAllowed("").ok);
  EXPECT_EQ(state.strAllowed.Text(), "\r\n");
  EXPECT_FALSE(state.strAllowed.Contains("a.example"));
  ASSERT_TRUE(lists.SaveAllowed().ok);
  EXPECT_EQ(Read("allowed.txt"), "a.example\r\nb.example\r\n\r\n");
}

TEST_F(SiteListStore, TheFileIsInTheAnsiCodePage) {
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

TEST_F(SiteListStore, EntriesPastTheLimitAreKeptInTheFileButNotLoaded) {
  Module1 lists = Store();
  std::string file;
  for (int i = 0; i < kMaxListEntries + 3; ++i) file += "site" + std::to_string(i) + ".example\r\n";
  Write("allowed.txt", file + "\r\n");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  EXPECT_EQ(List1.ListCount(), kMaxListEntries);
  EXPECT_EQ(lists.UnloadedAllowed(), 3u);
  EXPECT_FALSE(state.strAllowed.Contains("site32768.example"));
  // A full list takes no more entries and writes nothing.
  const StoreResult full = lists.AddAllowed("one.more.example");
  EXPECT_FALSE(full.ok);
  EXPECT_NE(full.message.find("full"), std::string::npos);
  EXPECT_EQ(Read("allowed.txt"), file + "\r\n");
  // Whole-file writes keep the entries that were not loaded.
  ASSERT_TRUE(lists.SaveAllowed().ok);
  EXPECT_EQ(Read("allowed.txt"), file + "\r\n");
  // A delete as the list panel does it (remove, drop from the box, save) loses
  // only the deleted entry, also the first one past the limit.
  ASSERT_TRUE(lists.RemoveAllowed("site0.example").ok);
  EXPECT_FALSE(state.strAllowed.Contains("site32769.example"));
  List1.RemoveItem(0);
  ASSERT_TRUE(lists.SaveAllowed().ok);
  EXPECT_EQ(Read("allowed.txt"), file.substr(file.find("site1.example")) + "\r\n");
}

TEST_F(SiteListStore, AListWhoseFileFailedToLoadIsNeverWritten) {
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

TEST_F(SiteListStore, DamagedFilesLoadWithADefinedResult) {
  Module1 lists = Store();
  std::string damaged("nul\0byte.example\r\n", 18);
  damaged += std::string(5 * 1024 * 1024, 'x') + "\r\n";
  for (int b = 0; b < 256; ++b) damaged.push_back(static_cast<char>(b));
  damaged += "\r\n";
  Write("allowed.txt", damaged);
  ASSERT_TRUE(lists.LoadAllowed().ok);
  EXPECT_EQ(List1.List(0), "nulbyte.example");
  EXPECT_EQ(List1.List(1).size(), 5u * 1024 * 1024);
  EXPECT_TRUE(state.strAllowed.Contains("nulbyte"));
  EXPECT_FALSE(state.strAllowed.Contains(std::string("nul\0byte", 8)));

  // Tens of megabytes of short lines: loads the first 32767 and stays whole on save.
  std::string big;
  for (int i = 0; big.size() < 24u * 1024 * 1024; ++i) big += std::to_string(i) + ".example\r\n";
  Write("disallowed.txt", big);
  ASSERT_TRUE(lists.LoadDisallowed().ok);
  EXPECT_EQ(List2.ListCount(), kMaxListEntries);
  ASSERT_TRUE(lists.SaveDisallowed().ok);
  EXPECT_EQ(Read("disallowed.txt"), big + "\r\n");
}

TEST_F(SiteListStore, FailuresStopTheOperationAndKeepFormsInStep) {
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

TEST_F(SiteListStore, AFailedSaveLeavesThePreviousFileWhole) {
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
