#include "tools/footprint/scripted_start.h"

#include <cstdio>

namespace quellix::footprint {
namespace {

// Wine hands a Unix path on as it was typed; the program needs a Windows one.
std::wstring WindowsPathOf(std::wstring path) {
  if (!path.empty() && path.front() == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

}  // namespace

const char* StartWithScriptedPage(ScriptedStart& start, const wchar_t* program_exe, const wchar_t* scripted_dll,
                                  const wchar_t* page_url) {
  using testing::scripted_com::Query;
  start.server.emplace(WindowsPathOf(scripted_dll));
  if (!start.server->Registered()) return "the scripted browser side could not be registered";
  start.program.emplace(WindowsPathOf(program_exe));
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
