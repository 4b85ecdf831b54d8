// The windows the main window opens in front of itself, each a single
// instance: the setup-mode prompt, the help window, the About window and the
// built-in browser, with the notice that reports a site the prompt could not
// store.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/program_state.h"
#include "core/site_list_store.h"
#include "platform/settings_store.h"
#include "ui/controls/form.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/form3.h"
#include "ui/windows/form8.h"
#include "ui/windows/frm_about.h"
#include "ui/windows/frm_policy.h"
#include "ui/windows/frm_website.h"
#include "ui/windows/mod_branding.h"
#include "ui/windows/notice_window.h"
#include "ui/windows/secondary_windows.h"
#include "ui/windows/window_slot.h"

namespace quellix {

struct SecondaryWindowEnvironment {
  ui::Toolkit& toolkit;
  platform::SettingsStore& settings;
  std::string settings_app;           // the application name the options are stored under
  modBranding& branding;
  ProgramState& state;
  modSkin& skin;
  std::string program_folder;         // Help.rtf lives here
  std::function<void()> end_program;  // the program's explicit end
  // The program's own version information; empty: read it from the program.
  std::function<platform::VersionInfo()> read_version;
};

namespace testing {
struct OpenWindows;
}

class SecondaryWindowSet final : public SecondaryWindows {
 public:
  explicit SecondaryWindowSet(SecondaryWindowEnvironment environment);
  ~SecondaryWindowSet() override;

  // The main window, once it exists: its handle (for the window order around
  // the prompt) and its site lists (for the prompt's answers).
  void AttachMainWindow(std::function<platform::WindowHandle()> main_window, Module1& lists);

  platform::WindowHandle ShowHelp() override;
  platform::WindowHandle ShowAbout() override;
  void ShowWebsite() override;
  bool WebsiteVisible() const override;
  bool ShowSetupPrompt() override;
  platform::WindowHandle ShowOrganisationSettings(const platform::GroupPolicy& policy) override;
  void OrganisationSettingsChanged(const platform::GroupPolicy& policy) override;

 private:
  friend struct testing::OpenWindows;  // tests act on the open windows
  void ReportStoreFailure(const std::string& text);

  SecondaryWindowEnvironment env_;
  std::function<platform::WindowHandle()> main_window_;
  Module1* lists_ = nullptr;
  WindowSlot<Form3> prompt_;
  WindowSlot<Form8> help_;
  WindowSlot<frmAbout> about_;
  WindowSlot<frmWebsite> website_;
  WindowSlot<NoticeWindow> notice_;
  WindowSlot<frmPolicy> policy_;
};

}  // namespace quellix
