// The program's entry point. The main window is not built yet: this start
// reads the identity, makes sure both list files exist, loads them, and says
// so in a message box.
#include <windows.h>

#include <string>

#include "core/list_box.h"
#include "core/program_state.h"
#include "core/site_list_store.h"
#include "platform/program_folder.h"
#include "platform/win/wide_string.h"
#include "product_identity.h"
#include "ui/windows/mod_branding.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  quellix::modBranding branding;
  branding.LoadBranding();

  quellix::ProgramState state;
  quellix::MemoryListBox allowed_box;
  quellix::MemoryListBox disallowed_box;
  quellix::Module1 lists(quellix::platform::ProgramFolder(), quellix::build::kDefaultAllowedHost, state,
                         allowed_box, disallowed_box);
  std::string report;
  for (auto result : {lists.EnsureListFiles(), lists.LoadAllowed(), lists.LoadDisallowed()}) {
    if (!result.ok) report += result.message + "\n";
  }
  report += std::to_string(allowed_box.ListCount()) + " allowed and " + std::to_string(disallowed_box.ListCount()) +
            " disallowed sites loaded from " + quellix::platform::ProgramFolder() +
            ".\n\nThe main window is not built yet; this build holds the pop-up decision core.";
  const std::string title = branding.strProgramName + " by " + branding.strCompany;
  MessageBoxW(nullptr, quellix::win::Wide(report).c_str(), quellix::win::Wide(title).c_str(), MB_OK | MB_ICONINFORMATION);
  return 0;
}
