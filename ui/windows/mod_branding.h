// modBranding: the product's identity, read from the program's own version
// information, with the skin and banner switches and the shutdown flag.
#pragma once

#include <string>

namespace quellix {

struct modBranding {
  std::string strProgramName;  // ProductName
  std::string strCompany;      // CompanyName
  std::string strWebsite;      // Comments: the website as a bare host name
  bool boolSkin = false;       // skin every window as it loads
  bool boolBanner = false;     // show the web banner in the main window
  std::string strBannerURL;    // the banner's address
  bool boolEndPending = false; // end the program when the built-in browser closes

  // Reads the three fields afresh and resets the switches; never touches
  // boolEndPending.
  void LoadBranding();
};

}  // namespace quellix
