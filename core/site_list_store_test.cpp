#include "core/site_list_store.h"

#include <gtest/gtest.h>

#include "core/testing/memory_list_box.h"
#include "core/testing/memory_list_files.h"

namespace quellix {
namespace {

// The store's own rules, over list files in memory; the files on disk are
// the adapter's tests.
class SiteListStore : public ::testing::Test {
 protected:
  static std::string Path(const char* name) { return std::string(kFolder) + "\\" + name; }
  std::string Read(const char* name) const { return list_files.files.at(Path(name)); }
  void Write(const char* name, const std::string& bytes) { list_files.files[Path(name)] = bytes; }
  std::vector<std::string> Items(const ListBox& box) const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(box.ListCount()));
    for (int i = 0; i < box.ListCount(); ++i) items.push_back(box.List(i));
    return items;
  }

  static constexpr const char* kFolder = "C:\\Quellix";
  ProgramState state;
  MemoryListBox List1;
  MemoryListBox List2;
  testing::MemoryListFiles list_files;
  Module1 Store() { return Module1(list_files, kFolder, "clicks.quellix.example", state, List1, List2); }
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

TEST_F(SiteListStore, EntriesPastTheLimitAreKeptInTheFileButNotLoaded) {
  Module1 lists = Store();
  std::string file;
  for (int i = 0; i < kMaxListEntries + 3; ++i) file += "site" + std::to_string(i) + ".example\r\n";
  Write("allowed.txt", file + "\r\n");
  ASSERT_TRUE(lists.LoadAllowed().ok);
  EXPECT_EQ(List1.ListCount(), kMaxListEntries);
  // The first 32767 are loaded and matched, the three after them are not.
  EXPECT_TRUE(state.strAllowed.Contains("site32766.example"));
  for (const char* unloaded : {"site32767.example", "site32768.example", "site32769.example"}) {
    EXPECT_FALSE(state.strAllowed.Contains(unloaded)) << unloaded;
  }
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

}  // namespace
}  // namespace quellix
