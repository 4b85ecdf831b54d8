// Form1: the main window. It holds the switches, the three buttons, the site
// list panel, the status line and the menus; its load step starts the program
// (options, lists, tray icon, hot key, browser tracker) and its unload step
// saves everything and ends it. It is also what the popup decision asks for
// the switches, the message loop, the block sound and the setup-mode prompt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adapters/list_files_on_disk.h"
#include "core/browser.h"
#include "core/ie_windows.h"
#include "core/popup_host.h"
#include "core/program_news.h"
#include "core/program_state.h"
#include "core/site_list_store.h"
#include "platform/add_remove.h"
#include "platform/group_policy.h"
#include "platform/mod_ie_tools.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/window_order.h"
#include "ui/controls/form.h"
#include "ui/controls/skin_label.h"
#include "ui/controls/web_browser.h"
#include "ui/main/options.h"
#include "ui/main/site_list_box.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/mod_branding.h"
#include "ui/windows/secondary_windows.h"

namespace quellix {

// The message a second start of the program sends the running one's main
// window (registered by this name) so that it shows itself.
inline constexpr const char* kShowMainWindowMessage = "Quellix Pop-Up Blocker: show the main window";

// What the main window works with. Everything named here outlives it.
struct Form1Environment {
  ui::Toolkit& toolkit;
  platform::SettingsStore& settings;
  platform::Registry& registry;
  modBranding& branding;
  ProgramState& state;
  ShellWindowsFactory& shell;
  SecondaryWindows& windows;
  std::string program_folder;        // the sound lives here
  std::string lists_folder;          // the list files: the program folder, or the user's own for an all-users install
  std::string default_allowed_host;  // the first entry of a new allowed list
  std::function<void()> end_program; // the program's explicit end
  modSkin* skin = nullptr;           // the skin and the banner, used only behind boolSkin and boolBanner
  StartUpScope start_up_scope = StartUpScope::MachineFirst;  // per user for an all-users install
};

class Form1 final : public ui::Form, public PopupHost {
 public:
  explicit Form1(Form1Environment environment);

  // Start-up, shutdown and hiding in the tray.
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  // Windows ends the session: the options are written as the unload writes
  // them, since the process is ended without an unload.
  void Form_EndSession();
  // The system's settings changed; "Policy": the organisation's policy is read again.
  void Form_SettingChange(const std::string& area);

  // The switches and buttons.
  void Check1_Click();
  void Check2_Click();
  void Check3_Click();
  void Check4_Click();
  void Check5_Click();
  void Check6_Click();
  void Command5_Click();  // allow next popup
  void Command6_Click();  // minimize to taskbar
  void Command7_Click();  // visit the website
  // Another program held the browsers' pipe when this one started.
  void BrowserPipeHeldElsewhere();

  // The site list panel.
  void Command1_Click();  // allowed: Add
  void Command2_Click();  // allowed: Delete
  void Command4_Click();  // disallowed: Add
  void Command3_Click();  // disallowed: Delete

  // Menus, the tray icon and the hot key.
  void mnuFileItem_Click(int index);
  void mnuActionItem_Click(int index);
  void mnuToolsItem_Click(int index);
  void mnuHelpItem_Click(int index);
  void mnuAboutItem_Click(int index);
  void mnuToolsPolicy_Click();  // Organisation settings
  void show_Click();
  // The tray icon's callback, with the mouse message number.
  void TrayIcon_Callback(unsigned mouse_message);
  void pctHotkey_MouseMove();

  // PopupHost
  PopupOptions ReadOptions() override;
  void ProcessPendingMessagesOnce() override;
  bool WaitForMessage() override;
  void PlayBlockSound() override;
  void StartBlockSound() override;
  void AllowNextChanged() override;
  bool ShowSetupPrompt() override;

  // Who is told when a switch the browsers follow, the allow-next flag or a
  // list changes; null: nobody.
  void TellChangesTo(ProgramNews* news) { news_ = news; }

  Module1& SiteLists() { return lists_; }
  // The tray icon's identifier: the handle of the window's icon.
  std::uint32_t TrayIdentifier() const { return static_cast<std::uint32_t>(IconHandle()); }

  // Controls, by their design names.
  ui::Button& Command5;
  ui::Button& Command6;
  ui::Button& Command7;
  ui::Frame& Frame2;  // "Program Options"
  // The switches, top to bottom: made in this order, which is the Tab order.
  ui::CheckBox& Check1;
  ui::CheckBox& Check2;
  ui::CheckBox& Check6;
  ui::CheckBox& Check5;
  ui::CheckBox& Check3;
  ui::CheckBox& Check4;
  ui::Frame& Frame1;  // "Website Settings"
  ui::Label& Label3;
  ui::TextBox& Text1;
  ui::Button& Command1;
  ui::Button& Command2;
  ui::ListBoxControl& List1;
  ui::Label& Label1;
  ui::TextBox& Text2;
  ui::Button& Command4;
  ui::Button& Command3;
  ui::ListBoxControl& List2;
  ui::StatusBar& StatusBar1;
  ui::PictureBox& pctHotkey;  // receives the hot key's posted mouse moves
  ui::SkinLabel& SkinLabel1;  // skin label templates: "Program Options"
  ui::SkinLabel& SkinLabel2;  // and "Website Settings"
  // The web banner above the two frames, and the picture it replaces; both
  // hidden until start-up places the banner. Made only when the identity
  // switches the banner on: null otherwise, so no page engine is loaded.
  ui::WebBrowser* wbBanner = nullptr;
  ui::WebBrowser* wbPicture = nullptr;

  // Menus.
  ui::MenuItem& mnuFile;
  ui::MenuItem& mnuAction;
  ui::MenuItem& mnuTools;
  ui::MenuItem& mnuHelp;
  ui::MenuItem& mnuAbout;
  ui::MenuItem& Popup;  // the tray icon's context menu, never in the menu bar
  // "Organisation settings" in the Tools menu and the tray menu, shown only
  // while the organisation sets something.
  ui::MenuItem* mnuToolsPolicy = nullptr;
  ui::MenuItem* mnuPopupPolicy = nullptr;
  // Adds the tray icon again while the notification area refuses it; off
  // once the icon is in, so a running program has no timer ticking.
  ui::Timer& tmrTrayRetry;

 private:
  void BuildMenus();
  // What the unload writes to the settings store.
  void SaveOptions();

  // Sets the six switches at start-up, in their order: as the policy fixes
  // them, or as stored.
  void RestoreSwitches();
  // The box's policy: fixed on, fixed off, or nothing.
  std::optional<bool> FixedByPolicy(const ui::CheckBox& box) const;
  // Shows the policy read last: fixed switches disabled, Allow Next, the
  // menus, the organisation's sites for the decision.
  void ShowGroupPolicy();
  void SwitchMessage(const ui::CheckBox& box, const char* on, const char* off);
  // Panel 2 of the status line; dropped while the panel does not exist.
  void ShowStatus(const std::string& message);
  void AddSite(ui::TextBox& text, bool allowed);
  void DeleteSite(ui::ListBoxControl& list, bool allowed);
  void ReportStoreFailure(const StoreResult& result);
  void AddTrayIconNow();
  void ShowOnTop(platform::WindowHandle window);
  // Opens a strip above the frames and shows the banner in it.
  void PlaceBanner();

  Form1Environment env_;
  ProgramState& program_;
  options::Options options_;
  ListFilesOnDisk list_files_;
  SiteListBox allowed_box_{List1};
  SiteListBox disallowed_box_{List2};
  Module1 lists_;
  std::string state;                       // the window-state text, "up" or "down"
  std::optional<AddRemove> objAddRemove;   // the start-up entry
  std::optional<clsOnTop> objOnTop;
  platform::GroupPolicy policy_;
  ProgramNews* news_ = nullptr;
  std::shared_ptr<cIEWindows> tracker_;  // last: the first to go
};

}  // namespace quellix
