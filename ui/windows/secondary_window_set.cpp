#include "ui/windows/secondary_window_set.h"

namespace quellix {

SecondaryWindowSet::SecondaryWindowSet(SecondaryWindowEnvironment environment) : env_(std::move(environment)) {}

SecondaryWindowSet::~SecondaryWindowSet() = default;

void SecondaryWindowSet::AttachMainWindow(std::function<platform::WindowHandle()> main_window, Module1& lists) {
  main_window_ = std::move(main_window);
  lists_ = &lists;
}

bool SecondaryWindowSet::ShowSetupPrompt() {
  // Without the main window's lists there is nowhere to store an answer.
  if (lists_ == nullptr) return false;
  // A prompt still open is only shown again: it keeps the site it was loaded with.
  Form3& prompt = prompt_.Open([this] {
    return ui::MakeForm<Form3>(Form3Environment{
        env_.toolkit, env_.state, env_.branding, env_.skin, *lists_, main_window_ ? main_window_() : 0,
        [this](const std::string& text) { ReportStoreFailure(text); }});
  });
  prompt.Show();
  // A keyboard user answers at once: Enter blocks, as closing does.
  prompt.Command4.SetFocus();
  return true;
}

void SecondaryWindowSet::ReportStoreFailure(const std::string& text) {
  NoticeWindow& notice = notice_.Open(
      [this] { return ui::MakeForm<NoticeWindow>(env_.toolkit, env_.branding.strProgramName); });
  notice.ShowNotice(text);
}

platform::WindowHandle SecondaryWindowSet::ShowHelp() {
  Form8& help = help_.Open([this] {
    return ui::MakeForm<Form8>(
        Form8Environment{env_.toolkit, env_.settings, env_.settings_app, env_.branding, env_.skin, env_.program_folder});
  });
  help.Show();
  return help.hWnd();
}

platform::WindowHandle SecondaryWindowSet::ShowAbout() {
  frmAbout& about = about_.Open([this] {
    return ui::MakeForm<frmAbout>(
        frmAboutEnvironment{env_.toolkit, env_.branding, env_.skin, env_.read_version, [this] { ShowWebsite(); }});
  });
  about.Show();
  return about.hWnd();
}

void SecondaryWindowSet::ShowWebsite() {
  if (frmWebsite* open = website_.Get()) {
    // Already there: shown and brought to the front, not loaded again.
    open->Show();
    modOnTop(open->hWnd(), true);
    modOnTop(open->hWnd(), false);
    return;
  }
  website_.Open([this] {
    return ui::MakeForm<frmWebsite>(frmWebsiteEnvironment{env_.toolkit, env_.branding, env_.skin, env_.end_program});
  }).Show();
}

platform::WindowHandle SecondaryWindowSet::ShowOrganisationSettings(const platform::GroupPolicy& policy) {
  frmPolicy& window =
      policy_.Open([this] { return ui::MakeForm<frmPolicy>(env_.toolkit, env_.branding.strProgramName); });
  window.ShowPolicy(policy);
  window.Show();
  window.lstFixed.SetFocus();
  return window.hWnd();
}

void SecondaryWindowSet::OrganisationSettingsChanged(const platform::GroupPolicy& policy) {
  if (frmPolicy* open = policy_.Get()) open->ShowPolicy(policy);
}

bool SecondaryWindowSet::WebsiteVisible() const {
  const frmWebsite* website = website_.Get();
  return website != nullptr && website->Visible();
}

}  // namespace quellix
