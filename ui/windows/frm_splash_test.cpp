#include "ui/windows/frm_splash.h"

#include <gtest/gtest.h>

#include "ui/controls/headless/headless_ui.h"
#include "ui/skin/testing/recording_skin_support.h"

namespace quellix {
namespace {

TEST(Splash, LoadFillsTheIdentityAndStartsTheTimerLast) {
  auto toolkit = ui::CreateToolkit();
  modBranding branding;
  branding.boolEndPending = true;
  ui::FormPtr<frmSplash> owned = ui::MakeForm<frmSplash>(*toolkit, branding, [] {});
  frmSplash& splash = *owned;
  EXPECT_FALSE(splash.Timer2.Enabled());
  splash.Form_Load();
  splash.Show();
  EXPECT_FALSE(branding.boolEndPending);
  EXPECT_EQ(branding.strProgramName, "Quellix Pop-Up Blocker");
  EXPECT_TRUE(splash.Timer2.Enabled());
  EXPECT_EQ(splash.Timer2.Interval(), 2);
  EXPECT_TRUE(ui::headless::ShownOnScreen(splash));
}

TEST(Splash, The75thTickOpensTheMainWindowOnceAndHidesTheSplash) {
  auto toolkit = ui::CreateToolkit();
  modBranding branding;
  int opened = 0;
  std::string title_when_opened;
  ui::FormPtr<frmSplash> owned = ui::MakeForm<frmSplash>(*toolkit, branding, [&] {
    ++opened;
    title_when_opened = branding.strProgramName + " by " + branding.strCompany;
  });
  frmSplash& splash = *owned;
  splash.Form_Load();
  splash.Show();
  for (int tick = 1; tick < 75; ++tick) splash.Timer2.Tick();
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(splash.intTemp, 148);
  splash.Timer2.Tick();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(title_when_opened, "Quellix Pop-Up Blocker by Orlavent");
  EXPECT_FALSE(splash.Timer2.Enabled());
  EXPECT_FALSE(splash.Visible());
  EXPECT_FALSE(splash.Closed());  // hidden, not unloaded
  for (int tick = 0; tick < 200; ++tick) splash.Timer2.Tick();  // late ticks of a stopped timer
  EXPECT_EQ(opened, 1);
}

TEST(Splash, WithTheSkinSwitchOffTheSharedSkinAndItsSupportAreLeftAlone) {
  auto toolkit = ui::CreateToolkit();
  modBranding branding;
  branding.boolSkin = true;  // the identity read at load switches it off again
  testing::SkinSupportRecord support;
  modSkin skin(testing::RecordingSupportMaker(support));
  ui::FormPtr<frmSplash> owned = ui::MakeForm<frmSplash>(*toolkit, branding, [] {}, &skin);
  frmSplash& splash = *owned;
  splash.Form_Load();
  EXPECT_FALSE(branding.boolSkin);
  EXPECT_EQ(skin.objSkin, nullptr);
  EXPECT_EQ(support.made, 0);
  EXPECT_FALSE(splash.BackColor());
  EXPECT_TRUE(splash.Timer2.Enabled());
}

}  // namespace
}  // namespace quellix
