// The headless rich-text view loads the file and checks that it is rich
// text; the headless web browser shows its pages through the page engine a
// test installed, and without one fails every navigation.
#include <memory>
#include <string>
#include <utility>

#include "platform/file_io.h"
#include "ui/controls/headless/headless_hosted.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/controls/rich_text_box.h"
#include "ui/controls/web_browser.h"

namespace quellix::ui::headless {
namespace {

PageEngine& InstalledEngine() {
  static PageEngine engine;
  return engine;
}

class RichTextViewPeer final : public RichTextPeer {
 public:
  explicit RichTextViewPeer(std::unique_ptr<ControlPeer> window) : window_(std::move(window)) {}
  WindowHandle Handle() const override { return window_->Handle(); }
  void ShowText(const std::string& text) override { window_->ShowText(text); }
  void ShowVisible(bool visible) override { window_->ShowVisible(visible); }
  void ShowToolTip(const std::string&) override {}
  bool LoadRichTextFile(const std::string& path) override {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes).ok || bytes.rfind("{\\rtf", 0) != 0) return false;
    return true;
  }

 private:
  std::unique_ptr<ControlPeer> window_;
};

class WebBrowserViewPeer final : public WebBrowserPeer {
 public:
  WebBrowserViewPeer(WebBrowser& control, std::unique_ptr<ControlPeer> window)
      : window_(std::move(window)), pages_(InstalledEngine() ? InstalledEngine()(control) : nullptr) {}

  WindowHandle Handle() const override { return window_->Handle(); }
  void ShowText(const std::string&) override {}
  void ShowVisible(bool visible) override { window_->ShowVisible(visible); }
  void ShowToolTip(const std::string&) override {}

  bool Navigate(const std::string& url) override { return pages_ && pages_->Navigate(url); }
  bool GoBack() override { return pages_ && pages_->GoBack(); }
  bool GoForward() override { return pages_ && pages_->GoForward(); }
  bool Stop() override { return pages_ && pages_->Stop(); }
  bool Refresh() override { return pages_ && pages_->Refresh(); }
  std::string LocationURL() const override { return pages_ ? pages_->LocationURL() : std::string(); }
  std::string LocationName() const override { return pages_ ? pages_->LocationName() : std::string(); }

 private:
  std::unique_ptr<ControlPeer> window_;
  std::unique_ptr<PageView> pages_;
};

}  // namespace

std::unique_ptr<ControlPeer> WrapHostedPeer(Control& control, std::unique_ptr<ControlPeer> window) {
  switch (control.Kind()) {
    case ControlKind::kRichText: return std::make_unique<RichTextViewPeer>(std::move(window));
    case ControlKind::kWebBrowser:
      return std::make_unique<WebBrowserViewPeer>(static_cast<WebBrowser&>(control), std::move(window));
    default: return window;
  }
}

void SetPageEngine(PageEngine engine) { InstalledEngine() = std::move(engine); }

}  // namespace quellix::ui::headless
