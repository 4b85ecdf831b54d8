#include "tests/scripted_browser/scripted_browser.h"

#include <algorithm>

namespace quellix::testing {

// A subscription's record; the window keeps it weakly, the Subscription owns it.
struct ScriptedBrowserWindow::Listener {
  std::weak_ptr<BrowserEvents> events;
};

struct ScriptedShell::Listener {
  std::weak_ptr<ShellWindowsEvents> events;
};

namespace {

// Ending it empties the record, which a raise in progress may still hold.
template <typename Record>
class RecordSubscription : public Subscription {
 public:
  explicit RecordSubscription(std::shared_ptr<Record> record) : record_(std::move(record)) {}
  ~RecordSubscription() override { record_->events.reset(); }

 private:
  std::shared_ptr<Record> record_;
};

template <typename Record>
std::vector<std::shared_ptr<Record>> LiveRecords(const std::vector<std::weak_ptr<Record>>& records) {
  std::vector<std::shared_ptr<Record>> live;
  for (const auto& weak : records) {
    if (auto r = weak.lock(); r && !r->events.expired()) live.push_back(std::move(r));
  }
  return live;
}

}  // namespace

std::optional<std::string> ScriptedBrowserWindow::LocationURL() {
  if (fail_location_) return std::nullopt;
  return url_;
}

bool ScriptedBrowserWindow::Quit() {
  if (on_quit) {
    const auto hook = on_quit;  // the hook may end this window and with it on_quit
    hook();
  }
  ++quit_requests_;  // counted when the call returns, as a caller would see it
  return true;
}

std::unique_ptr<Subscription> ScriptedBrowserWindow::Subscribe(std::weak_ptr<BrowserEvents> listener) {
  if (fail_subscribe_) return nullptr;
  auto record = std::make_shared<Listener>(Listener{std::move(listener)});
  std::erase_if(listeners_, [](const auto& w) { return w.expired(); });
  listeners_.push_back(record);
  return std::make_unique<RecordSubscription<Listener>>(record);
}

std::vector<std::shared_ptr<ScriptedBrowserWindow::Listener>> ScriptedBrowserWindow::Snapshot() const {
  return LiveRecords(listeners_);
}

int ScriptedBrowserWindow::Subscribers() const { return static_cast<int>(Snapshot().size()); }

void ScriptedBrowserWindow::RaiseStatusTextChange(const std::string& text) {
  for (const auto& record : Snapshot()) {
    if (auto events = record->events.lock()) events->OnStatusTextChange(text);
  }
}

bool ScriptedBrowserWindow::RaiseNewWindow2(bool cancel_in) {
  bool cancel = cancel_in;
  for (const auto& record : Snapshot()) {
    if (auto events = record->events.lock()) events->OnNewWindow2(cancel);
  }
  return cancel;
}

class ScriptedShellList : public ShellWindowList {
 public:
  ScriptedShellList(std::shared_ptr<ScriptedShell> shell) : shell_(std::move(shell)) {}

  Enumeration Windows() override {
    Enumeration result;
    const auto& windows = shell_->windows_;
    for (std::size_t i = 0; i < windows.size(); ++i) {
      if (shell_->fail_enumeration_after >= 0 && static_cast<int>(i) >= shell_->fail_enumeration_after) {
        result.complete = false;
        return result;
      }
      result.windows.push_back(static_cast<int>(i) == shell_->not_a_browser_at ? nullptr : windows[i]);
    }
    return result;
  }

  std::unique_ptr<Subscription> Subscribe(std::weak_ptr<ShellWindowsEvents> listener) override {
    if (shell_->fail_subscribe) return nullptr;
    ++shell_->event_subscriptions_made;
    auto record = std::make_shared<ScriptedShell::Listener>(ScriptedShell::Listener{std::move(listener)});
    std::erase_if(shell_->listeners_, [](const auto& w) { return w.expired(); });
    shell_->listeners_.push_back(record);
    return std::make_unique<RecordSubscription<ScriptedShell::Listener>>(record);
  }

 private:
  std::shared_ptr<ScriptedShell> shell_;
};

std::shared_ptr<ShellWindowList> ScriptedShell::Create() {
  if (fail_create) return nullptr;
  ++lists_created;
  return std::make_shared<ScriptedShellList>(shared_from_this());
}

std::shared_ptr<ScriptedBrowserWindow> ScriptedShell::AddWindowSilently(const std::string& url) {
  windows_.push_back(std::make_shared<ScriptedBrowserWindow>(url));
  return windows_.back();
}

std::shared_ptr<ScriptedBrowserWindow> ScriptedShell::OpenWindow(const std::string& url) {
  auto window = AddWindowSilently(url);
  RaiseWindowRegistered();
  return window;
}

void ScriptedShell::CloseWindow(const std::shared_ptr<ScriptedBrowserWindow>& window) {
  std::erase(windows_, window);
  RaiseWindowRevoked();
}

std::vector<std::shared_ptr<ScriptedShell::Listener>> ScriptedShell::Snapshot() const {
  return LiveRecords(listeners_);
}

int ScriptedShell::EventSubscribers() const { return static_cast<int>(Snapshot().size()); }

void ScriptedShell::RaiseWindowRegistered(long cookie) {
  for (const auto& record : Snapshot()) {
    if (auto events = record->events.lock()) events->OnWindowRegistered(cookie);
  }
}

void ScriptedShell::RaiseWindowRevoked(long cookie) {
  for (const auto& record : Snapshot()) {
    if (auto events = record->events.lock()) events->OnWindowRevoked(cookie);
  }
}

}  // namespace quellix::testing
