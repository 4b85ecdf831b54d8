// How the probes that drive the real program through the scripted browser
// side begin: the scripted side registered in the prefix, the program started
// with its main window shown, and one scripted page that the program follows.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tests/e2e/program_driver.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace quellix::footprint {

struct ScriptedStart {
  std::optional<testing::scripted_com::ScriptedComServer> server;
  std::optional<testing::RunningProgram> program;
  HWND main = nullptr;
  std::optional<testing::scripted_com::ScriptedComBrowser> browser;
  int window = -1;  // the scripted page's window
};

// Fills `start` step by step (COM is initialised on this thread already);
// what went wrong, or nullptr when all of it happened. The paths may be Unix
// paths as typed under Wine.
const char* StartWithScriptedPage(ScriptedStart& start, const wchar_t* program_exe, const wchar_t* scripted_dll,
                                  const wchar_t* page_url);

// Prints "<probe>: <what>" at once and returns the probes' failing exit code.
int Fail(const char* probe, const char* what);

}  // namespace quellix::footprint
