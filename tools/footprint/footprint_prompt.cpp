// Holds the real program's setup-mode prompt open for the footprint script:
// registers the scripted browser side, starts the program, lets a scripted
// page of a site on neither list ask for a window and prints "prompt waiting"
// once the question shows. After the given seconds it answers "Block Now",
// closes the program and exits (0 when all of that happened).
//   footprint_prompt <program exe> <scripted_com_browser.dll> <seconds>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <thread>

#include "tests/e2e/program_driver.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace {

using quellix::testing::RunningProgram;
using quellix::testing::scripted_com::ScriptedComBrowser;
using quellix::testing::scripted_com::ScriptedComServer;

// Wine hands a Unix path on as it was typed; the program needs a Windows one.
std::wstring WindowsPathOf(std::wstring path) {
  if (!path.empty() && path.front() == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

int Fail(const char* what) {
  std::printf("footprint_prompt: %s\n", what);
  std::fflush(stdout);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return Fail("usage: footprint_prompt <program exe> <scripted_com_browser.dll> <seconds>");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ScriptedComServer server(WindowsPathOf(argv[2]));
  if (!server.Registered()) return Fail("the scripted browser side could not be registered");
  RunningProgram program(WindowsPathOf(argv[1]));
  if (!program.Started()) return Fail("the program did not start");
  HWND main = program.WaitForWindow(L"Quellix.Form1", 30000);
  if (main == nullptr) return Fail("no main window");
  std::optional<ScriptedComBrowser> browser = ScriptedComBrowser::Find(program.ProcessId(), 30000);
  if (!browser) return Fail("the program asked for no browser windows");
  const int window = browser->OpenWindow(L"http://ads.neither.example/offer.html");
  if (window < 0 || !quellix::testing::WaitUntil(
                        [&] { return browser->Query(quellix::testing::scripted_com::Query::kConnections, window) == 1; },
                        10000)) {
    return Fail("the program did not follow the scripted window");
  }

  // The page's request waits for the answer, as the browser would.
  std::thread page([&] { browser->RaiseNewWindow2(window, VARIANT_FALSE); });
  HWND prompt = program.WaitForWindow(L"Quellix.Form3", 10000);
  if (prompt == nullptr) {
    page.detach();
    return Fail("no prompt");
  }
  std::printf("prompt waiting\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) * 1000);

  quellix::testing::PressButton(quellix::testing::FindChildWithText(prompt, L"Button", L"Block Now"));
  page.join();
  PostMessageW(main, WM_CLOSE, 0, 0);
  if (!program.WaitForExit(20000)) return Fail("the program did not end");
  CoUninitialize();
  return 0;
}
