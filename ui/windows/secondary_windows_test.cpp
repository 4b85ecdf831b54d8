// The help, About and built-in browser windows through the set that opens
// each of them once, on the headless backend.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "adapters/list_files_on_disk.h"
#include "core/testing/memory_list_box.h"
#include "ui/skin/testing/recording_skin_support.h"
#include "platform/headless_windows.h"
#include "platform/message_pump.h"
#include "platform/registry_portable.h"
#include "platform/settings_store.h"
#include "tests/scripted_page_engine/scripted_page_engine.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/windows/secondary_window_set.h"
#include "ui/windows/testing/open_windows.h"

namespace quellix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kApp = "Quellix Pop-Up Blocker";

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::headless::ResetSystem();
    pages.Install();
    fs::create_directories(folder);
    branding.LoadBranding();
    windows.AttachMainWindow([] { return platform::WindowHandle{0}; }, lists);
  }
  void TearDown() override {
    fs::remove_all(folder);
    while (platform::WaitForMessage()) {
    }
  }
  void WriteHelpFile() const { std::ofstream(folder / "Help.rtf") << "{\\rtf1\\ansi Help text\\par}"; }
  std::string ShowHelpSetting() { return settings.GetSetting(kApp, "Settings", "showHelp", "<absent>"); }

  static fs::path Folder() {
    return fs::temp_directory_path() / ("quellix-windows-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  fs::path folder = Folder();
  testing::ScriptedPageEngine pages;
  std::unique_ptr<ui::Toolkit> toolkit = ui::CreateToolkit();
  ProgramState state;
  MemoryListBox List1;
  MemoryListBox List2;
  ListFilesOnDisk list_files;
  Module1 lists{list_files, folder.string(), "clicks.quellix.example", state, List1, List2};
  modBranding branding;
  testing::SkinSupportRecord support;
  modSkin skin{testing::RecordingSupportMaker(support)};
  platform::PortableRegistry registry;
  platform::RegistrySettingsStore settings{registry};
  int ends = 0;
  bool support_started_at_end = false;
  std::function<platform::VersionInfo()> version;
  SecondaryWindowSet windows{{*toolkit, settings, kApp, branding, state, skin, folder.string(),
                              [this] {
                                ++ends;
                                support_started_at_end = support.started;
                              },
                              [this] { return version ? version() : platform::ReadOwnVersionInfo(); }}};
};

TEST_F(Windows, HelpShowsTheHelpFileAboveAllWindowsWithTheStoredOption) {
  WriteHelpFile();
  ASSERT_TRUE(settings.SaveSetting(kApp, "Settings", "showHelp", "0"));
  const platform::WindowHandle shown = windows.ShowHelp();
  Form8* help = testing::OpenWindows::Help(windows);
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(shown, help->hWnd());
  EXPECT_EQ(help->Caption(), "Readme/Help");
  EXPECT_EQ(help->rtf1.FileName(), folder.string() + "\\Help.rtf");
  EXPECT_TRUE(platform::IsTopmost(shown));
  EXPECT_TRUE(ui::headless::ShownOnScreen(*help));
  EXPECT_EQ(help->Check1.Caption(), "Show at Startup");
  EXPECT_EQ(help->Check1.Value(), 0);
}

TEST_F(Windows, ShowAtStartupWritesZeroAndOneAtOnce) {
  WriteHelpFile();
  windows.ShowHelp();
  Form8& help = *testing::OpenWindows::Help(windows);
  EXPECT_EQ(help.Check1.Value(), 1);
  EXPECT_EQ(ShowHelpSetting(), "<absent>");  // loading with the default changes nothing
  help.Check1.UserClick();
  EXPECT_EQ(ShowHelpSetting(), "0");
  help.Check1.UserClick();
  EXPECT_EQ(ShowHelpSetting(), "1");
}

TEST_F(Windows, AShowHelpValueThatIsNoNumberLeavesTheBoxTicked) {
  WriteHelpFile();
  for (const char* stored : {"yes", "", "1x", "7"}) {
    ASSERT_TRUE(settings.SaveSetting(kApp, "Settings", "showHelp", stored));
    windows.ShowHelp();
    EXPECT_EQ(testing::OpenWindows::Help(windows)->Check1.Value(), 1) << stored;
    EXPECT_EQ(ShowHelpSetting(), stored);
    testing::OpenWindows::Help(windows)->Close();
  }
}

TEST_F(Windows, WithoutTheHelpFileTheWindowShowsItsPlaceholderAndIsNotPutOnTop) {
  const platform::WindowHandle shown = windows.ShowHelp();
  Form8& help = *testing::OpenWindows::Help(windows);
  EXPECT_TRUE(help.rtf1.FileName().empty());
  EXPECT_EQ(help.rtf1.InitialText(), Form8::kNoHelpText);
  EXPECT_TRUE(ui::headless::ShownOnScreen(help));
  EXPECT_FALSE(platform::IsTopmost(shown));
  EXPECT_EQ(help.Check1.Value(), 1);
  EXPECT_EQ(ShowHelpSetting(), "<absent>");
}

TEST_F(Windows, AHelpFileThatIsNoRichTextLeavesThePlaceholder) {
  std::ofstream(folder / "Help.rtf") << "plain words";
  windows.ShowHelp();
  EXPECT_TRUE(testing::OpenWindows::Help(windows)->rtf1.FileName().empty());
  EXPECT_TRUE(platform::IsTopmost(testing::OpenWindows::Help(windows)->hWnd()));
}

TEST_F(Windows, EachWindowOpensOnceAndAfreshAfterItWasClosed) {
  WriteHelpFile();
  const platform::WindowHandle help = windows.ShowHelp();
  EXPECT_EQ(windows.ShowHelp(), help);
  const platform::WindowHandle about = windows.ShowAbout();
  EXPECT_EQ(windows.ShowAbout(), about);
  windows.ShowWebsite();
  frmWebsite* website = testing::OpenWindows::Website(windows);
  windows.ShowWebsite();
  EXPECT_EQ(testing::OpenWindows::Website(windows), website);

  testing::OpenWindows::Help(windows)->SystemRequestedClose();
  testing::OpenWindows::About(windows)->SystemRequestedClose();
  EXPECT_EQ(testing::OpenWindows::Help(windows), nullptr);
  EXPECT_EQ(testing::OpenWindows::About(windows), nullptr);
  EXPECT_NE(windows.ShowHelp(), help);
  EXPECT_NE(windows.ShowAbout(), about);
}

TEST_F(Windows, OrganisationSettingsListWhatIsSetAndFollowTheChangesWhileOpen) {
  platform::GroupPolicy policy;
  policy.fixed[static_cast<std::size_t>(platform::PolicySwitch::kPopupBlocking)] = true;
  policy.fixed[static_cast<std::size_t>(platform::PolicySwitch::kRunAtStartup)] = false;
  policy.allow_next_off = true;
  policy.blocked_sites = {"ads.example", "tracker.example"};
  ASSERT_NE(windows.ShowOrganisationSettings(policy), 0u);
  frmPolicy* window = testing::OpenWindows::OrganisationSettings(windows);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->Caption(), "Organisation settings");
  auto items = [](const ui::ListBoxControl& list) {
    std::vector<std::string> shown;
    shown.reserve(static_cast<std::size_t>(list.ListCount()));
    for (int i = 0; i < list.ListCount(); ++i) shown.push_back(list.List(i));
    return shown;
  };
  EXPECT_EQ(items(window->lstFixed), (std::vector<std::string>{"Popup Blocking: on", "Automation (run at startup): off",
                                                               "Allow Next Popup: unavailable"}));
  EXPECT_EQ(items(window->lstAllowed), std::vector<std::string>{"(none)"});
  EXPECT_EQ(items(window->lstBlocked), policy.blocked_sites);

  policy.blocked_sites.pop_back();
  policy.allowed_sites = {"portal.example"};
  windows.OrganisationSettingsChanged(policy);
  EXPECT_EQ(items(window->lstBlocked), std::vector<std::string>{"ads.example"});
  EXPECT_EQ(items(window->lstAllowed), std::vector<std::string>{"portal.example"});

  window->cmdClose.Click();
  EXPECT_EQ(testing::OpenWindows::OrganisationSettings(windows), nullptr);
  windows.OrganisationSettingsChanged(platform::GroupPolicy{});  // nothing open: nothing to do
  windows.ShowOrganisationSettings(platform::GroupPolicy{});
  ASSERT_NE(testing::OpenWindows::OrganisationSettings(windows), nullptr);
  EXPECT_EQ(items(testing::OpenWindows::OrganisationSettings(windows)->lstFixed), std::vector<std::string>{"(none)"});
}

TEST_F(Windows, AboutShowsNameVersionPublisherAndWebsite) {
  windows.ShowAbout();
  frmAbout& about = *testing::OpenWindows::About(windows);
  EXPECT_EQ(about.Caption(), "About Quellix Pop-Up Blocker");
  EXPECT_EQ(about.Label1.Caption(), "Quellix Pop-Up Blocker");
  EXPECT_EQ(about.lblVersion.Caption(), "1.0");
  EXPECT_EQ(about.lblCompany.Caption(), "Orlavent");
  EXPECT_EQ(about.lblWebsite.Caption(), "www.quellix.example");
  EXPECT_EQ(about.Label2.Caption(), "Version:");
  EXPECT_EQ(about.Label4.Caption(), "Website:");
  EXPECT_FALSE(about.Label5.Caption().empty());
  EXPECT_TRUE(ui::headless::ShownOnScreen(about));
}

TEST_F(Windows, AboutShowsMajorAndMinorOnlyAsPlainNumbers) {
  version = [] { return platform::VersionInfo{"Quellix Pop-Up Blocker", "Orlavent", "www.quellix.example", 1, 12}; };
  windows.ShowAbout();
  EXPECT_EQ(testing::OpenWindows::About(windows)->lblVersion.Caption(), "1.12");
  EXPECT_EQ(frmAbout::VersionText({"", "", "", 10, 0}), "10.0");
}

TEST_F(Windows, ClickingTheWebsiteTwiceOpensOneBrowserOnTheWebsite) {
  windows.ShowAbout();
  testing::OpenWindows::About(windows)->lblWebsite.Click();
  frmWebsite* website = testing::OpenWindows::Website(windows);
  ASSERT_NE(website, nullptr);
  platform::ProcessPendingMessagesOnce();
  testing::OpenWindows::About(windows)->lblWebsite.Click();
  EXPECT_EQ(testing::OpenWindows::Website(windows), website);
  EXPECT_EQ(website->Text1.Text(), "http://www.quellix.example/");
}

TEST_F(Windows, AboutWithTheSkinOnCopiesEveryLabelAndTakesTheSkin) {
  SkinObject skn;
  skin.objSkin = &skn;
  branding.boolSkin = true;
  windows.ShowAbout();
  frmAbout& about = *testing::OpenWindows::About(windows);
  int copies = 0;
  for (const auto& control : about.Controls()) {
    if (control->Kind() == ui::ControlKind::kSkinLabel && static_cast<ui::SkinLabel&>(*control).Index() > 0) {
      ++copies;
    }
  }
  EXPECT_EQ(copies, 8);
  EXPECT_EQ(about.BackColor(), skn.BackColor);
}

TEST_F(Windows, BrowserOpensTheWebsiteMaximisedAndShowsWhereItIs) {
  pages.SetPageTitle("http://www.quellix.example/", "Quellix home");
  windows.ShowWebsite();
  frmWebsite& website = *testing::OpenWindows::Website(windows);
  EXPECT_EQ(website.Caption(), "www.quellix.example");
  EXPECT_EQ(website.StatusBar1.PanelCount(), 2);
  EXPECT_EQ(website.StatusBar1.PanelText(2), "Opening ");
  EXPECT_EQ(website.GetWindowState(), ui::WindowState::kMaximized);
  EXPECT_TRUE(ui::headless::ShownOnScreen(website));
  EXPECT_FALSE(platform::IsTopmost(website.hWnd()));
  EXPECT_TRUE(windows.WebsiteVisible());

  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "http://www.quellix.example/");
  EXPECT_EQ(website.Caption(), "Quellix home");
  EXPECT_EQ(website.StatusBar1.PanelText(1), "Done");
  EXPECT_EQ(website.StatusBar1.PanelText(2), "Completed http://www.quellix.example/");
}

TEST_F(Windows, BrowserEnterOpensTheTypedAddressLikeTheGoButton) {
  windows.ShowWebsite();
  frmWebsite& website = *testing::OpenWindows::Website(windows);
  platform::ProcessPendingMessagesOnce();
  website.Text1.UserEdited("help.quellix.example");
  EXPECT_EQ(website.Text1.UserKeyPress('a'), 'a');
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "help.quellix.example");  // a letter opens nothing
  EXPECT_EQ(website.Text1.UserKeyPress(13), 13);
  EXPECT_EQ(website.StatusBar1.PanelText(2), "Opening http://www.quellix.example/");
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "http://help.quellix.example/");

  website.Text1.UserEdited("about:blank");
  website.Command3.Click();
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "about:blank");
}

TEST_F(Windows, BrowserNavigationIgnoresWhatCannotBeDoneAndStopCompletes) {
  windows.ShowWebsite();
  frmWebsite& website = *testing::OpenWindows::Website(windows);
  website.Command4.Click();  // nothing to go back to yet
  website.Command5.Click();
  website.Command6.Click();  // stops the first page
  EXPECT_EQ(website.StatusBar1.PanelText(2), "Completed ");
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "");

  website.Text1.UserEdited("one.example");
  website.Command3.Click();
  platform::ProcessPendingMessagesOnce();
  website.Text1.UserEdited("two.example");
  website.Command3.Click();
  platform::ProcessPendingMessagesOnce();
  website.Command4.Click();
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "http://one.example/");
  website.Command5.Click();
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Text1.Text(), "http://two.example/");
  website.Command7.Click();
  EXPECT_EQ(website.StatusBar1.PanelText(2), "Opening http://two.example/");
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.StatusBar1.PanelText(2), "Completed http://two.example/");
}

TEST_F(Windows, LayoutKeepsEverySizeNonNegativeOnAWindowNarrowerThanItsMargins) {
  windows.ShowWebsite();
  frmWebsite& website = *testing::OpenWindows::Website(windows);
  ui::headless::UserResized(website, 200, 1000);
  EXPECT_EQ(website.frmBrowser.Rect().Width, 100);
  EXPECT_EQ(website.frmBrowser.Rect().Height, 625);
  EXPECT_EQ(website.Text1.Rect().Width, 1535);
  EXPECT_EQ(website.Command3.Rect().Left, 2175);
  EXPECT_EQ(website.WebBrowser1.Rect().Width, 120);
  EXPECT_EQ(website.WebBrowser1.Rect().Height, 1690);
  EXPECT_EQ(website.StatusBar1.PanelWidth(1), 100);
  EXPECT_EQ(website.StatusBar1.PanelWidth(2), 100);

  ui::headless::UserResized(website, 12000, 9000);
  EXPECT_EQ(website.frmBrowser.Rect().Width, 11700);
  EXPECT_EQ(website.frmBrowser.Rect().Height, 8625);
  EXPECT_EQ(website.Text1.Rect().Width, 11700 - 540 - 300 - 795);
  EXPECT_EQ(website.Command3.Rect().Left, 11700 - 300 - 795 + 100);
  EXPECT_EQ(website.WebBrowser1.Rect().Width, 11700 - 120 - 100);
  EXPECT_EQ(website.WebBrowser1.Rect().Height, 8625 - 1140 - 800 - 375);
}

TEST_F(Windows, ClosingTheBrowserEndsTheProgramOnlyWhenTheEndIsPending) {
  windows.ShowWebsite();
  testing::OpenWindows::Website(windows)->SystemRequestedClose();
  EXPECT_EQ(ends, 0);
  EXPECT_FALSE(windows.WebsiteVisible());
  EXPECT_EQ(testing::OpenWindows::Website(windows), nullptr);

  windows.ShowWebsite();
  branding.boolEndPending = true;
  testing::OpenWindows::Website(windows)->SystemRequestedClose();
  EXPECT_EQ(ends, 1);
}

TEST_F(Windows, ThePendingEndStopsTheSkinSupportFirstWhenTheSkinIsOn) {
  windows.ShowWebsite();
  SkinObject skn;
  skin.SupportObject().SetSkin(&skn);
  ASSERT_TRUE(skin.SupportObject().Start());
  branding.boolEndPending = true;
  branding.boolSkin = true;  // the browser's load step read the identity already
  testing::OpenWindows::Website(windows)->SystemRequestedClose();
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(support_started_at_end);
}

TEST_F(Windows, BrowserWithoutAPageEngineStillWorksAsAWindow) {
  ui::headless::SetPageEngine(nullptr);
  windows.ShowWebsite();
  frmWebsite& website = *testing::OpenWindows::Website(windows);
  website.Text1.UserEdited("x.example");
  website.Text1.UserKeyPress(13);
  website.Command4.Click();
  website.Command6.Click();
  website.Command7.Click();
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(website.Caption(), "www.quellix.example");
  EXPECT_TRUE(windows.WebsiteVisible());
  branding.boolEndPending = true;
  website.SystemRequestedClose();
  EXPECT_EQ(ends, 1);
}

}  // namespace
}  // namespace quellix
