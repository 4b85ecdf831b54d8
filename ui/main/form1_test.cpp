// The main window through the headless backend: start-up, the switches, the
// list panel, the menus, the tray icon, the hot key and shutdown.
#include "ui/main/form1.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "platform/headless_windows.h"
#include "platform/message_pump.h"
#include "platform/registry_portable.h"
#include "platform/settings_store.h"
#include "tests/scripted_browser/scripted_browser.h"
#include "tests/scripted_page_engine/scripted_page_engine.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/main/form1_commands.h"
#include "ui/main/mod_hook.h"
#include "ui/main/module2.h"
#include "ui/skin/testing/recording_skin_support.h"

namespace quellix {
namespace {

namespace fs = std::filesystem;
using ui::headless::ShownOnScreen;

const char kApp[] = "Quellix Pop-Up Blocker";

// The later windows, as far as the main window sees them: each opening is
// counted and gets a window handle of its own.
class RecordingWindows : public SecondaryWindows {
 public:
  ~RecordingWindows() override {
    for (auto handle : handles_) platform::headless::DestroyWindowHandle(handle);
  }
  platform::WindowHandle ShowHelp() override { return Open(help_shown, help_window); }
  platform::WindowHandle ShowAbout() override { return Open(about_shown, about_window); }
  void ShowWebsite() override { ++website_shown; }
  bool WebsiteVisible() const override { return website_visible; }
  bool ShowSetupPrompt() override { return false; }
  platform::WindowHandle ShowOrganisationSettings(const platform::GroupPolicy& policy) override {
    policy_shown.push_back(policy);
    return 0;
  }
  void OrganisationSettingsChanged(const platform::GroupPolicy& policy) override { policy_changed.push_back(policy); }

  std::vector<platform::GroupPolicy> policy_shown;
  std::vector<platform::GroupPolicy> policy_changed;
  int help_shown = 0;
  int about_shown = 0;
  int website_shown = 0;
  bool website_visible = false;
  platform::WindowHandle help_window = 0;
  platform::WindowHandle about_window = 0;

 private:
  platform::WindowHandle Open(int& count, platform::WindowHandle& window) {
    ++count;
    if (window == 0) window = handles_.emplace_back(platform::headless::CreateWindowHandle());
    return window;
  }
  std::vector<platform::WindowHandle> handles_;
};

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::headless::ResetSystem();
    folder = fs::temp_directory_path() / ("quellix-form1-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    branding.LoadBranding();
  }
  void TearDown() override {
    form.reset();
    fs::remove_all(folder);
  }

  Form1Environment Environment() {
    return Form1Environment{*toolkit, *settings, *registry, branding, state, *shell, windows,
                            folder.string(), folder.string(), "clicks.quellix.example", [this] { ++ends; }, nullptr};
  }
  // Start-up as the splash window runs it: create, load, show.
  Form1& Start() {
    form = ui::MakeForm<Form1>(Environment());
    form->Form_Load();
    form->Show();
    return *form;
  }
  std::string Stored(const char* key) { return settings->GetSetting(kApp, "Settings", key, "<absent>"); }
  void Store(const char* key, const std::string& value) { settings->SaveSetting(kApp, "Settings", key, value); }
  std::string File(const char* name) const {
    std::ifstream in(folder / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void WriteFile(const char* name, const std::string& bytes) const {
    std::ofstream(folder / name, std::ios::binary) << bytes;
  }
  static std::vector<std::string> Items(const ui::ListBoxControl& box) {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(box.ListCount()));
    for (int i = 0; i < box.ListCount(); ++i) items.push_back(box.List(i));
    return items;
  }
  int MenusShown() const { return ui::headless::PopupMenusShown(*form); }

  fs::path folder;
  std::unique_ptr<ui::Toolkit> toolkit = ui::CreateToolkit();
  platform::PortableRegistry settings_registry;  // the user's settings, apart from the entries the tests inspect
  std::unique_ptr<platform::SettingsStore> settings =
      std::make_unique<platform::RegistrySettingsStore>(settings_registry);
  std::unique_ptr<platform::PortableRegistry> registry = std::make_unique<platform::PortableRegistry>();
  modBranding branding;
  ProgramState state;
  std::shared_ptr<testing::ScriptedShell> shell = std::make_shared<testing::ScriptedShell>();
  RecordingWindows windows;
  int ends = 0;
  testing::ScriptedPageEngine pages;  // for the tests that install it
  ui::FormPtr<Form1> form;
};

TEST_F(MainWindow, FirstRunStartsWithTheDefaultsAndCreatesTheListFiles) {
  Form1& f = Start();
  EXPECT_EQ(f.Check1.Value(), 1);  // blocking
  EXPECT_EQ(f.Check2.Value(), 1);  // setup mode
  EXPECT_EQ(f.Check5.Value(), 1);  // sound
  EXPECT_EQ(f.Check6.Value(), 0);  // links
  EXPECT_EQ(f.Check3.Value(), 0);  // on top
  EXPECT_EQ(f.Check4.Value(), 0);  // run at start
  EXPECT_EQ(f.Caption(), "Quellix Pop-Up Blocker by Orlavent");
  EXPECT_EQ(f.Command7.Caption(), "Visit www.quellix.example");
  EXPECT_EQ(f.StatusBar1.PanelCount(), 3);
  EXPECT_EQ(f.StatusBar1.PanelText(1), "0 Popups blocked to date");
  EXPECT_EQ(f.StatusBar1.PanelText(2), "");  // the restored switches' messages are lost
  EXPECT_EQ(f.StatusBar1.PanelWidth(1), f.OuterWidth() / 2);
  EXPECT_EQ(File("allowed.txt"), "clicks.quellix.example\r\n");
  EXPECT_EQ(File("disallowed.txt"), "\r\n");
  EXPECT_EQ(Items(f.List1), std::vector<std::string>{"clicks.quellix.example"});
  EXPECT_EQ(f.List2.ListCount(), 0);
  EXPECT_EQ(state.strAllowed.Text(), "clicks.quellix.example\r\n");
  EXPECT_EQ(windows.help_shown, 1);
  EXPECT_TRUE(ShownOnScreen(f));
  EXPECT_EQ(Stored("state"), "up");
  EXPECT_EQ(Stored("chkSound"), "1");  // restoring the sound switch saves it again
  EXPECT_EQ(Stored("chkStopPop"), "<absent>");
  EXPECT_EQ(shell->EventSubscribers(), 1);  // the tracker follows the window list
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_TRUE(ui::headless::TakeMessages().empty());

  const auto icons = ui::headless::NotifyIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].hWnd, f.hWnd());
  EXPECT_EQ(icons[0].uCallbackMessage, Module2::kTrayCallbackMessage);
  EXPECT_NE(icons[0].uCallbackMessage, ui::kWmMouseMove);
  EXPECT_EQ(icons[0].hIcon, f.IconHandle());
  const auto keys = ui::headless::HotKeys();
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].window, f.hWnd());
  EXPECT_EQ(keys[0].virtual_key, 'Z');
  EXPECT_TRUE(keys[0].modifiers & ui::kModWin);
}

TEST_F(MainWindow, AnyStoredStateButExactlyUpStartsInTheTray) {
  for (const char* stored : {"down", "Up", "up ", "hidden"}) {
    ui::headless::ResetSystem();
    Store("state", stored);
    // What reaches the window before start-up has read the settings runs
    // nothing: no handler writes the state, ends the program or shows it.
    form = ui::MakeForm<Form1>(Environment());
    form->SystemChangedWindowState(ui::WindowState::kMaximized);
    ui::headless::SendWindowMessage(form->hWnd(), ui::RegisteredMessage(kShowMainWindowMessage), 0, 0);
    form->SystemRequestedClose();
    form->SystemEndingSession();
    EXPECT_EQ(Stored("state"), stored);
    EXPECT_FALSE(form->Closed());
    EXPECT_EQ(ends, 0);
    form->Form_Load();
    form->Show();
    Form1& f = *form;
    EXPECT_FALSE(f.Visible()) << stored;
    EXPECT_FALSE(ShownOnScreen(f)) << stored;
    EXPECT_EQ(Stored("state"), "down") << stored;
    EXPECT_EQ(ui::headless::NotifyIcons().size(), 1u) << stored;
    form.reset();
  }
  Store("state", "");  // an empty text is no state: the default shows the window
  EXPECT_TRUE(ShownOnScreen(Start()));
}

TEST_F(MainWindow, HelpOpensAtStartOnlyForExactlyOne) {
  for (const char* stored : {"0", "", "yes", " 1"}) {
    Store("showHelp", stored);
    Start();
    EXPECT_EQ(windows.help_shown, 0) << stored;
    form.reset();
  }
  Store("showHelp", "1");
  Start();
  EXPECT_EQ(windows.help_shown, 1);
}

TEST_F(MainWindow, StoredOnTopMakesTheMainWindowAndTheHelpWindowTopmost) {
  Store("chkOnTop", "1");
  Form1& f = Start();
  EXPECT_EQ(f.Check3.Value(), 1);
  EXPECT_TRUE(state.boolOnTop);
  EXPECT_TRUE(platform::IsTopmost(f.hWnd()));
  ASSERT_NE(windows.help_window, 0u);
  EXPECT_TRUE(platform::IsTopmost(windows.help_window));
  EXPECT_EQ(f.StatusBar1.PanelText(2), "");

  f.Check3.UserClick();
  EXPECT_FALSE(platform::IsTopmost(f.hWnd()));
  EXPECT_FALSE(state.boolOnTop);
  EXPECT_EQ(f.StatusBar1.PanelText(2), "Always On Top Disabled");
}

TEST_F(MainWindow, DamagedStoredValuesGetTheirDefaults) {
  Store("chkStopPop", "yes");
  Store("chkAuto", "");
  Store("chkSound", "7");
  Store("chkLinks", "1x");
  Store("chkOnTop", " 1 ");  // blanks around a number are read as the number
  Store("intStopped", "-5");
  Form1& f = Start();
  EXPECT_EQ(f.Check1.Value(), 1);
  EXPECT_EQ(f.Check2.Value(), 1);
  EXPECT_EQ(f.Check5.Value(), 1);
  EXPECT_EQ(f.Check6.Value(), 0);
  EXPECT_EQ(f.Check3.Value(), 1);
  EXPECT_EQ(state.intStopped, 0);
  for (const char* count : {"abc", "2147483648", "", "12.5"}) {
    form.reset();
    Store("intStopped", count);
    EXPECT_EQ(Start().StatusBar1.PanelText(1), "0 Popups blocked to date") << count;
  }
  form.reset();
  Store("intStopped", "2147483647");
  EXPECT_EQ(Start().StatusBar1.PanelText(1), "2147483647 Popups blocked to date");
}

TEST_F(MainWindow, SoundAndOnTopAreSavedAtOnceAndShutdownWritesTheRest) {
  Form1& f = Start();
  f.Check5.UserClick();
  EXPECT_EQ(Stored("chkSound"), "0");
  EXPECT_EQ(f.StatusBar1.PanelText(2), "Sounds Disabled");
  f.Check3.UserClick();
  EXPECT_EQ(Stored("chkOnTop"), "1");
  f.Check1.UserClick();
  f.Check6.UserClick();
  EXPECT_EQ(Stored("chkStopPop"), "<absent>");  // saved at exit only
  EXPECT_EQ(Stored("chkLinks"), "<absent>");
  EXPECT_EQ(f.StatusBar1.PanelText(2), "Auto New Window Enabled");

  Store("chkSound", "sound switch value");  // shutdown must leave it alone
  state.intStopped = 17;
  f.Text2.SetText("ads.example");
  f.Command4.Click();
  f.Close();
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(Stored("chkSound"), "sound switch value");
  EXPECT_EQ(Stored("chkRunAtStart"), "0");
  EXPECT_EQ(Stored("chkOnTop"), "1");
  EXPECT_EQ(Stored("chkAuto"), "1");
  EXPECT_EQ(Stored("chkStopPop"), "0");
  EXPECT_EQ(Stored("chkLinks"), "1");
  EXPECT_EQ(Stored("intStopped"), "17");
  EXPECT_EQ(Stored("strAllowed"), "clicks.quellix.example\r\n");
  EXPECT_EQ(Stored("strDisallowed"), "ads.example\r\n");
  EXPECT_EQ(Stored("state"), "up");
  EXPECT_TRUE(ui::headless::NotifyIcons().empty());
  EXPECT_TRUE(ui::headless::HotKeys().empty());
  EXPECT_EQ(shell->EventSubscribers(), 0);  // the tracker is gone
}

TEST_F(MainWindow, ClosingWhileTheBuiltInBrowserShowsDefersTheEnd) {
  Form1& f = Start();
  windows.website_visible = true;
  f.Close();
  EXPECT_EQ(ends, 0);
  EXPECT_TRUE(branding.boolEndPending);
  EXPECT_FALSE(ShownOnScreen(f));
  EXPECT_EQ(Stored("chkStopPop"), "1");
  EXPECT_TRUE(ui::headless::NotifyIcons().empty());
}

TEST_F(MainWindow, BlockedPopupsCountWithoutChangingTheCountText) {
  Store("intStopped", "41");
  Store("chkAuto", "0");
  auto page = shell->AddWindowSilently("http://www.unlisted.example/page.html");
  auto allowed_page = shell->AddWindowSilently("https://CLICKS.quellix.example/x");
  Form1& f = Start();
  EXPECT_EQ(f.StatusBar1.PanelText(1), "41 Popups blocked to date");
  EXPECT_TRUE(page->RaiseNewWindow2(false));
  EXPECT_FALSE(allowed_page->RaiseNewWindow2(true));
  EXPECT_EQ(state.intStopped, 42);
  EXPECT_EQ(f.StatusBar1.PanelText(1), "41 Popups blocked to date");
  f.Close();
  EXPECT_EQ(Stored("intStopped"), "42");
}

TEST_F(MainWindow, AddTakesTheTextAsTypedExceptEmptyOneBlankAndLineBreaks) {
  Form1& f = Start();
  const std::string before = File("allowed.txt");
  for (const char* nothing : {"", " ", "\r\n", " \n"}) {
    f.Text1.SetText(nothing);
    f.Command1.Click();
  }
  EXPECT_EQ(File("allowed.txt"), before);
  EXPECT_EQ(f.List1.ListCount(), 1);

  f.Text1.SetText("  ");
  f.Command1.Click();
  f.Text1.SetText(" two\r\nlines ");
  f.Command1.Click();
  f.Text1.SetText(" two\r\nlines ");
  f.Command1.Click();
  EXPECT_EQ(Items(f.List1), (std::vector<std::string>{"clicks.quellix.example", "  ", " twolines ", " twolines "}));
  EXPECT_EQ(File("allowed.txt"), "clicks.quellix.example\r\n  \r\n twolines \r\n twolines \r\n\r\n");
  EXPECT_EQ(state.strAllowed.Text(), "clicks.quellix.example\r\n  \r\n twolines \r\n twolines \r\n");
  EXPECT_EQ(f.Text1.Text(), " two\r\nlines ");  // the box keeps what was typed
}

TEST_F(MainWindow, DeleteRemovesOnlyTheSelectedEntry) {
  WriteFile("disallowed.txt", "x.example\r\ny.example\r\nx.example\r\n");
  Form1& f = Start();
  f.Command3.Click();  // nothing selected
  EXPECT_EQ(f.List2.ListCount(), 3);
  EXPECT_EQ(File("disallowed.txt"), "x.example\r\ny.example\r\nx.example\r\n");

  f.List2.UserSelected(2);
  f.Command3.Click();
  EXPECT_EQ(Items(f.List2), (std::vector<std::string>{"x.example", "y.example"}));
  EXPECT_EQ(File("disallowed.txt"), "x.example\r\ny.example\r\n\r\n");
  // Every line holding the deleted text leaves the list text until the next start.
  EXPECT_EQ(state.strDisallowed.Text(), "y.example\r\n");
  EXPECT_TRUE(ui::headless::TakeMessages().empty());
}

TEST_F(MainWindow, AListFileThatCannotBeWrittenIsReportedAndNothingDisagrees) {
  fs::create_directories(folder / "allowed.txt");  // a folder where the file should be
  Form1& f = Start();
  EXPECT_EQ(ui::headless::TakeMessages().size(), 1u);  // the allowed list could not be loaded
  EXPECT_EQ(f.List1.ListCount(), 0);
  f.Text1.SetText("site.example");
  f.Command1.Click();
  EXPECT_EQ(ui::headless::TakeMessages().size(), 1u);
  EXPECT_EQ(f.List1.ListCount(), 0);
  EXPECT_FALSE(state.strAllowed.Contains("site.example"));
  EXPECT_TRUE(ShownOnScreen(f));
}

TEST_F(MainWindow, AReadOnlyListFileIsReportedAndTheListKeepsShowingTheFile) {
  WriteFile("allowed.txt", "keep.example\r\n\r\n");
  Form1& f = Start();
  fs::permissions(folder / "allowed.txt", fs::perms::owner_read);
  f.Text1.SetText("site.example");
  f.Command1.Click();
  f.List1.UserSelected(0);
  f.Command2.Click();
  EXPECT_EQ(ui::headless::TakeMessages().size(), 2u);
  EXPECT_EQ(Items(f.List1), std::vector<std::string>{"keep.example"});
  EXPECT_EQ(state.strAllowed.Text(), "keep.example\r\n");
  EXPECT_EQ(File("allowed.txt"), "keep.example\r\n\r\n");

  fs::permissions(folder / "allowed.txt", fs::perms::owner_read | fs::perms::owner_write);
  f.Command1.Click();
  EXPECT_TRUE(ui::headless::TakeMessages().empty());
  EXPECT_EQ(Items(f.List1), (std::vector<std::string>{"keep.example", "site.example"}));
  EXPECT_EQ(File("allowed.txt"), "keep.example\r\nsite.example\r\n\r\n");
}

TEST_F(MainWindow, AllowNextButtonTogglesTheFlag) {
  Form1& f = Start();
  f.Command5.Click();
  EXPECT_TRUE(state.boolAllowNext);
  EXPECT_EQ(f.StatusBar1.PanelText(2), "The next popup will be allowed.");
  f.Command5.Click();
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_EQ(f.StatusBar1.PanelText(2), "The next popup will NOT be allowed.");
}

TEST_F(MainWindow, TheBrowsersAreToldOfWhatTheyFollowAndOfNothingElse) {
  struct RecordingNews final : ProgramNews {
    void SwitchesChanged() override { told.emplace_back("switches"); }
    void AllowNextChanged() override { told.emplace_back("allowNext"); }
    void ListsChanged() override { told.emplace_back("lists"); }
    std::vector<std::string> told;
  } news;
  Store("chkAuto", "0");
  auto page = shell->AddWindowSilently("http://www.unlisted.example/page.html");
  Form1& f = Start();
  f.TellChangesTo(&news);
  f.Check1.UserClick();
  f.Check2.UserClick();
  f.Check6.UserClick();
  f.Check5.UserClick();  // the sound and the window's own switches are no news
  f.Check3.UserClick();
  f.Check1.UserClick();
  f.Command5.Click();
  EXPECT_FALSE(page->RaiseNewWindow2(true));  // the flag used
  f.Text1.SetText("");
  f.Command1.Click();  // nothing added
  f.Text1.SetText("site.example");
  f.Command1.Click();
  f.List1.UserSelected(1);
  f.Command2.Click();
  EXPECT_EQ(news.told, (std::vector<std::string>{"switches", "switches", "switches", "switches", "allowNext",
                                                 "allowNext", "lists", "lists"}));
  f.TellChangesTo(nullptr);
  f.Command5.Click();
  EXPECT_EQ(news.told.size(), 8u);
}

TEST_F(MainWindow, MenusMinimiseRestoreToggleOpenWindowsAndExit) {
  Form1& f = Start();
  f.mnuAction.Find("mnuActionItem", 0)->Click();
  EXPECT_FALSE(ShownOnScreen(f));
  EXPECT_EQ(Stored("state"), "down");
  f.mnuAction.Find("mnuActionItem", 1)->Click();
  EXPECT_TRUE(state.boolAllowNext);
  f.mnuActionItem_Click(2);  // not an entry: ignored
  f.Popup.Find("allow")->Click();
  EXPECT_FALSE(state.boolAllowNext);
  f.Popup.Find("close")->Click();
  EXPECT_FALSE(ShownOnScreen(f));
  f.Popup.Find("show")->Click();
  EXPECT_TRUE(ShownOnScreen(f));
  EXPECT_EQ(Stored("state"), "up");
  f.Command6.Click();
  EXPECT_FALSE(ShownOnScreen(f));

  f.mnuHelp.Find("mnuHelpItem")->Click();
  f.mnuAbout.Find("mnuAboutItem")->Click();
  f.mnuAbout.Find("mnuAboutItem")->Click();
  EXPECT_EQ(windows.help_shown, 2);
  EXPECT_EQ(windows.about_shown, 2);
  EXPECT_FALSE(platform::IsTopmost(windows.about_window));
  f.Check3.SetValue(1);
  f.mnuAbout.Find("mnuAboutItem")->Click();
  EXPECT_TRUE(platform::IsTopmost(windows.about_window));
  f.Command7.Click();
  EXPECT_EQ(windows.website_shown, 1);

  EXPECT_EQ(ends, 0);
  f.Popup.Find("Exit")->Click();
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(Stored("state"), "down");
  f.mnuFile.Find("mnuFileItem", 1)->Click();  // the program is ending: nothing runs twice
  EXPECT_EQ(ends, 1);
}

TEST_F(MainWindow, TheOrganisationsPolicyFixesSwitchesTakesAllowNextAndDecidesItsSitesFirst) {
  using platform::HandleOfRoot;
  using platform::RegistryRoot;
  // An administrator's view of the same machine sets the policy and a start-up entry.
  registry = std::make_unique<platform::PortableRegistry>(platform::PortableRegistry::Options{true});
  auto set_policy = [&](RegistryRoot root, const std::string& subkey, const std::string& name, auto value) {
    platform::ScopedRegistryKey key(*registry);
    const std::string path = std::string(platform::kPolicyKey) + (subkey.empty() ? "" : "\\" + subkey);
    registry->CreateKey(HandleOfRoot(root), path, key.Put());
    if constexpr (std::is_same_v<decltype(value), int>) {
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), 0, 0, 0};
      registry->SetValue(key.Get(), name, platform::reg_type::kDword, bytes, 4);
    } else {
      registry->SetText(key.Get(), name, value);
    }
  };
  set_policy(RegistryRoot::LocalMachine, "", "PopupBlocking", 1);
  set_policy(RegistryRoot::LocalMachine, "", "Sound", 0);
  set_policy(RegistryRoot::LocalMachine, "", "AlwaysOnTop", 1);
  set_policy(RegistryRoot::LocalMachine, "", "RunAtStartup", 0);
  set_policy(RegistryRoot::CurrentUser, "", "SetupMode", 1);
  set_policy(RegistryRoot::CurrentUser, "", "AllowNext", 0);
  set_policy(RegistryRoot::CurrentUser, "BlockedSites", "1", std::string("ads.example"));
  set_policy(RegistryRoot::LocalMachine, "AllowedSites", "1", std::string("portal.example"));
  AddRemove(*registry).AddToRun(kApp, "C:\\old\\QuellixPopUpBlocker.exe");
  Store("chkStopPop", "0");
  Store("chkSound", "1");
  Store("chkOnTop", "0");
  Store("chkLinks", "1");
  auto ads = shell->AddWindowSilently("http://ads.example/page");
  auto portal = shell->AddWindowSilently("https://PORTAL.example/");
  auto unlisted = shell->AddWindowSilently("http://unlisted.example/");

  Form1& f = Start();
  // Fixed: set from the policy, their handlers run, disabled, marked, never saved.
  EXPECT_EQ(f.Check1.Value(), 1);
  EXPECT_EQ(f.Check5.Value(), 0);
  EXPECT_EQ(f.Check3.Value(), 1);
  EXPECT_TRUE(state.boolOnTop);
  EXPECT_EQ(f.Check2.Value(), 1);
  EXPECT_EQ(f.Check4.Value(), 0);
  EXPECT_EQ(f.Check6.Value(), 1);  // not fixed: as stored
  for (ui::CheckBox* fixed : {&f.Check1, &f.Check2, &f.Check3, &f.Check4, &f.Check5}) {
    EXPECT_FALSE(fixed->Enabled()) << fixed->Name();
    EXPECT_TRUE(fixed->ToolTipText().ends_with(" (set by your organisation)")) << fixed->Name();
  }
  EXPECT_TRUE(f.Check6.Enabled());
  EXPECT_EQ(f.FindControl("Label5")->ToolTipText(), "This controls whether popup blocking is on or off. (set by your organisation)");
  EXPECT_FALSE(f.FindControl("Label4")->ToolTipText().ends_with(")"));
  EXPECT_EQ(Stored("chkOnTop"), "0");
  EXPECT_EQ(Stored("chkSound"), "1");
  EXPECT_FALSE(AddRemove(*registry).GetString(platform::RegistryRoot::LocalMachine,
                                              "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kApp));
  f.Check1.UserClick();
  EXPECT_EQ(f.Check1.Value(), 1);

  // Allow Next is gone from the button, both menus and Win+Z.
  EXPECT_FALSE(f.Command5.Enabled());
  EXPECT_FALSE(f.mnuAction.Find("mnuActionItem", 1)->Enabled());
  EXPECT_FALSE(f.Popup.Find("allow")->Enabled());
  f.Command5_Click();
  f.pctHotkey_MouseMove();
  f.Popup.Find("allow")->Click();
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_EQ(ui::headless::MenuBarEntryEnabled(f, form1_commands::kOrganisationSettings), true);
  f.Popup.Find("policy")->Click();
  ASSERT_EQ(windows.policy_shown.size(), 1u);
  EXPECT_EQ(windows.policy_shown[0].blocked_sites, std::vector<std::string>{"ads.example"});

  // The organisation's sites: blocked without a question in setup mode,
  // despite the link; allowed; the rest as usual (the link lets it through).
  state.strStatusText = "http://link.example/";
  f.Check6.SetValue(0);
  EXPECT_TRUE(ads->RaiseNewWindow2(false));
  EXPECT_FALSE(portal->RaiseNewWindow2(true));
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_EQ(Items(f.List1), std::vector<std::string>{"clicks.quellix.example"});  // never on the user's lists
  EXPECT_EQ(File("allowed.txt"), "clicks.quellix.example\r\n");

  // The policy changes while the program runs: the machine lets go of
  // blocking and the sound, the user's own choices come back.
  {
    platform::ScopedRegistryKey key(*registry);
    registry->OpenKey(HandleOfRoot(RegistryRoot::LocalMachine), platform::kPolicyKey, key.Put());
    registry->DeleteValue(key.Get(), "PopupBlocking");
    registry->DeleteValue(key.Get(), "Sound");
  }
  set_policy(RegistryRoot::CurrentUser, "", "AllowNext", 1);
  set_policy(RegistryRoot::CurrentUser, "BlockedSites", "1", std::string("unlisted.example"));
  f.Form_SettingChange("Settings");  // another area: nothing happens
  EXPECT_EQ(f.Check1.Value(), 1);
  f.SystemSettingChanged("Policy");
  EXPECT_EQ(f.Check1.Value(), 0);
  EXPECT_TRUE(f.Check1.Enabled());
  EXPECT_EQ(f.Check1.ToolTipText(), "This controls whether popup blocking is on or off.");
  EXPECT_EQ(f.StatusBar1.PanelText(2), "Now allowing popups");
  EXPECT_EQ(f.Check5.Value(), 1);
  EXPECT_TRUE(f.Command5.Enabled());
  ASSERT_EQ(windows.policy_changed.size(), 1u);
  EXPECT_TRUE(unlisted->RaiseNewWindow2(false));  // blocked though blocking is off
  EXPECT_FALSE(ads->RaiseNewWindow2(false));      // no longer the organisation's: blocking is off
  EXPECT_EQ(state.intStopped, 2);

  f.Close();
  EXPECT_EQ(Stored("chkStopPop"), "0");  // released, so saved again
  EXPECT_EQ(Stored("chkOnTop"), "0");    // still fixed: the user's value stays
  EXPECT_EQ(Stored("chkAuto"), "<absent>");
  EXPECT_EQ(Stored("strAllowed"), "clicks.quellix.example\r\n");
}

TEST_F(MainWindow, ToolsMenuWritesAndRemovesTheBrowserButtonWhereAllowed) {
  registry = std::make_unique<platform::PortableRegistry>(platform::PortableRegistry::Options{true});
  Form1& f = Start();
  f.mnuTools.Find("mnuToolsItem", 0)->Click();
  EXPECT_NE(registry->Serialize().find("{ECC5777A-6E88-BFCE-13CE-81F134789E7B}"), std::string::npos);
  f.mnuTools.Find("mnuToolsItem", 1)->Click();
  const std::string removed = registry->Serialize();
  EXPECT_EQ(removed.find("{ECC5777A-6E88-BFCE-13CE-81F134789E7B}"), std::string::npos);
  f.mnuToolsItem_Click(5);
  EXPECT_EQ(registry->Serialize(), removed);
}

TEST_F(MainWindow, RunAtStartWritesTheEntryAndSaysWhatHappened) {
  Form1& f = Start();
  f.Check4.UserClick();
  EXPECT_EQ(f.StatusBar1.PanelText(2), "Run On Startup Enabled");
  EXPECT_TRUE(AddRemove(*registry).RunEntryExists(kApp));
  f.Check4.UserClick();
  EXPECT_EQ(f.StatusBar1.PanelText(2), "Run On Startup Disabled");
  EXPECT_FALSE(AddRemove(*registry).RunEntryExists(kApp));
}

// A registry in which nothing can be written, as for a locked-down account.
class ReadOnlyRegistry final : public platform::Registry {
 public:
  std::int32_t CreateKey(platform::RegistryHandle, const std::string&, platform::RegistryHandle&) override {
    return platform::reg_status::kAccessDenied;
  }
  std::int32_t CreateKeyEx(platform::RegistryHandle, const std::string&, std::uint32_t,
                           platform::RegistryHandle&) override {
    return platform::reg_status::kAccessDenied;
  }
  std::int32_t OpenKey(platform::RegistryHandle, const std::string&, platform::RegistryHandle&) override {
    return platform::reg_status::kFileNotFound;
  }
  std::int32_t OpenKeyEx(platform::RegistryHandle, const std::string&, std::uint32_t,
                         platform::RegistryHandle&) override {
    return platform::reg_status::kFileNotFound;
  }
  std::int32_t QueryValue(platform::RegistryHandle, const std::string&, std::uint32_t*, std::uint8_t*,
                          std::uint32_t*) override {
    return platform::reg_status::kFileNotFound;
  }
  std::int32_t SetValue(platform::RegistryHandle, const std::string&, std::uint32_t, const std::uint8_t*,
                        std::uint32_t) override {
    return platform::reg_status::kAccessDenied;
  }
  std::int32_t DeleteValue(platform::RegistryHandle, const std::string&) override {
    return platform::reg_status::kAccessDenied;
  }
  std::int32_t DeleteKey(platform::RegistryHandle, const std::string&) override {
    return platform::reg_status::kAccessDenied;
  }
  std::int32_t CloseKey(platform::RegistryHandle) override { return platform::reg_status::kSuccess; }
  std::int32_t QueryText(platform::RegistryHandle, const std::string&, std::string&) override {
    return platform::reg_status::kFileNotFound;
  }
  std::int32_t SetText(platform::RegistryHandle, const std::string&, const std::string&) override {
    return platform::reg_status::kAccessDenied;
  }
};

TEST_F(MainWindow, RunAtStartThatCannotBeWrittenIsNotReportedAsEnabled) {
  ReadOnlyRegistry read_only;
  form = ui::MakeForm<Form1>(Form1Environment{*toolkit, *settings, read_only, branding, state, *shell,
                                                  windows, folder.string(), folder.string(), "clicks.quellix.example", [] {},
                                                  nullptr});
  form->Form_Load();
  form->Show();
  form->Check4.UserClick();
  EXPECT_EQ(form->Check4.Value(), 1);
  EXPECT_EQ(form->StatusBar1.PanelText(2), "Run On Startup could not be enabled");
  form->Check4.UserClick();
  EXPECT_EQ(form->StatusBar1.PanelText(2), "Run On Startup Disabled");  // none exists afterwards
}

TEST_F(MainWindow, TrayIconOpensItsMenuOnLeftPressLeftReleaseAndRightRelease) {
  Form1& f = Start();
  const std::uint32_t id = f.TrayIdentifier();
  for (unsigned quiet : {ui::kWmMouseMove, ui::kWmRButtonDown, ui::kWmLButtonDblClk}) {
    ASSERT_TRUE(ui::headless::MouseOnNotifyIcon(f.hWnd(), id, quiet));
  }
  EXPECT_EQ(MenusShown(), 0);
  for (unsigned opening : {ui::kWmLButtonDown, ui::kWmLButtonUp, ui::kWmRButtonUp}) {
    ASSERT_TRUE(ui::headless::MouseOnNotifyIcon(f.hWnd(), id, opening));
  }
  EXPECT_EQ(MenusShown(), 3);
  EXPECT_EQ(ui::headless::LastPopupMenu(f), "Popup");

  // The pointer moving over the window itself is no tray message, whatever its column.
  ui::headless::SendWindowMessage(f.hWnd(), ui::kWmMouseMove, 0, ui::kWmRButtonUp);
  EXPECT_EQ(MenusShown(), 3);

  f.Command6.Click();
  ui::headless::ChooseInNextPopup(f, "show");
  ui::headless::MouseOnNotifyIcon(f.hWnd(), id, ui::kWmRButtonUp);
  EXPECT_TRUE(ShownOnScreen(f));
}

TEST_F(MainWindow, RestartedTaskbarGetsTheTrayIconBack) {
  Form1& f = Start();
  ui::headless::ResetSystem();  // the new notification area is empty
  ui::headless::SendWindowMessage(f.hWnd(), ui::RegisteredMessage("TaskbarCreated"), 0, 0);
  ASSERT_EQ(ui::headless::NotifyIcons().size(), 1u);
  EXPECT_EQ(ui::headless::NotifyIcons()[0].hWnd, f.hWnd());
}

TEST_F(MainWindow, ATrayMissingAtStartGetsTheIconOnceItAppearsAndAfterExplorerRestarts) {
  ui::headless::SetNotificationAreaAvailable(false);  // log-on: the shell is not up yet
  Form1& f = Start();
  EXPECT_TRUE(ui::headless::NotifyIcons().empty());
  EXPECT_TRUE(f.tmrTrayRetry.Enabled());
  f.tmrTrayRetry.Tick();
  EXPECT_TRUE(ui::headless::NotifyIcons().empty());

  ui::headless::SetNotificationAreaAvailable(true);
  f.tmrTrayRetry.Tick();
  ASSERT_EQ(ui::headless::NotifyIcons().size(), 1u);
  EXPECT_FALSE(f.tmrTrayRetry.Enabled());  // nothing ticks once the icon is in
  f.tmrTrayRetry.Tick();
  EXPECT_EQ(ui::headless::NotifyIcons().size(), 1u);

  // Explorer ends, and its successor announces itself.
  ui::headless::SetNotificationAreaAvailable(false);
  ui::headless::SetNotificationAreaAvailable(true);
  ui::headless::SendWindowMessage(f.hWnd(), ui::RegisteredMessage("TaskbarCreated"), 0, 0);
  ASSERT_EQ(ui::headless::NotifyIcons().size(), 1u);
  // A restart message the area did not need leaves one icon, still working.
  ui::headless::SendWindowMessage(f.hWnd(), ui::RegisteredMessage("TaskbarCreated"), 0, 0);
  ASSERT_EQ(ui::headless::NotifyIcons().size(), 1u);
  EXPECT_FALSE(f.tmrTrayRetry.Enabled());
  ui::headless::ChooseInNextPopup(f, "allow");
  EXPECT_TRUE(ui::headless::MouseOnNotifyIcon(f.hWnd(), f.TrayIdentifier(), ui::kWmRButtonUp));
  EXPECT_TRUE(state.boolAllowNext);

  f.Close();
  EXPECT_TRUE(ui::headless::NotifyIcons().empty());
  EXPECT_EQ(ends, 1);
}

TEST_F(MainWindow, ASecondStartBringsTheRunningWindowUp) {
  Store("state", "down");
  Form1& f = Start();
  ui::headless::SendWindowMessage(f.hWnd(), ui::RegisteredMessage(kShowMainWindowMessage), 0, 0);
  EXPECT_TRUE(ShownOnScreen(f));
  EXPECT_EQ(Stored("state"), "up");
}

TEST_F(MainWindow, WinZTogglesFromTheMessageLoopEvenInTheTray) {
  Form1& f = Start();
  f.Command6.Click();
  ASSERT_TRUE(ui::headless::PressHotKey(ui::kModWin, 'Z'));
  EXPECT_FALSE(state.boolAllowNext);  // posted: runs from the message loop
  platform::ProcessPendingMessagesOnce();  // WM_HOTKEY: posts the picture box's mouse move
  EXPECT_FALSE(state.boolAllowNext);
  platform::ProcessPendingMessagesOnce();
  EXPECT_TRUE(state.boolAllowNext);
  EXPECT_EQ(f.StatusBar1.PanelText(2), "The next popup will be allowed.");
  ui::headless::ChooseInNextPopup(f, "allow");
  ui::headless::MouseOnNotifyIcon(f.hWnd(), f.TrayIdentifier(), ui::kWmLButtonUp);
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_EQ(f.StatusBar1.PanelText(2), "The next popup will NOT be allowed.");
}

TEST_F(MainWindow, DestroyingTheWindowWithoutShutdownStillReleasesTheHotKey) {
  Start();
  ASSERT_EQ(ui::headless::HotKeys().size(), 1u);
  form.reset();
  EXPECT_TRUE(ui::headless::HotKeys().empty());
}

TEST_F(MainWindow, WinZOwnedByAnotherProgramLeavesTheButtonWorking) {
  ui::Form other(*toolkit, ui::FormStyle{});
  ASSERT_TRUE(ui::RegisterSystemHotKey(other.hWnd(), 7, ui::kModWin, 'Z'));
  Form1& f = Start();
  f.Command5.Click();
  EXPECT_TRUE(state.boolAllowNext);
  f.Close();
  EXPECT_EQ(ends, 1);
}

TEST_F(MainWindow, WithTheSkinOnEachLabelIsCopiedIntoTheTemplateOfItsFrameAndTheSkinStopsAtTheEnd) {
  SkinObject skn;
  testing::SkinSupportRecord support;
  modSkin skin(testing::RecordingSupportMaker(support));
  skin.objSkin = &skn;
  skin.SupportObject().SetSkin(&skn);
  ASSERT_TRUE(skin.SupportObject().Start());
  branding.boolSkin = true;
  Form1Environment environment = Environment();
  environment.skin = &skin;
  form = ui::MakeForm<Form1>(std::move(environment));
  form->Form_Load();
  form->Show();

  std::map<std::string, std::vector<std::string>> copies;
  for (const auto& control : form->Controls()) {
    if (control->Kind() != ui::ControlKind::kSkinLabel) continue;
    const auto& label = static_cast<const ui::SkinLabel&>(*control);
    if (label.Index() > 0) copies[label.Name()].push_back(label.Caption());
  }
  EXPECT_EQ(copies["SkinLabel1"].size(), 6u);  // the six switch labels of "Program Options"
  EXPECT_EQ(copies["SkinLabel2"], (std::vector<std::string>{"Allowed Sites:", "Disallowed Sites:"}));
  EXPECT_EQ(form->BackColor(), skn.BackColor);
  EXPECT_EQ(form->List1.BackColor(), skn.BackColor);

  form->Close();
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(support.started);
}

TEST_F(MainWindow, WithTheBannerOnBothFramesMoveDownAndTheWindowGrowsToShowIt) {
  modSkin skin;
  branding.boolBanner = true;
  branding.strBannerURL = "http://banner.quellix.example/strip.html";
  pages.Install();
  Form1Environment environment = Environment();
  environment.skin = &skin;
  form = ui::MakeForm<Form1>(std::move(environment));
  Form1& f = *form;
  ASSERT_NE(f.wbBanner, nullptr);
  ASSERT_NE(f.wbPicture, nullptr);
  EXPECT_FALSE(f.wbBanner->Visible());
  EXPECT_FALSE(f.wbPicture->Visible());
  const ui::TwipsRect frame1 = f.Frame1.Rect();
  const ui::TwipsRect frame2 = f.Frame2.Rect();
  const int outer_height = f.OuterHeight();
  const int client_height = f.ClientHeight();
  const int outer_width = f.OuterWidth();
  int navigations = 0;
  f.wbBanner->OnDownloadBegin = [&] { ++navigations; };
  int picture_navigations = 0;
  f.wbPicture->OnDownloadBegin = [&] { ++picture_navigations; };

  f.Form_Load();
  EXPECT_FALSE(ShownOnScreen(f));  // growing is no resize: the window still waits for the splash
  f.Show();

  const int room = f.wbBanner->Rect().Height + 100;
  EXPECT_EQ(room, 1000);
  EXPECT_EQ(f.Frame1.Rect().Top, frame1.Top + room);
  EXPECT_EQ(f.Frame2.Rect().Top, frame2.Top + room);
  EXPECT_EQ(f.Frame1.Rect().Left, frame1.Left);
  EXPECT_EQ(f.Frame2.Rect().Height, frame2.Height);
  EXPECT_EQ(f.ClientHeight(), client_height + room);
  EXPECT_EQ(f.OuterHeight(), outer_height + room);
  EXPECT_EQ(f.OuterWidth(), outer_width);
  EXPECT_EQ(f.StatusBar1.Rect().Top + f.StatusBar1.Rect().Height, f.ClientHeight());  // still along the bottom

  // The banner fills the room between the buttons and "Program Options", as
  // wide as the frames once its right strip is cut off.
  ASSERT_NE(skin.picBox, nullptr);
  EXPECT_EQ(f.wbBanner->Container(), skin.picBox);
  EXPECT_TRUE(skin.picBox->Visible());
  EXPECT_TRUE(f.wbBanner->Visible());
  EXPECT_FALSE(f.wbPicture->Visible());
  const ui::TwipsRect shown = skin.picBox->Rect();
  EXPECT_GE(shown.Top, f.Command5.Rect().Top + f.Command5.Rect().Height);
  EXPECT_EQ(shown.Top + shown.Height + 100, f.Frame2.Rect().Top);
  EXPECT_EQ(shown.Left, f.Frame2.Rect().Left);
  EXPECT_EQ(shown.Width, f.Frame2.Rect().Width);

  EXPECT_EQ(navigations, 1);
  platform::ProcessPendingMessagesOnce();  // the page arrives
  EXPECT_EQ(f.wbBanner->LocationURL(), "http://banner.quellix.example/strip.html");
  EXPECT_EQ(picture_navigations, 0);
  // Start-up went on after the banner.
  EXPECT_EQ(windows.help_shown, 1);
  EXPECT_TRUE(ShownOnScreen(f));
}

TEST_F(MainWindow, WithTheBannerOffNothingMovesAndNoBrowserIsMade) {
  modSkin skin;
  branding.strBannerURL = "http://banner.quellix.example/strip.html";  // an address alone changes nothing
  Form1Environment environment = Environment();
  environment.skin = &skin;
  form = ui::MakeForm<Form1>(std::move(environment));
  form->Form_Load();
  form->Show();

  EXPECT_EQ(form->wbBanner, nullptr);
  EXPECT_EQ(form->wbPicture, nullptr);
  EXPECT_EQ(skin.picBox, nullptr);
  for (const auto& control : form->Controls()) {
    EXPECT_NE(control->Kind(), ui::ControlKind::kWebBrowser) << control->Name();
    EXPECT_NE(control->Name(), "picBox");
  }
  EXPECT_EQ(form->Frame2.Rect().Top, 1080);
  EXPECT_EQ(form->Frame1.Rect().Top, 2880);
  EXPECT_EQ(form->ClientHeight(), 6930);
  EXPECT_EQ(form->StatusBar1.Rect().Top, 6555);
}

}  // namespace
}  // namespace quellix
