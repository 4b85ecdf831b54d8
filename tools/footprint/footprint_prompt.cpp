// Holds the real program's setup-mode prompt open for the footprint script:
// registers the scripted browser side, starts the program, lets a scripted
// page of a site on neither list ask for a window and prints "prompt waiting"
// once the question shows. After the given seconds it answers "Block Now",
// closes the program and exits (0 when all of that happened).
//   footprint_prompt <program exe> <scripted_com_browser.dll> <seconds>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <thread>

#include "tests/e2e/program_driver.h"
#include "tools/footprint/scripted_start.h"

namespace {

using quellix::footprint::Fail;

constexpr const char* kProbe = "footprint_prompt";

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return Fail(kProbe, "usage: footprint_prompt <program exe> <scripted_com_browser.dll> <seconds>");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  quellix::footprint::ScriptedStart start;
  if (const char* problem =
          quellix::footprint::StartWithScriptedPage(start, argv[1], argv[2], L"http://ads.neither.example/offer.html")) {
    return Fail(kProbe, problem);
  }
  auto& browser = start.browser;
  auto& program = *start.program;
  const int window = start.window;

  // The page's request waits for the answer, as the browser would.
  std::thread page([&] { browser->RaiseNewWindow2(window, VARIANT_FALSE); });
  HWND prompt = program.WaitForWindow(L"Quellix.Form3", 10000);
  if (prompt == nullptr) {
    page.detach();
    return Fail(kProbe, "no prompt");
  }
  std::printf("prompt waiting\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) * 1000);

  quellix::testing::PressButton(quellix::testing::FindChildWithText(prompt, L"Button", L"Block Now"));
  page.join();
  PostMessageW(start.main, WM_CLOSE, 0, 0);
  if (!program.WaitForExit(20000)) return Fail(kProbe, "the program did not end");
  CoUninitialize();
  return 0;
}
