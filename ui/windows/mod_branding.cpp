#include "ui/windows/mod_branding.h"

#include "platform/version_info.h"

namespace quellix {

void modBranding::LoadBranding() {
  const platform::VersionInfo version = platform::ReadOwnVersionInfo();
  strProgramName = version.ProductName;
  strCompany = version.CompanyName;
  strWebsite = version.Comments;
  boolSkin = false;
  boolBanner = false;
  strBannerURL.clear();
}

}  // namespace quellix
