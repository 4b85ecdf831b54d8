// The same under Windows: TerminateProcess at random moments while the real
// Win32 file code replaces the list file.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/file_io.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"
#include "tests/crash_safety/two_lists.h"

namespace {

std::wstring ThisFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.rfind(L'\\'));
}

TEST(KillDuringSaveWin, TheFileIsAlwaysOneWholeList) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"quellix-kill-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::string list_path = quellix::win::Utf8(folder) + "\\allowed.txt";
  const std::string first = quellix::testing::FirstFile();
  const std::string second = quellix::testing::SecondFile();
  const std::wstring exe = ThisFolder() + L"\\save_loop.exe";
  std::mt19937 random(2026);
  int seen = 0;
  const std::wstring command_line = L"\"" + exe + L"\" \"" + folder + L"\"";
  for (int round = 0; round < 25; ++round) {
    std::wstring command = command_line;  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &info));
    quellix::win::ScopedHandle process(info.hProcess);
    quellix::win::ScopedHandle thread(info.hThread);
    Sleep(150 + random() % 200);
    TerminateProcess(process.Get(), 9);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    ASSERT_EQ(code, 9u) << "the save loop stopped by itself";
    std::string file;
    if (!quellix::platform::ReadWholeFile(list_path, file).ok) continue;  // no save finished yet
    ASSERT_TRUE(file == first || file == second) << "round " << round << ": a file of " << file.size() << " bytes";
    ++seen;
  }
  EXPECT_GT(seen, 10);
  // Whatever temporary files the killed saves left are ours to clear.
  WIN32_FIND_DATAW found;
  quellix::win::ScopedFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (search) {
    do {
      DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search.Get(), &found));
  }
  search.Reset();
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
