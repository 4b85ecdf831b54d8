// The headless rich-text view loads the file and checks that it is rich
// text; the headless web browser is a small page engine whose navigations
// complete at the next message processing, as a real one's arrive later.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/message_pump_portable.h"
#include "ui/controls/headless/headless_hosted.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/controls/rich_text_box.h"
#include "ui/controls/web_browser.h"

namespace quellix::ui::headless {
namespace {

struct PageEngine {
  bool available = true;
  std::map<std::string, std::string> titles;
};

PageEngine& Engine() {
  static PageEngine engine;
  return engine;
}

class RichTextViewPeer final : public RichTextPeer {
 public:
  explicit RichTextViewPeer(std::unique_ptr<ControlPeer> window) : window_(std::move(window)) {}
  WindowHandle Handle() const override { return window_->Handle(); }
  void ShowText(const std::string&) override {}
  void ShowVisible(bool) override {}
  void ShowToolTip(const std::string&) override {}
  bool LoadRichTextFile(const std::string& path) override {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes).ok || bytes.rfind("{\\rtf", 0) != 0) return false;
    return true;
  }

 private:
  std::unique_ptr<ControlPeer> window_;
};

// What a browser makes of a typed address: a bare host gets a scheme and a
// final slash.
std::string CompletedAddress(const std::string& url) {
  if (url.find(':') != std::string::npos) return url;
  return "http://" + url + (url.find('/') == std::string::npos ? "/" : "");
}

class WebBrowserViewPeer final : public WebBrowserPeer {
 public:
  WebBrowserViewPeer(WebBrowser& control, std::unique_ptr<ControlPeer> window)
      : control_(control), window_(std::move(window)), alive_(std::make_shared<bool>(true)) {}
  ~WebBrowserViewPeer() override { *alive_ = false; }

  WindowHandle Handle() const override { return window_->Handle(); }
  void ShowText(const std::string&) override {}
  void ShowVisible(bool) override {}
  void ShowToolTip(const std::string&) override {}

  bool Navigate(const std::string& url) override {
    if (!Engine().available) return false;
    history_.resize(history_.empty() ? 0 : static_cast<std::size_t>(index_) + 1);
    history_.push_back(CompletedAddress(url));
    Load(static_cast<int>(history_.size()) - 1);
    return true;
  }
  bool GoBack() override { return Go(index_ - 1); }
  bool GoForward() override { return Go(index_ + 1); }
  bool Stop() override {
    if (!Engine().available) return false;
    if (pending_ < 0) return true;
    pending_ = -1;
    ++generation_;
    control_.RaiseDownloadComplete();
    return true;
  }
  bool Refresh() override { return index_ >= 0 && Go(index_); }
  std::string LocationURL() const override { return index_ >= 0 ? history_[Index(index_)] : std::string(); }
  std::string LocationName() const override {
    const std::string url = LocationURL();
    auto it = Engine().titles.find(url);
    return it != Engine().titles.end() ? it->second : url;
  }

 private:
  static std::size_t Index(int i) { return static_cast<std::size_t>(i); }

  bool Go(int index) {
    if (!Engine().available || index < 0 || index >= static_cast<int>(history_.size())) return false;
    Load(index);
    return true;
  }

  void Load(int index) {
    pending_ = index;
    const int generation = ++generation_;
    control_.RaiseDownloadBegin();
    platform::PostTask([this, alive = alive_, generation] {
      if (!*alive || generation != generation_ || pending_ < 0) return;
      index_ = std::exchange(pending_, -1);
      control_.RaiseStatusTextChange("Done");
      control_.RaiseDownloadComplete();
    });
  }

  WebBrowser& control_;
  std::unique_ptr<ControlPeer> window_;
  std::shared_ptr<bool> alive_;
  std::vector<std::string> history_;
  int index_ = -1;    // the page shown
  int pending_ = -1;  // the page being loaded
  int generation_ = 0;
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

void SetPageEngineAvailable(bool available) { Engine().available = available; }
void SetPageTitle(const std::string& url, const std::string& title) { Engine().titles[url] = title; }

}  // namespace quellix::ui::headless
