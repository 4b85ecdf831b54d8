#include "tools/footprint/scripted_start.h"

#include <cstdio>

namespace quellix::footprint {

const char* StartWithScriptedPage(ScriptedStart& start, const wchar_t* program_exe, const wchar_t* scripted_dll,
                                  const wchar_t* page_url) {
  using testing::scripted_com::Query;
  using testing::scripted_com::WindowsPath;
  start.server.emplace(WindowsPath(std::wstring(scripted_dll)));
  if (!start.server->Registered()) return "the scripted browser side could not be registered";
  start.program.emplace(WindowsPath(std::wstring(program_exe)));
  if (!start.program->Started()) return "the program did not start";
  start.main = start.program->WaitForWindow(L"Quellix.Form1", 30000);
  if (start.main == nullptr) return "no main window";
  start.browser = testing::scripted_com::ScriptedComBrowser::Find(start.program->ProcessId(), 30000);
  if (!start.browser) return "the program asked for no browser windows";
  start.window = start.browser->OpenWindow(page_url);
  auto& browser = *start.browser;
  const int window = start.window;
  if (window < 0 || !testing::WaitUntil([&] { return browser.Query(Query::kConnections, window) == 1; }, 10000)) {
    return "the program did not follow the scripted window";
  }
  return nullptr;
}

int Fail(const char* probe, const char* what) {
  std::printf("%s: %s\n", probe, what);
  std::fflush(stdout);
  return 1;
}

}  // namespace quellix::footprint
