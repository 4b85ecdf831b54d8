#include "tests/scripted_page_engine/scripted_page_engine.h"

#include <memory>
#include <utility>
#include <vector>

#include "platform/message_pump_portable.h"

namespace quellix::testing {
namespace {

// What a browser makes of a typed address: a bare host gets a scheme and a
// final slash.
std::string CompletedAddress(const std::string& url) {
  if (url.find(':') != std::string::npos) return url;
  return "http://" + url + (url.find('/') == std::string::npos ? "/" : "");
}

class ScriptedPages final : public ui::headless::PageView {
 public:
  ScriptedPages(ui::WebBrowser& control, const std::map<std::string, std::string>& titles)
      : control_(control), titles_(titles), alive_(std::make_shared<bool>(true)) {}
  ~ScriptedPages() override { *alive_ = false; }

  bool Navigate(const std::string& url) override {
    history_.resize(history_.empty() ? 0 : static_cast<std::size_t>(index_) + 1);
    history_.push_back(CompletedAddress(url));
    Load(static_cast<int>(history_.size()) - 1);
    return true;
  }
  bool GoBack() override { return Go(index_ - 1); }
  bool GoForward() override { return Go(index_ + 1); }
  bool Stop() override {
    if (pending_ < 0) return true;
    pending_ = -1;
    ++generation_;
    control_.RaiseDownloadComplete();
    return true;
  }
  bool Refresh() override { return index_ >= 0 && Go(index_); }
  std::string LocationURL() const override {
    return index_ >= 0 ? history_[static_cast<std::size_t>(index_)] : std::string();
  }
  std::string LocationName() const override {
    const std::string url = LocationURL();
    auto it = titles_.find(url);
    return it != titles_.end() ? it->second : url;
  }

 private:
  bool Go(int index) {
    if (index < 0 || index >= static_cast<int>(history_.size())) return false;
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

  ui::WebBrowser& control_;
  const std::map<std::string, std::string>& titles_;
  std::shared_ptr<bool> alive_;
  std::vector<std::string> history_;
  int index_ = -1;    // the page shown
  int pending_ = -1;  // the page being loaded
  int generation_ = 0;
};

}  // namespace

void ScriptedPageEngine::Install() {
  ui::headless::SetPageEngine([this](ui::WebBrowser& browser) -> std::unique_ptr<ui::headless::PageView> {
    return std::make_unique<ScriptedPages>(browser, titles_);
  });
}

}  // namespace quellix::testing
