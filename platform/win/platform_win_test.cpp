// The Win32 backends against Wine's real file system, code page, window
// manager and this executable's own version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "adapters/list_files_on_disk.h"
#include "core/list_box.h"
#include "core/program_state.h"
#include "core/site_list_store.h"
#include "platform/code_page.h"
#include "platform/file_exists.h"
#include "platform/file_io.h"
#include "platform/win/file_replace_win.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"
#include "platform/window_order.h"

namespace quellix {
namespace {

// A fresh folder under %TEMP% for one test, removed with what it holds.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"quellix-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    WIN32_FIND_DATAW found;
    win::ScopedFindHandle search(FindFirstFileW((path_ + L"\\*").c_str(), &found));
    if (search) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = path_ + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveDirectoryW(full.c_str());
        } else {
          DeleteFileW(full.c_str());
        }
      } while (FindNextFileW(search.Get(), &found));
    }
    search.Reset();
    RemoveDirectoryW(path_.c_str());
  }
  std::string Utf8() const { return win::Utf8(path_); }
  std::wstring Wide() const { return path_; }
  void Write(const wchar_t* name, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    win::ScopedHandle file(CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       attributes, nullptr));
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  std::string Read(const wchar_t* name) const {
    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(win::Utf8(path_ + L"\\" + name), bytes).ok);
    return bytes;
  }

 private:
  std::wstring path_;
};

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

TEST(CodePageWin, ListFilesGoThroughTheRealAnsiCodePage) {
  TempFolder dir;
  ProgramState state;
  MemoryListBox allowed, disallowed;
  ListFilesOnDisk list_files;
  Module1 lists(list_files, dir.Utf8(), "clicks.quellix.example", state, allowed, disallowed);
  ASSERT_TRUE(lists.EnsureListFiles().ok);
  ASSERT_TRUE(lists.LoadAllowed().ok);
  const std::string cafe = "caf\xC3\xA9.example";            // é: in the code page
  const std::string greek = "\xCE\xB1\xCE\xB2.example";      // αβ: not in Windows-1252
  ASSERT_TRUE(lists.AddAllowed(cafe).ok);
  ASSERT_TRUE(lists.AddAllowed(greek).ok);
  ASSERT_TRUE(lists.SaveAllowed().ok);
  const std::string file = dir.Read(L"allowed.txt");
  EXPECT_EQ(file, platform::AnsiFromUtf8("clicks.quellix.example\r\n" + cafe + "\r\n" + greek + "\r\n\r\n"));
  if (GetACP() == 1252) {
    EXPECT_NE(file.find("caf\xE9.example"), std::string::npos);
  }

  ProgramState again;
  MemoryListBox reloaded, other;
  Module1 reread(list_files, dir.Utf8(), "x", again, reloaded, other);
  ASSERT_TRUE(reread.LoadAllowed().ok);
  ASSERT_EQ(reloaded.ListCount(), 3);
  EXPECT_EQ(reloaded.List(1), cafe);
  EXPECT_NE(reloaded.List(2), greek);  // read back changed

  // A character the code page can only approximate ("ā", best fit "a")
  // becomes the replacement character, and is reported as not held.
  if (GetACP() == 1252) {
    EXPECT_EQ(platform::AnsiFromUtf8("\xC4\x81.example"), "?.example");
    EXPECT_FALSE(platform::AnsiHoldsExactly("\xC4\x81.example"));
    EXPECT_FALSE(platform::AnsiHoldsExactly(greek));
    EXPECT_TRUE(platform::AnsiHoldsExactly(cafe));
  }
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

TEST(OnTopWin, ExtendedStyleFollows) {
  win::ScopedWindow window(CreateWindowExW(0, L"STATIC", L"on top test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(window);
  ShowWindow(window.Get(), SW_SHOWNOACTIVATE);
  const auto handle = reinterpret_cast<platform::WindowHandle>(window.Get());
  clsOnTop on_top;
  on_top.MakeTopMost(handle);
  EXPECT_TRUE(GetWindowLongPtrW(window.Get(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  on_top.MakeNormal(handle);
  EXPECT_FALSE(GetWindowLongPtrW(window.Get(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  modOnTop(handle, true);
  EXPECT_TRUE(platform::IsTopmost(handle));
  modOnTop(handle, false);
  EXPECT_FALSE(platform::IsTopmost(handle));
}

}  // namespace
}  // namespace quellix
