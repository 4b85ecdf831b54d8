// The real program under Wine, driven from this process: the setup-mode
// prompt answered for a scripted browser window, the help window at the first
// start, the About window, the built-in browser from the visit button and the
// end of the program deferred to the browser's closing. Screenshots of the
// windows go to the build's screenshots folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/program_driver.h"
#include "tests/e2e/program_test.h"
#include "ui/main/form1_commands.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace quellix::testing {
namespace {

using scripted_com::ScriptedComBrowser;
using scripted_com::ScriptedComServer;
using scripted_com::WindowsPath;

std::wstring ScreenshotPath(const wchar_t* name) {
  const std::wstring folder = WindowsPath(QUELLIX_SCREENSHOT_DIR);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + name;
}

class ProgramEndToEnd : public ProgramTest {
 protected:
  std::wstring Folder(const wchar_t* name) {
    std::wstring folder = PrepareProgramFolder(WindowsPath(QUELLIX_PROGRAM_EXE), name);
    EXPECT_FALSE(folder.empty());
    return folder;
  }
};

TEST_F(ProgramEndToEnd, FirstStartShowsHelpAndSetupModeAsksAboutASiteOnNeitherList) {
  const std::wstring folder = Folder(L"quellix-e2e-prompt");
  ScriptedComServer server(WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
  ASSERT_TRUE(server.Registered());
  RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
  ASSERT_TRUE(program.Started());

  // First start: the help window opens by itself, showing Help.rtf.
  HWND help = program.WaitForWindow(L"Quellix.Form8", 20000);
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(WindowText(help), L"Readme/Help");
  HWND text = FindChild(help, L"RICHEDIT50W", [](const std::wstring&) { return true; });
  ASSERT_NE(text, nullptr);
  const std::wstring shown = WindowText(text);
  EXPECT_NE(shown.find(L"Setup Mode"), std::wstring::npos);
  EXPECT_NE(shown.find(L"Allow Always"), std::wstring::npos);
  EXPECT_NE(FindChildWithText(help, L"Button", L"Show at Startup"), nullptr);
  Sleep(500);
  EXPECT_TRUE(SaveWindowScreenshot(help, ScreenshotPath(L"help.png")));
  PostMessageW(help, WM_CLOSE, 0, 0);
  ASSERT_NE(program.WaitForWindow(L"Quellix.Form1", 20000), nullptr);

  std::optional<ScriptedComBrowser> browser = ScriptedComBrowser::Find(program.ProcessId(), 20000);
  ASSERT_TRUE(browser);
  const int window = browser->OpenWindow(L"http://ads.neither.example/offer.html");
  ASSERT_GE(window, 0);
  ASSERT_TRUE(WaitUntil([&] { return browser->Query(scripted_com::Query::kConnections, window) == 1; }, 10000));

  // The page asks for a window; Cancel arrives true, so false means allowed.
  std::optional<ScriptedComBrowser::NewWindow2Answer> answer;
  std::jthread page([&] { answer = browser->RaiseNewWindow2(window, VARIANT_TRUE); });
  HWND prompt = program.WaitForWindow(L"Quellix.Form3", 10000);
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(WindowText(prompt), L"Popup Detected!");
  EXPECT_NE(FindChildWithText(prompt, L"Edit", L"ads.neither.example"), nullptr);

  // While the question waits the program sleeps: no processor time to speak of.
  const ULONGLONG before = program.ProcessorTime();
  Sleep(2000);
  const ULONGLONG used = program.ProcessorTime() - before;
  EXPECT_LT(used, 1'000'000u) << "100 ns units used while waiting 2 s";
  std::printf("processor time while the prompt waited 2 s: %llu ms\n", used / 10'000);
  EXPECT_TRUE(SaveWindowScreenshot(prompt, ScreenshotPath(L"prompt.png")));

  ASSERT_TRUE(PressButton(FindChildWithText(prompt, L"Button", L"Allow Always")));
  page.join();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->cancel, VARIANT_FALSE);
  EXPECT_FALSE(answer->ppdisp_touched);
  EXPECT_NE(FileBytes(folder + L"\\allowed.txt").value_or("").find("ads.neither.example\r\n"), std::string::npos);
  EXPECT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"Quellix.Form3") == nullptr; }, 5000));

  // The site is allowed now: the next request opens without a question.
  const auto again = browser->RaiseNewWindow2(window, VARIANT_TRUE);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->cancel, VARIANT_FALSE);
  EXPECT_EQ(program.FindWindowOfClass(L"Quellix.Form3"), nullptr);
}

TEST_F(ProgramEndToEnd, AboutAndTheBuiltInBrowserWhichDefersTheEndOfTheProgram) {
  ASSERT_TRUE(StoreSetting(L"showHelp", L"0"));
  const std::wstring folder = Folder(L"quellix-e2e-about");
  RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
  ASSERT_TRUE(program.Started());
  HWND main = program.WaitForWindow(L"Quellix.Form1", 20000);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(program.FindWindowOfClass(L"Quellix.Form8"), nullptr);

  ASSERT_TRUE(ChooseMenuCommand(main, form1_commands::kAbout));
  HWND about = program.WaitForWindow(L"Quellix.frmAbout", 10000);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(WindowText(about), L"About Quellix Pop-Up Blocker");
  EXPECT_NE(FindChildWithText(about, L"Static", L"Quellix Pop-Up Blocker"), nullptr);
  EXPECT_NE(FindChildWithText(about, L"Static", L"1.0"), nullptr);
  EXPECT_NE(FindChildWithText(about, L"Static", L"Orlavent"), nullptr);
  HWND website_label = FindChildWithText(about, L"Static", L"www.quellix.example");
  EXPECT_NE(website_label, nullptr);
  Sleep(500);
  EXPECT_TRUE(SaveWindowScreenshot(about, ScreenshotPath(L"about.png")));
  PostMessageW(about, WM_CLOSE, 0, 0);

  HWND visit = FindChildWithText(main, L"Button", L"Visit www.quellix.example");
  ASSERT_NE(visit, nullptr);
  ASSERT_TRUE(PressButton(visit));
  HWND website = program.WaitForWindow(L"Quellix.frmWebsite", 20000);
  ASSERT_NE(website, nullptr);
  EXPECT_TRUE(Responds(main));
  EXPECT_TRUE(IsZoomed(website));
  EXPECT_NE(FindChildWithText(website, L"Button", L"Browser"), nullptr);
  HWND address = FindChild(website, L"Edit", [](const std::wstring&) { return true; });
  EXPECT_NE(address, nullptr);
  Sleep(1500);
  EXPECT_TRUE(Responds(website));
  EXPECT_TRUE(SaveWindowScreenshot(website, ScreenshotPath(L"website.png")));

  // Pressing visit again brings up the same window (the click is handled
  // when ClickNow returns).
  ASSERT_TRUE(ClickNow(visit));
  EXPECT_EQ(program.FindWindowOfClass(L"Quellix.frmWebsite"), website);

  // The main window closes, the program waits for the browser window.
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }, 10000));
  EXPECT_FALSE(program.WaitForExit(1500));
  PostMessageW(website, WM_CLOSE, 0, 0);
  DWORD exit_code = 1;
  EXPECT_TRUE(program.WaitForExit(15000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
}

// Windows ends a session by asking every top-level window, telling every one
// that the session ends, and then ending the process: no unload runs.
TEST_F(ProgramEndToEnd, ALogOffWritesEverythingTheExitWrites) {
  ASSERT_TRUE(StoreSetting(L"showHelp", L"0"));
  const std::wstring folder = Folder(L"quellix-e2e-logoff");
  ScriptedComServer server(WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
  ASSERT_TRUE(server.Registered());
  RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
  ASSERT_TRUE(program.Started());
  HWND main = program.WaitForWindow(L"Quellix.Form1", 20000);
  ASSERT_NE(main, nullptr);

  // Two switches that only the exit saves, and one pop-up blocked.
  HWND setup = SwitchBox(main, L"Setup Mode: Add sites to my Allowed or Disallowed list as I browse");
  HWND links = SwitchBox(main, L"Exceptions: Allow popups when my mouse is over a link");
  ASSERT_TRUE(setup && links);
  ASSERT_TRUE(ClickNow(setup));
  ASSERT_TRUE(ClickNow(links));
  std::optional<ScriptedComBrowser> browser = ScriptedComBrowser::Find(program.ProcessId(), 20000);
  ASSERT_TRUE(browser);
  const int window = browser->OpenWindow(L"http://ads.unlisted.example/");
  ASSERT_GT(window, 0);
  const auto blocked = browser->RaiseNewWindow2(window, VARIANT_FALSE);
  ASSERT_TRUE(blocked);
  ASSERT_EQ(blocked->cancel, VARIANT_TRUE);
  ASSERT_EQ(ProgramSetting(L"chkAuto"), L"<absent>");

  const std::vector<HWND> windows = program.TopLevelWindows();
  ASSERT_FALSE(windows.empty());
  auto visible_windows = [&] {
    std::vector<HWND> shown;
    for (HWND w : program.TopLevelWindows()) {
      if (IsWindowVisible(w)) shown.push_back(w);
    }
    return shown;
  };
  const std::vector<HWND> shown_before = visible_windows();
  for (HWND w : windows) {
    DWORD_PTR agreed = 0;
    ASSERT_TRUE(SendMessageTimeoutW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &agreed));
    EXPECT_EQ(agreed, static_cast<DWORD_PTR>(TRUE)) << "a window held up the log-off";
  }
  EXPECT_EQ(visible_windows(), shown_before) << "the program showed something at log-off";
  for (HWND w : windows) {
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutW(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &ignored));
  }
  ASSERT_TRUE(program.Terminate());

  EXPECT_EQ(ProgramSetting(L"chkAuto"), L"0");
  EXPECT_EQ(ProgramSetting(L"chkLinks"), L"1");
  EXPECT_EQ(ProgramSetting(L"chkStopPop"), L"1");
  EXPECT_EQ(ProgramSetting(L"chkOnTop"), L"0");
  EXPECT_EQ(ProgramSetting(L"chkRunAtStart"), L"0");
  EXPECT_EQ(ProgramSetting(L"intStopped"), L"1");
  EXPECT_EQ(ProgramSetting(L"strAllowed"), L"clicks.quellix.example\r\n");
  EXPECT_EQ(ProgramSetting(L"strDisallowed"), L"");
  EXPECT_EQ(ProgramSetting(L"state"), L"up");
}

// A keyboard user, with real key input: Tab through the main window, the
// setup-mode prompt answered with Tab, Shift+Tab, Enter, Space, Escape and
// Alt+F4, and Enter in the built-in browser's address box.
TEST_F(ProgramEndToEnd, AKeyboardUserReachesEveryControlAndAnswersThePrompt) {
  ASSERT_TRUE(StoreSetting(L"showHelp", L"0"));
  const std::wstring folder = Folder(L"quellix-e2e-keyboard");
  ScriptedComServer server(WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
  ASSERT_TRUE(server.Registered());
  RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
  ASSERT_TRUE(program.Started());
  HWND main = program.WaitForWindow(L"Quellix.Form1", 20000);
  ASSERT_NE(main, nullptr);

  // The Tab order follows the screen: the buttons, the switches from top to
  // bottom, then each list side.
  const auto buttons = ChildrenOf(main, L"Button");
  const auto edits = ChildrenOf(main, L"Edit");
  const auto lists = ChildrenOf(main, L"ListBox");
  const auto adds = WithText(buttons, L"Add");
  const auto deletes = WithText(buttons, L"Delete");
  ASSERT_EQ(edits.size(), 2u);
  ASSERT_EQ(lists.size(), 2u);
  ASSERT_EQ(adds.size(), 2u);
  ASSERT_EQ(deletes.size(), 2u);
  std::vector<HWND> order{FindChildWithText(main, L"Button", L"Allow Next Popup"),
                          FindChildWithText(main, L"Button", L"Minimize to Taskbar"),
                          FindChildWithText(main, L"Button", L"Visit www.quellix.example")};
  for (const wchar_t* label : {L"Popup Blocking: Stop Popups from all sites that aren't on my allowed list",
                               L"Setup Mode: Add sites to my Allowed or Disallowed list as I browse",
                               L"Exceptions: Allow popups when my mouse is over a link",
                               L"Audio: Play a sound when a popup is blocked",
                               L"Visual: Keep this window on top of all others",
                               L"Automation: Run at startup and block popups automatically"}) {
    order.push_back(SwitchBox(main, label));
  }
  for (std::size_t side = 0; side < 2; ++side) {
    for (HWND control : {edits[side].window, adds[side].window, deletes[side].window, lists[side].window}) {
      order.push_back(control);
    }
  }
  for (HWND control : order) ASSERT_NE(control, nullptr);
  ASSERT_TRUE(TypeKeys(main, {}));
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == order[0]; }, 5000)) << "the first control has the focus";
  for (std::size_t i = 1; i <= order.size(); ++i) {
    ASSERT_TRUE(TypeKeys(main, {{VK_TAB}}));
    const HWND expected = order[i % order.size()];
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == expected; }, 5000))
        << "Tab " << i << " reached control " << FocusOf(main) << " instead of " << expected;
  }
  ASSERT_TRUE(TypeKeys(main, {{VK_TAB, true}}));
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == order.back(); }, 5000)) << "Shift+Tab goes back";

  // Enter in the built-in browser's address box opens the address typed.
  ASSERT_TRUE(ClickNow(order[2]));
  HWND website = program.WaitForWindow(L"Quellix.frmWebsite", 20000);
  ASSERT_NE(website, nullptr);
  HWND address = FindChild(website, L"Edit", [](const std::wstring&) { return true; });
  ASSERT_NE(address, nullptr);
  // Its five buttons show pictures.
  for (const wchar_t* button : {L"Go", L"<", L">", L"X", L"R"}) {
    HWND found = FindChildWithText(website, L"Button", button);
    ASSERT_NE(found, nullptr) << "button " << static_cast<char>(button[0]);
    EXPECT_TRUE(GetWindowLongPtrW(found, GWL_STYLE) & BS_BITMAP) << static_cast<char>(button[0]);
    EXPECT_NE(SendMessageW(found, BM_GETIMAGE, IMAGE_BITMAP, 0), 0) << static_cast<char>(button[0]);
  }
  // The first control in the Tab order: it has the focus, or Tab gives it.
  ASSERT_TRUE(TypeKeys(website, {}));
  if (!WaitUntil([&] { return FocusOf(website) == address; }, 2000)) {
    ASSERT_TRUE(TypeKeys(website, {{VK_TAB}}));
  }
  ASSERT_TRUE(WaitUntil([&] { return FocusOf(website) == address; }, 5000)) << "the address box has the focus";
  const auto status = ChildrenOf(website, L"msctls_statusbar32");
  ASSERT_EQ(status.size(), 1u);
  auto loading_state = [&] { return PanelText(program.ProcessId(), status[0].window, 1); };
  ASSERT_TRUE(WaitUntil([&] { return loading_state() == L"Completed http://www.quellix.example/"; }, 10000))
      << "the start page did not load";
  SendMessageW(address, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"about:blank"));
  ASSERT_TRUE(TypeKeys(website, {{VK_RETURN}}));
  EXPECT_TRUE(WaitUntil([&] { return loading_state() == L"Completed about:blank"; }, 10000)) << "Enter opened nothing";
  // Closing the window ends its browser and page; the next opening loads afresh.
  PostMessageW(website, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"Quellix.frmWebsite") == nullptr; }, 10000));
  auto browser_control = [](HWND form) { return FindChild(form, L"Quellix.WebBrowserHost", [](const std::wstring&) { return true; }); };
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(website) || browser_control(website) == nullptr; }, 5000))
      << "the closed window's browser still runs";
  ASSERT_TRUE(ClickNow(order[2]));
  HWND reopened = program.WaitForWindow(L"Quellix.frmWebsite", 20000);
  ASSERT_NE(reopened, nullptr);
  EXPECT_NE(browser_control(reopened), nullptr);
  const auto reopened_status = ChildrenOf(reopened, L"msctls_statusbar32");
  ASSERT_EQ(reopened_status.size(), 1u);
  EXPECT_TRUE(WaitUntil([&] {
    return PanelText(program.ProcessId(), reopened_status[0].window, 1) == L"Completed http://www.quellix.example/";
  }, 10000)) << "the new window opens the start page";
  PostMessageW(reopened, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"Quellix.frmWebsite") == nullptr; }, 10000));

  // The prompt, answered from the keyboard: each answer reaches the page.
  std::optional<ScriptedComBrowser> browser = ScriptedComBrowser::Find(program.ProcessId(), 20000);
  ASSERT_TRUE(browser);
  const int window = browser->OpenWindow(L"http://ads.neither.example/offer.html");
  ASSERT_GT(window, 0);
  struct Answer {
    std::initializer_list<Key> keys;
    VARIANT_BOOL cancel;  // as the page gets it back; it asks with Cancel false
    const char* what;
  };
  const Answer answers[] = {
      {{{VK_TAB, true}, {VK_RETURN}}, VARIANT_FALSE, "Shift+Tab to Allow Now, Enter"},
      {{{VK_TAB}, {VK_TAB, true}, {VK_SPACE}}, VARIANT_TRUE, "Tab to the site's box, Shift+Tab back, Space"},
      {{{VK_ESCAPE}}, VARIANT_TRUE, "Escape"},
      {{{VK_F4, false, true}}, VARIANT_TRUE, "Alt+F4"},
  };
  for (const Answer& answer : answers) {
    std::optional<ScriptedComBrowser::NewWindow2Answer> got;
    std::jthread page([&] { got = browser->RaiseNewWindow2(window, VARIANT_FALSE); });
    HWND prompt = program.WaitForWindow(L"Quellix.Form3", 10000);
    ASSERT_NE(prompt, nullptr) << answer.what;
    HWND block_now = FindChildWithText(prompt, L"Button", L"Block Now");
    ASSERT_TRUE(TypeKeys(prompt, {}));
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(prompt) == block_now; }, 5000)) << "the prompt focuses Block Now";
    if (answer.keys.size() > 1) {
      // Each move of the focus lands where it should before the next key.
      const Key first = *answer.keys.begin();
      ASSERT_TRUE(TypeKeys(prompt, {first}));
      const HWND expected = first.shift ? FindChildWithText(prompt, L"Button", L"Allow Now")
                                        : FindChild(prompt, L"Edit", [](const std::wstring&) { return true; });
      EXPECT_TRUE(WaitUntil([&] { return FocusOf(prompt) == expected; }, 5000)) << answer.what;
      for (auto key = answer.keys.begin() + 1; key != answer.keys.end(); ++key) ASSERT_TRUE(TypeKeys(prompt, {*key}));
    } else {
      ASSERT_TRUE(TypeKeys(prompt, answer.keys));
    }
    ASSERT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"Quellix.Form3") == nullptr; }, 10000))
        << answer.what << ": the prompt stays open";
    page.join();
    ASSERT_TRUE(got) << answer.what;
    EXPECT_EQ(got->cancel, answer.cancel) << answer.what;
  }

}

}  // namespace
}  // namespace quellix::testing
