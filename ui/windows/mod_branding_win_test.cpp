// The product identity from the real version resource, under Wine.
#include "ui/windows/mod_branding.h"

#include <gtest/gtest.h>

namespace quellix {
namespace {

TEST(BrandingWin, LoadBrandingReadsTheRealVersionResource) {
  modBranding branding;
  branding.LoadBranding();
  EXPECT_EQ(branding.strProgramName, "Quellix Pop-Up Blocker");
  EXPECT_EQ(branding.strCompany, "Orlavent");
  EXPECT_FALSE(branding.strWebsite.empty());
  EXPECT_EQ(branding.strWebsite.find('/'), std::string::npos);
}

}  // namespace
}  // namespace quellix
