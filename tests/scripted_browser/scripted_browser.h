// A scripted, in-memory browser side for native tests: a shell window list
// whose windows a test opens and closes, and browser windows on which a test
// raises StatusTextChange and NewWindow2 and reads back Cancel.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/browser.h"

namespace quellix::testing {

class ScriptedBrowserWindow : public BrowserWindow, public std::enable_shared_from_this<ScriptedBrowserWindow> {
 public:
  explicit ScriptedBrowserWindow(std::string url) : url_(std::move(url)) {}

  std::optional<std::string> LocationURL() override;
  bool Quit() override;
  std::unique_ptr<Subscription> Subscribe(std::weak_ptr<BrowserEvents> listener) override;

  void Navigate(std::string url) { url_ = std::move(url); }
  void FailLocationURL(bool fail) { fail_location_ = fail; }
  void FailSubscribe(bool fail) { fail_subscribe_ = fail; }

  void RaiseStatusTextChange(const std::string& text);
  // Raises NewWindow2 with Cancel as the browser passes it and returns Cancel
  // as the listeners left it.
  bool RaiseNewWindow2(bool cancel_in = false);

  int Subscribers() const;
  int QuitRequests() const { return quit_requests_; }

  // Runs inside Quit, as events do during a call to another process; it may
  // close this window.
  std::function<void()> on_quit;

 private:
  struct Listener;
  std::vector<std::shared_ptr<Listener>> Snapshot() const;

  std::string url_;
  bool fail_location_ = false;
  bool fail_subscribe_ = false;
  int quit_requests_ = 0;
  std::vector<std::weak_ptr<Listener>> listeners_;
};

class ScriptedShell : public ShellWindowsFactory, public std::enable_shared_from_this<ScriptedShell> {
 public:
  std::shared_ptr<ShellWindowList> Create() override;

  // Opens a window and raises WindowRegistered; returns the window.
  std::shared_ptr<ScriptedBrowserWindow> OpenWindow(const std::string& url);
  // Adds a window without raising an event (as if open before the tracker).
  std::shared_ptr<ScriptedBrowserWindow> AddWindowSilently(const std::string& url);
  // Closes a window and raises WindowRevoked.
  void CloseWindow(const std::shared_ptr<ScriptedBrowserWindow>& window);
  void RaiseWindowRegistered(long cookie = 1);
  void RaiseWindowRevoked(long cookie = 1);

  const std::vector<std::shared_ptr<ScriptedBrowserWindow>>& Windows() const { return windows_; }

  // Failure injection.
  bool fail_create = false;
  int fail_enumeration_after = -1;  // >= 0: enumeration fails after that many windows
  int not_a_browser_at = -1;        // >= 0: that entry is not a browser
  bool fail_subscribe = false;

  int lists_created = 0;
  int event_subscriptions_made = 0;
  int EventSubscribers() const;

 private:
  friend class ScriptedShellList;
  struct Listener;
  std::vector<std::shared_ptr<Listener>> Snapshot() const;

  std::vector<std::shared_ptr<ScriptedBrowserWindow>> windows_;
  std::vector<std::weak_ptr<Listener>> listeners_;
};

}  // namespace quellix::testing
