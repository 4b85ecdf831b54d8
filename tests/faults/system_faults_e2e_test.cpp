// The real program under Wine when the system is not as it expects: Win+Z
// and the browsers' pipe already belong to another program, and Explorer
// restarts while the program runs. The program starts, says that browsers
// cannot reach it, keeps blocking and keeps its other ways of letting the
// next pop-up through.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "platform/win/browser_pipe_win.h"

#include "tests/e2e/program_driver.h"
#include "tests/e2e/program_test.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace quellix::testing {
namespace {

using scripted_com::Query;
using scripted_com::ScriptedComBrowser;
using scripted_com::ScriptedComServer;
using scripted_com::WindowsPath;

using SystemFaults = ProgramTest;

TEST_F(SystemFaults, WinZHeldByAnotherProgramAndAnExplorerRestartLeaveTheProgramWorking) {
  ASSERT_TRUE(StoreSetting(L"showHelp", L"0"));
  ASSERT_TRUE(StoreSetting(L"chkSound", L"0"));
  ASSERT_TRUE(StoreSetting(L"chkAuto", L"0"));  // sites on neither list are blocked without a question
  const std::wstring folder = PrepareProgramFolder(WindowsPath(QUELLIX_PROGRAM_EXE), L"quellix-system-faults");
  ASSERT_FALSE(folder.empty());

  // This test program takes Win+Z and the browsers' pipe before the program starts.
  ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_WIN | MOD_NOREPEAT, 'Z'));
  std::optional<win::PipeSecurity> security = win::PipeSecurity::ForSession();
  ASSERT_TRUE(security);
  const win::ScopedHandle squatter(CreateNamedPipeW(win::BrowserPipeName().c_str(), PIPE_ACCESS_DUPLEX,
                                                    PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                                    PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, security->Attributes()));
  ASSERT_TRUE(squatter.IsValid());
  {
    ScriptedComServer server(WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
    ASSERT_TRUE(server.Registered());
    RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
    ASSERT_TRUE(program.Started());
    HWND main = program.WaitForWindow(L"Quellix.Form1", 30000);
    ASSERT_NE(main, nullptr);
    const auto status_bars = ChildrenOf(main, STATUSCLASSNAMEW);
    ASSERT_EQ(status_bars.size(), 1u);
    EXPECT_TRUE(WaitUntil(
        [&] {
          return PanelText(program.ProcessId(), status_bars[0].window, 1) ==
                 L"Browsers cannot reach the program: another program holds its pipe";
        },
        10000))
        << PanelText(program.ProcessId(), status_bars[0].window, 1);
    std::optional<ScriptedComBrowser> browser = ScriptedComBrowser::Find(program.ProcessId(), 20000);
    ASSERT_TRUE(browser);
    const int window = browser->OpenWindow(L"http://ads.neither.example/");
    ASSERT_GE(window, 0);
    ASSERT_TRUE(WaitUntil([&] { return browser->Query(Query::kConnections, window) == 1; }, 10000));

    auto request_blocked = [&] {
      const auto answer = browser->RaiseNewWindow2(window, VARIANT_FALSE);
      EXPECT_TRUE(answer);
      return answer && answer->cancel == VARIANT_TRUE;
    };
    EXPECT_TRUE(request_blocked());
    // Without the hot key the button still lets the next pop-up through.
    ASSERT_TRUE(ClickNow(FindChildWithText(main, L"Button", L"Allow Next Popup")));
    EXPECT_FALSE(request_blocked());
    EXPECT_TRUE(request_blocked());

    // Explorer restarts: every top-level window hears of its new taskbar.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &ignored);
    EXPECT_TRUE(Responds(main));
    EXPECT_TRUE(request_blocked());
    EXPECT_EQ(browser->Query(Query::kConnections, window), 1);

    ASSERT_TRUE(browser->CloseWindow(window));
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD exit_code = 1;
    ASSERT_TRUE(program.WaitForExit(20000, &exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  // The program never took Win+Z away from its owner.
  EXPECT_TRUE(UnregisterHotKey(nullptr, 1));
}

}  // namespace
}  // namespace quellix::testing
