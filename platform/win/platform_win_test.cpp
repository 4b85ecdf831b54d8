// The Win32 backends against Wine's real file system, code page, window
// manager and this executable's own version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "platform/file_exists.h"
#include "platform/file_io.h"
#include "platform/win/file_replace_win.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/temp_folder_test_support.h"

namespace quellix {
namespace {

using testing::TempFolder;

TEST(FileExistsWin, RealFiles) {
  TempFolder dir;
  dir.Write(L"Help.rtf", "x");
  dir.Write(L"secret.txt", "x", FILE_ATTRIBUTE_HIDDEN);
  dir.Write(L"readonly.txt", "x", FILE_ATTRIBUTE_READONLY);
  CreateDirectoryW((dir.Wide() + L"\\Folder").c_str(), nullptr);
  const std::string base = dir.Utf8() + "\\";
  EXPECT_EQ(platform::fileExists(base + "Help.rtf"), true);
  EXPECT_EQ(platform::fileExists(base + "HELP.RTF"), true);
  EXPECT_EQ(platform::fileExists(base + "readonly.txt"), true);
  EXPECT_EQ(platform::fileExists(base + "Folder"), false);
  EXPECT_EQ(platform::fileExists(base + "*.rtf"), false);
  EXPECT_EQ(platform::fileExists(base + "secret.txt"), false);
  EXPECT_EQ(platform::fileExists(base + "missing.txt"), false);
  EXPECT_FALSE(xfileExists::fileExists(base + "nofolder\\x.txt"));
}

TEST(CodePageWin, ACharacterTheCodePageOnlyApproximatesIsNotHeld) {
  // "ā" has the best fit "a": it becomes the replacement character instead.
  if (GetACP() != 1252) GTEST_SKIP() << "the checks know Windows-1252";
  EXPECT_EQ(platform::AnsiFromUtf8("\xC4\x81.example"), "?.example");
  EXPECT_FALSE(platform::AnsiHoldsExactly("\xC4\x81.example"));
  EXPECT_FALSE(platform::AnsiHoldsExactly("\xCE\xB1\xCE\xB2.example"));  // αβ
  EXPECT_TRUE(platform::AnsiHoldsExactly("caf\xC3\xA9.example"));
}

TEST(FileIoWin, ReplaceKeepsTheOldFileWhenTheNewOneCannotBeWritten) {
  TempFolder dir;
  dir.Write(L"allowed.txt", "old\r\n");
  const std::string path = dir.Utf8() + "\\allowed.txt";
  ASSERT_TRUE(platform::ReplaceWholeFile(path, "new\r\n").ok);
  EXPECT_EQ(dir.Read(L"allowed.txt"), "new\r\n");
  // Another program holds the file open without sharing.
  {
    win::ScopedHandle held(CreateFileW((dir.Wide() + L"\\allowed.txt").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(platform::ReplaceWholeFile(path, "newer\r\n").ok);
    EXPECT_FALSE(platform::AppendToFile(path, "x\r\n").ok);
  }
  EXPECT_EQ(dir.Read(L"allowed.txt"), "new\r\n");
  ASSERT_TRUE(platform::AppendToFile(path, "more\r\n").ok);
  EXPECT_EQ(dir.Read(L"allowed.txt"), "new\r\nmore\r\n");
}

// ReplaceFileW's rare half-way failures, brought by scripted stand-ins that
// do to the files what the documentation says ReplaceFileW did.
namespace scripted_replace {
int busy_calls = 0;  // calls that find the file held first (sharing violation)

BOOL WINAPI Busy() {
  SetLastError(ERROR_SHARING_VIOLATION);
  return FALSE;
}
// ERROR_UNABLE_TO_MOVE_REPLACEMENT: the old file is removed, the new one
// keeps its own name.
BOOL WINAPI OldRemovedNewNotMoved(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
  if (busy_calls-- > 0) return Busy();
  DeleteFileW(replaced);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FALSE;
}
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the old file went under the backup
// name (or, without one, a name of the system's), the new one stays where it is.
BOOL WINAPI OldMovedAsideNewNotMoved(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
  if (busy_calls-- > 0) return Busy();
  const std::wstring aside = backup != nullptr ? backup : std::wstring(replaced) + L".aside";
  MoveFileExW(replaced, aside.c_str(), MOVEFILE_REPLACE_EXISTING);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  return FALSE;
}
}  // namespace scripted_replace

TEST(FileIoWin, AReplacementFailingHalfWayLeavesAWholeList) {
  TempFolder dir;
  const std::string path = dir.Utf8() + "\\allowed.txt";
  auto files_in_folder = [&] {
    int count = 0;
    WIN32_FIND_DATAW found;
    win::ScopedFindHandle search(FindFirstFileW((dir.Wide() + L"\\*").c_str(), &found));
    if (search) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
      } while (FindNextFileW(search.Get(), &found));
    }
    return count;
  };
  // The old file is gone after the last retry: the new one takes its place.
  dir.Write(L"allowed.txt", "old\r\n");
  scripted_replace::busy_calls = 4;
  EXPECT_TRUE(platform::ReplaceWholeFileWith(path, "new\r\n", &scripted_replace::OldRemovedNewNotMoved).ok);
  EXPECT_EQ(dir.Read(L"allowed.txt"), "new\r\n");
  EXPECT_EQ(files_in_folder(), 1);
  // The old file was moved aside every time: it is back under its name.
  for (const int busy : {0, 4}) {
    dir.Write(L"allowed.txt", "old\r\n");
    scripted_replace::busy_calls = busy;
    EXPECT_FALSE(platform::ReplaceWholeFileWith(path, "new\r\n", &scripted_replace::OldMovedAsideNewNotMoved).ok);
    EXPECT_EQ(dir.Read(L"allowed.txt"), "old\r\n") << busy;
    EXPECT_EQ(files_in_folder(), 1) << busy;
  }
}

TEST(ScopedHandleWin, ResetToItsOwnHandleKeepsItAndTheCloseKeepsTheLastError) {
  win::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.IsValid());
  event.Reset(event.Get());
  EXPECT_NE(SetEvent(event.Get()), 0) << "the handle was closed";

  // A close that fails sets its own error; the reason the caller is about to
  // read must survive it.
  const HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(gone, nullptr);
  DestroyWindow(gone);
  win::ScopedWindow stale(gone);
  SetLastError(ERROR_PATH_NOT_FOUND);
  stale.Reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace quellix
