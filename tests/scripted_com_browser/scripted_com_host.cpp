// A stand-in for the program, for tests that drive the scripted browser side
// from another process: it creates the window tracker over the COM browser
// side as the program does (CoCreateInstance of CLSID_ShellWindows), with
// blocking and the link exception on, and the allowed list holding the host
// names given as arguments. It serves messages until it receives WM_QUIT.
//
// Exit code: the number of blocked requests, or 255 when the end of the
// tracker left a scripted object connected or referenced.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "core/ie_windows.h"
#include "core/program_state.h"
#include "adapters/win/browser_com.h"
#include "tests/scripted_com_browser/pumping_popup_host.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

int main(int argc, char** argv) {
  namespace sc = quellix::testing::scripted_com;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 254;
  quellix::ProgramState state;
  std::string allowed;
  for (int i = 1; i < argc; ++i) allowed += std::string(argv[i]) + "\r\n";
  state.strAllowed.Assign(allowed);
  quellix::testing::PumpingPopupHost host;
  quellix::win::ComShellWindowsFactory shell;

  bool clean = false;
  {
    auto tracker = quellix::cIEWindows::Create(shell, state, host);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    tracker.reset();
    if (const auto control = sc::ScriptedComBrowser::Find(GetCurrentProcessId())) {
      clean = control->Query(sc::Query::kLiveShells) == 0 && control->Query(sc::Query::kOverReleases) == 0 &&
              control->Query(sc::Query::kLiveWindows) == control->Query(sc::Query::kOpenWindows) &&
              control->Query(sc::Query::kHeldReferences) == 0 &&
              control->Query(sc::Query::kStrayUnadvises) == 0;
    }
  }
  CoUninitialize();
  return clean ? state.intStopped : 255;
}
