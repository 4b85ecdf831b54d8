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
    return std::make_unique<Form3>(Form3Environment{
        env_.toolkit, env_.state, env_.branding, env_.skin, *lists_, main_window_ ? main_window_() : 0,
        [this](const std::string& text) { ReportStoreFailure(text); }});
  });
  prompt.Show();
  return true;
}

void SecondaryWindowSet::ReportStoreFailure(const std::string& text) {
  NoticeWindow& notice = notice_.Open(
      [this] { return std::make_unique<NoticeWindow>(env_.toolkit, env_.branding.strProgramName); });
  notice.ShowNotice(text);
}

platform::WindowHandle SecondaryWindowSet::ShowHelp() { return 0; }
platform::WindowHandle SecondaryWindowSet::ShowAbout() { return 0; }
void SecondaryWindowSet::ShowWebsite() {}
bool SecondaryWindowSet::WebsiteVisible() const { return false; }

}  // namespace quellix
