// The program-wide state that the popup decision, the prompt, the lists and
// the main window share. One instance lives as long as the program.
#pragma once

#include <cstdint>
#include <string>

#include "core/site_list_text.h"

namespace quellix {

struct ProgramState {
  std::string strStatusText;      // last status text of any tracked browser window
  bool boolAllowNext = false;     // the allow-next flag: let the next request through
  std::int32_t intStopped = 0;    // requests cancelled to date
  SiteListText strAllowed;        // allowed list text: every entry followed by CR LF
  SiteListText strDisallowed;     // disallowed list text, same form
  // The organisation's sites (Group Policy), same form; never shown in the
  // list boxes nor saved with the user's lists.
  SiteListText strPolicyBlocked;
  SiteListText strPolicyAllowed;
  std::string strCurrentSite;     // the site the setup-mode prompt asks about
  bool boolAnswered = false;      // the prompt has been answered (or closed)
  bool boolAllowSite = false;     // the prompt's answer lets the request through
  bool boolOnTop = false;         // the main window is always on top
};

}  // namespace quellix
