// The product identity of the portable build, from the build's own record.
#include "ui/windows/mod_branding.h"

#include <gtest/gtest.h>

namespace quellix {
namespace {

TEST(Branding, LoadBrandingReadsTheIdentityAndKeepsTheShutdownFlag) {
  modBranding branding;
  branding.boolSkin = true;
  branding.strBannerURL = "x";
  branding.boolEndPending = true;
  branding.LoadBranding();
  EXPECT_EQ(branding.strProgramName, "Quellix Pop-Up Blocker");
  EXPECT_EQ(branding.strCompany, "Orlavent");
  EXPECT_EQ(branding.strWebsite.find("http"), std::string::npos);
  EXPECT_EQ(branding.strWebsite.find('/'), std::string::npos);
  EXPECT_FALSE(branding.boolSkin);
  EXPECT_FALSE(branding.boolBanner);
  EXPECT_EQ(branding.strBannerURL, "");
  EXPECT_TRUE(branding.boolEndPending);
}

}  // namespace
}  // namespace quellix
