// A list write that fails half way: the file is read-only, another program
// holds it open, or the disk is full. Every operation of the store then says
// what went wrong, the previous file stays whole, no temporary file is left,
// and the list box and the list text still show exactly what the file holds.
// Once the fault is gone the same operations succeed.
//
// The same tests run natively and under Wine. A full disk is a file size
// limit of the process (RLIMIT_FSIZE): natively the test lowers it itself;
// under Wine, which has no call for it, the test command lowers it before
// starting the program and names a folder it prepared in
// QUELLIX_FULL_DISK_FOLDER.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "platform/win/scoped_handle.h"
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "adapters/list_files_on_disk.h"
#include "core/site_list_store.h"
#include "core/testing/memory_list_box.h"

namespace quellix {
namespace {

namespace fs = std::filesystem;

// A list larger than the full disk's limit, so every rewrite fails part way,
// yet with room for more entries. The test command for Wine writes the same.
constexpr std::uintmax_t kFullDiskLimitBytes = 256 * 1024;
std::string LargeList() {
  std::string list;
  for (int i = 0; list.size() < 3 * kFullDiskLimitBytes; ++i) {
    list += "www.site" + std::to_string(i) + ".example/popups/\r\n";
  }
  return list + "\r\n";
}

int ProcessId() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(::getpid());
#endif
}

class ListSaveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("quellix-faults-" + std::to_string(ProcessId()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    ClearFault();
    if (owns_folder) fs::remove_all(folder);
  }

  fs::path File() const { return folder / "allowed.txt"; }
  std::string Read() const {
    std::ifstream in(File(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string& bytes) const { std::ofstream(File(), std::ios::binary | std::ios::trunc) << bytes; }
  ListFilesOnDisk list_files;
  Module1 Store() { return Module1(list_files, folder.string(), "clicks.quellix.example", state, List1, List2); }

  // The file is still `previous`, nothing else lies beside it, and what the
  // store shows is what a fresh load of the file shows.
  void ExpectPreviousFileAndFormsInStep(const std::string& previous) {
    EXPECT_TRUE(Read() == previous) << "the file changed: " << Read().size() << " bytes, " << previous.size()
                                    << " before";
    for (const auto& entry : fs::directory_iterator(folder)) {
      EXPECT_EQ(entry.path().filename(), "allowed.txt") << "left behind";
    }
    ProgramState fresh_state;
    MemoryListBox fresh, unused;
    Module1 reread(list_files, folder.string(), "x", fresh_state, fresh, unused);
    ASSERT_TRUE(reread.LoadAllowed().ok);
    ASSERT_EQ(List1.ListCount(), fresh.ListCount());
    for (int i = 0; i < fresh.ListCount(); ++i) ASSERT_EQ(List1.List(i), fresh.List(i)) << "entry " << i;
    // The text matched against: the same entries (a removal keeps the
    // file's empty lines in it, which match no site).
    std::vector<std::string> matched;
    for (std::string& line : SplitListLines(state.strAllowed.Text())) {
      if (IsListEntry(line)) matched.push_back(std::move(line));
    }
    ASSERT_EQ(matched.size(), static_cast<std::size_t>(fresh.ListCount()));
    for (int i = 0; i < fresh.ListCount(); ++i) EXPECT_EQ(matched[static_cast<std::size_t>(i)], fresh.List(i));
  }

  // Add, remove and save all fail, each telling why, and change nothing
  // (looked at once the fault is gone: a file held open cannot be read).
  void ExpectEveryWriteFailsAndKeepsThePreviousFile(Module1& lists, const std::string& previous) {
    const int count = List1.ListCount();
    for (const StoreResult& result : {lists.AddAllowed("new.example"), lists.RemoveAllowed(List1.List(0)),
                                      lists.SaveAllowed()}) {
      EXPECT_FALSE(result.ok);
      EXPECT_NE(result.message.find("allowed.txt"), std::string::npos) << result.message;
    }
    EXPECT_EQ(List1.ListCount(), count);
    ClearFault();
    ExpectPreviousFileAndFormsInStep(previous);
  }

  // Once the fault is gone: an entry added and the first one removed.
  void ExpectWritesWorkAgain(Module1& lists) {
    const std::string first = List1.List(0);
    ASSERT_TRUE(lists.AddAllowed("new.example").ok);
    ASSERT_TRUE(lists.SaveAllowed().ok);
    ASSERT_TRUE(lists.RemoveAllowed(first).ok);
    List1.RemoveItem(0);
    ASSERT_TRUE(lists.SaveAllowed().ok);
    EXPECT_EQ(Read().find(first + "\r\n"), std::string::npos);
    EXPECT_NE(Read().find("new.example\r\n"), std::string::npos);
    ExpectPreviousFileAndFormsInStep(Read());
  }

  void MakeReadOnly() {
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(File().c_str(), FILE_ATTRIBUTE_READONLY));
#else
    fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#endif
    read_only = true;
  }

  void ClearFault() {
    if (read_only) {
#ifdef _WIN32
      SetFileAttributesW(File().c_str(), FILE_ATTRIBUTE_NORMAL);
#else
      fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
#endif
      read_only = false;
    }
#ifdef _WIN32
    held.Reset();
#else
    if (limited) {
      ::setrlimit(RLIMIT_FSIZE, &saved_limit);
      std::signal(SIGXFSZ, SIG_DFL);
      limited = false;
    }
#endif
  }

  fs::path folder;
  bool owns_folder = true;
  ProgramState state;
  MemoryListBox List1;
  MemoryListBox List2;
  bool read_only = false;
#ifdef _WIN32
  win::ScopedHandle held;
#else
  rlimit saved_limit{};
  bool limited = false;
#endif
};

const std::string kPrevious = "keep.example\r\nother.example\r\n\r\n";

TEST_F(ListSaveFaults, AReadOnlyFileIsReportedAndKeptWhole) {
  Write(kPrevious);
  Module1 lists = Store();
  ASSERT_TRUE(lists.LoadAllowed().ok);
  MakeReadOnly();
  ExpectEveryWriteFailsAndKeepsThePreviousFile(lists, kPrevious);
  ExpectWritesWorkAgain(lists);
}

TEST_F(ListSaveFaults, AFileAnotherProgramHoldsOpenIsReportedAndKeptWhole) {
  Write(kPrevious);
  Module1 lists = Store();
  ASSERT_TRUE(lists.LoadAllowed().ok);
#ifdef _WIN32
  // Opened without sharing, as an editor or a backup program may hold it.
  held.Reset(CreateFileW(File().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
#else
  GTEST_SKIP() << "POSIX files have no sharing modes: another program's open file never stops a write";
#endif
  ExpectEveryWriteFailsAndKeepsThePreviousFile(lists, kPrevious);
  ExpectWritesWorkAgain(lists);
}

TEST_F(ListSaveFaults, AFullDiskStopsEveryWriteHalfWayAndKeepsThePreviousFile) {
  const std::string previous = LargeList();
#ifdef _WIN32
  const char* prepared = std::getenv("QUELLIX_FULL_DISK_FOLDER");
  if (prepared == nullptr) GTEST_SKIP() << "run by the test command that limits the file size";
  fs::remove_all(folder);
  folder = prepared;
  owns_folder = false;
  ASSERT_TRUE(Read() == previous) << "the prepared list is not the expected one";
#else
  Write(previous);
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
  rlimit full = saved_limit;
  full.rlim_cur = kFullDiskLimitBytes;
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  limited = true;
#endif
  Module1 lists = Store();
  ASSERT_TRUE(lists.LoadAllowed().ok);
  ExpectEveryWriteFailsAndKeepsThePreviousFile(lists, previous);
#ifndef _WIN32  // under Wine the limit holds for the whole run
  ExpectWritesWorkAgain(lists);
#endif
}

}  // namespace
}  // namespace quellix
