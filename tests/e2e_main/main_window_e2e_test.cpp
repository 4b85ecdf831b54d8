// The real program on a first start, driven from this process as a user and
// the shell would: the splash, the main window, the switches and their saves,
// the site lists, the tray menu, Win+Z, a blocked and an allowed pop-up from a
// scripted browser window, a second start, and the exit that saves everything.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/program_driver.h"
#include "ui/main/form1_commands.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace quellix::testing {
namespace {

using scripted_com::ScriptedComBrowser;
using scripted_com::ScriptedComServer;
using scripted_com::WindowsPath;

constexpr UINT kTrayCallback = WM_APP + 0x51;  // the program's tray icon reports with this message

bool Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

LRESULT SendForResult(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

std::wstring Setting(const wchar_t* key) { return ProgramSetting(key); }

std::string FileText(const std::wstring& path) { return FileBytes(path).value_or("<missing>"); }

// Chooses the n-th entry (from 1) of an open context menu with the keyboard.
void ChooseWithKeys(HWND menu, int entry) {
  for (int i = 0; i < entry; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
}

// A picture of the screen where the window is, taken by the X server that
// shows it (Wine's screen DC can still hold windows that are gone): the
// script that runs this test takes it on request. False when no such script
// runs or the picture did not come.
bool ScreenshotOfWindow(HWND window, const std::string& unix_png_path) {
  char request[MAX_PATH] = {};
  if (GetEnvironmentVariableA("QUELLIX_SCREENSHOT_REQUEST", request, MAX_PATH) == 0) return false;
  RECT place{};
  if (!GetWindowRect(window, &place)) return false;
  const std::wstring request_path = WindowsPath(request);
  const std::wstring done_path = request_path + L".done";
  DeleteFileW(done_path.c_str());
  const std::string line = std::to_string(place.right - place.left) + "x" + std::to_string(place.bottom - place.top) +
                           "+" + std::to_string(place.left) + "+" + std::to_string(place.top) + " " + unix_png_path +
                           "\n";
  HANDLE file = CreateFileW((request_path + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW((request_path + L".tmp").c_str(), request_path.c_str(), MOVEFILE_REPLACE_EXISTING);
  const bool taken = WaitUntil([&] { return GetFileAttributesW(done_path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000);
  DeleteFileW(done_path.c_str());
  return taken;
}

class MainWindowEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(MainWindowEndToEnd, FirstStartAsAUserMeetsIt) {
  const std::wstring folder = PrepareProgramFolder(WindowsPath(QUELLIX_PROGRAM_EXE), L"quellix-main-e2e");
  ASSERT_FALSE(folder.empty());
  ASSERT_EQ(Setting(L"state"), L"<absent>") << "not a fresh prefix";
  ScriptedComServer server(WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
  ASSERT_TRUE(server.Registered());

  RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
  ASSERT_TRUE(program.Started());
  EXPECT_NE(program.WaitForWindow(L"Quellix.frmSplash", 10000), nullptr) << "the splash window shows first";
  HWND form = program.WaitForWindow(L"Quellix.Form1", 20000);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(WindowText(form), L"Quellix Pop-Up Blocker by Orlavent");
  EXPECT_NE(FindChildWithText(form, L"Button", L"Visit www.quellix.example"), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"Quellix.frmSplash") == nullptr; }, 5000));

  // The first start opens the help window in front; the user closes it.
  HWND help = program.WaitForWindow(L"Quellix.Form8", 5000);
  EXPECT_NE(help, nullptr) << "the first start opens the help window";
  if (help != nullptr) {
    PostMessageW(help, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(help); }, 5000));
  }
  CreateDirectoryW(WindowsPath(QUELLIX_SCREENSHOT_DIR).c_str(), nullptr);
  // Wine repaints what the help window covered only after a moment.
  RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(1500);
  EXPECT_TRUE(ScreenshotOfWindow(form, QUELLIX_SCREENSHOT_DIR "/main_window_first_start.png"));

  EXPECT_EQ(FileText(folder + L"\\allowed.txt"), "clicks.quellix.example\r\n");
  EXPECT_EQ(FileText(folder + L"\\disallowed.txt"), "\r\n");
  EXPECT_EQ(Setting(L"state"), L"up");
  EXPECT_EQ(Setting(L"chkSound"), L"1");
  const auto status_bars = ChildrenOf(form, STATUSCLASSNAMEW);
  ASSERT_EQ(status_bars.size(), 1u);
  const HWND status = status_bars[0].window;
  EXPECT_EQ(PanelText(program.ProcessId(), status, 0), L"0 Popups blocked to date");

  // Switches: each shows its message; sound and on-top are saved at once.
  HWND sound = SwitchBox(form, L"Audio: Play a sound when a popup is blocked");
  HWND on_top = SwitchBox(form, L"Visual: Keep this window on top of all others");
  HWND setup = SwitchBox(form, L"Setup Mode: Add sites to my Allowed or Disallowed list as I browse");
  ASSERT_TRUE(sound && on_top && setup);
  EXPECT_EQ(SendForResult(sound, BM_GETCHECK), BST_CHECKED);
  ASSERT_TRUE(Send(sound, BM_CLICK));
  EXPECT_TRUE(WaitUntil([&] { return Setting(L"chkSound") == L"0"; }, 5000));
  EXPECT_EQ(PanelText(program.ProcessId(), status, 1), L"Sounds Disabled");
  ASSERT_TRUE(Send(on_top, BM_CLICK));
  EXPECT_TRUE(WaitUntil([&] { return Setting(L"chkOnTop") == L"1"; }, 5000));
  EXPECT_TRUE(GetWindowLongPtrW(form, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(PanelText(program.ProcessId(), status, 1), L"Always On Top Enabled");
  ASSERT_TRUE(Send(on_top, BM_CLICK));
  EXPECT_TRUE(WaitUntil([&] { return Setting(L"chkOnTop") == L"0"; }, 5000));
  EXPECT_FALSE(GetWindowLongPtrW(form, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ASSERT_TRUE(Send(setup, BM_CLICK));
  EXPECT_EQ(PanelText(program.ProcessId(), status, 1), L"Setup Mode Disabled");
  EXPECT_EQ(Setting(L"chkAuto"), L"<absent>");  // saved at exit

  // The allowed list: Add, then Delete the selected entry.
  const auto edits = ChildrenOf(form, L"Edit");
  const auto lists = ChildrenOf(form, L"ListBox");
  const auto adds = WithText(ChildrenOf(form, L"Button"), L"Add");
  const auto deletes = WithText(ChildrenOf(form, L"Button"), L"Delete");
  ASSERT_EQ(edits.size(), 2u);
  ASSERT_EQ(lists.size(), 2u);
  ASSERT_EQ(adds.size(), 2u);
  ASSERT_EQ(deletes.size(), 2u);
  ASSERT_TRUE(Send(edits[0].window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ads.example")));
  ASSERT_TRUE(Send(adds[0].window, BM_CLICK));
  EXPECT_TRUE(WaitUntil(
      [&] { return FileText(folder + L"\\allowed.txt") == "clicks.quellix.example\r\nads.example\r\n\r\n"; }, 5000))
      << FileText(folder + L"\\allowed.txt");
  EXPECT_EQ(SendForResult(lists[0].window, LB_GETCOUNT), 2);
  Send(lists[0].window, LB_SETCURSEL, 1);
  Send(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(lists[0].window), LBN_SELCHANGE),
       reinterpret_cast<LPARAM>(lists[0].window));
  ASSERT_TRUE(Send(deletes[0].window, BM_CLICK));
  EXPECT_TRUE(
      WaitUntil([&] { return FileText(folder + L"\\allowed.txt") == "clicks.quellix.example\r\n\r\n"; }, 5000))
      << FileText(folder + L"\\allowed.txt");
  EXPECT_EQ(SendForResult(lists[0].window, LB_GETCOUNT), 1);

  // Pop-ups from a scripted browser window, setup mode off: a page on no list
  // is blocked, a page on the allowed list is not.
  auto browser = ScriptedComBrowser::Find(program.ProcessId(), 10000);
  ASSERT_TRUE(browser.has_value());
  const int unlisted = browser->OpenWindow(L"http://www.unlisted.example/page.html");
  const int allowed = browser->OpenWindow(L"https://clicks.quellix.example/news/");
  ASSERT_GT(unlisted, 0);
  ASSERT_GT(allowed, 0);
  auto blocked = browser->RaiseNewWindow2(unlisted, VARIANT_FALSE);
  ASSERT_TRUE(blocked.has_value());
  EXPECT_EQ(blocked->cancel, VARIANT_TRUE);
  EXPECT_FALSE(blocked->ppdisp_touched);
  auto let_through = browser->RaiseNewWindow2(allowed, VARIANT_TRUE);
  ASSERT_TRUE(let_through.has_value());
  EXPECT_EQ(let_through->cancel, VARIANT_FALSE);
  EXPECT_EQ(PanelText(program.ProcessId(), status, 0), L"0 Popups blocked to date");  // shown at start only

  // Win+Z: the hot key's message toggles the allow-next flag; the next
  // pop-up from the unlisted page then opens.
  ASSERT_TRUE(PostMessageW(form, WM_HOTKEY, 0, MAKELPARAM(MOD_WIN, 'Z')));
  EXPECT_TRUE(WaitUntil(
      [&] { return PanelText(program.ProcessId(), status, 1) == L"The next popup will be allowed."; }, 5000));
  auto allowed_next = browser->RaiseNewWindow2(unlisted, VARIANT_FALSE);
  ASSERT_TRUE(allowed_next.has_value());
  EXPECT_EQ(allowed_next->cancel, VARIANT_FALSE);

  // Minimize to Taskbar hides the window; the tray menu's "Show program" brings it back.
  ASSERT_TRUE(Send(FindChildWithText(form, L"Button", L"Minimize to Taskbar"), BM_CLICK));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(form); }, 5000));
  EXPECT_EQ(Setting(L"state"), L"down");
  ASSERT_TRUE(PostMessageW(form, kTrayCallback, 0, WM_RBUTTONUP));
  HWND menu = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (menu = program.FindWindowOfClass(L"#32768")) != nullptr; }, 5000));
  ChooseWithKeys(menu, 2);  // "Close this menu", "Show program", ...
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(form) != FALSE; }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return Setting(L"state") == L"up"; }, 5000));

  // A second start brings this copy's window up and ends.
  ASSERT_TRUE(Send(FindChildWithText(form, L"Button", L"Minimize to Taskbar"), BM_CLICK));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(form); }, 5000));
  {
    RunningProgram second(folder + L"\\QuellixPopUpBlocker.exe");
    DWORD exit_code = 1;
    EXPECT_TRUE(second.WaitForExit(10000, &exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(form) != FALSE; }, 5000));

  // Exit writes every option and ends the program.
  ASSERT_TRUE(ChooseMenuCommand(form, form1_commands::kExit));
  DWORD exit_code = 1;
  EXPECT_TRUE(program.WaitForExit(10000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(Setting(L"intStopped"), L"1");
  EXPECT_EQ(Setting(L"chkStopPop"), L"1");
  EXPECT_EQ(Setting(L"chkAuto"), L"0");
  EXPECT_EQ(Setting(L"chkLinks"), L"0");
  EXPECT_EQ(Setting(L"chkOnTop"), L"0");
  EXPECT_EQ(Setting(L"chkRunAtStart"), L"0");
  EXPECT_EQ(Setting(L"chkSound"), L"0");
  // After a delete the list text keeps the file's empty last line.
  EXPECT_EQ(Setting(L"strAllowed"), L"clicks.quellix.example\r\n\r\n");
  EXPECT_EQ(Setting(L"strDisallowed"), L"");
  EXPECT_EQ(Setting(L"state"), L"up");
}

}  // namespace
}  // namespace quellix::testing
