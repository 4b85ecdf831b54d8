// The browser side as the popup interception sees it: the shell's list of open
// browser windows with its events, and one browser window with its events.
// The Windows build implements these over COM (ShellWindows, IWebBrowser2,
// DShellWindowsEvents, DWebBrowserEvents2); tests bring scripted ones.
//
// Subscriptions hold their listener weakly and lock it for the length of each
// event, so a listener released from inside its own event (by a nested message
// loop) stays alive until that event returns.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quellix {

// Ends its subscription when destroyed: from then on no event reaches the
// listener, not even one that the source is raising at that moment to a list
// of listeners it took before.
class Subscription {
 public:
  virtual ~Subscription() = default;
};

// DWebBrowserEvents2, the two events the sink acts on. Every other event of a
// real browser is left as it came and does not reach this interface.
class BrowserEvents {
 public:
  virtual ~BrowserEvents() = default;
  virtual void OnStatusTextChange(const std::string& text) = 0;
  // `cancel` holds the value the browser passed; true cancels the new window.
  virtual void OnNewWindow2(bool& cancel) = 0;
  // The same from a browser tab, whose new window exists already and is
  // closed by the answer: a listener that can tell a block early calls
  // `answer_block` then (and still sets `cancel`).
  virtual void OnNewTabWindow2(bool& cancel, const std::function<void()>& answer_block) {
    static_cast<void>(answer_block);
    OnNewWindow2(cancel);
  }
};

// One browser window (IWebBrowser2).
class BrowserWindow {
 public:
  virtual ~BrowserWindow() = default;
  // The address of the page shown now; nothing when it cannot be read.
  virtual std::optional<std::string> LocationURL() = 0;
  // Asks the window to close; false when the request failed.
  virtual bool Quit() = 0;
  // Subscribes to the window's events; nullptr when that failed.
  virtual std::unique_ptr<Subscription> Subscribe(std::weak_ptr<BrowserEvents> listener) = 0;
};

// DShellWindowsEvents. The cookie is passed on but not used.
class ShellWindowsEvents {
 public:
  virtual ~ShellWindowsEvents() = default;
  virtual void OnWindowRegistered(long cookie) = 0;
  virtual void OnWindowRevoked(long cookie) = 0;
};

// One ShellWindows list object.
class ShellWindowList {
 public:
  struct Enumeration {
    std::vector<std::shared_ptr<BrowserWindow>> windows;  // in the list's order
    bool complete = true;  // false: enumeration failed after `windows`
  };
  virtual ~ShellWindowList() = default;
  virtual Enumeration Windows() = 0;
  virtual std::unique_ptr<Subscription> Subscribe(std::weak_ptr<ShellWindowsEvents> listener) = 0;
};

// Creates ShellWindows list objects (CoCreateInstance on Windows).
class ShellWindowsFactory {
 public:
  virtual ~ShellWindowsFactory() = default;
  // nullptr when the list cannot be created.
  virtual std::shared_ptr<ShellWindowList> Create() = 0;
};

}  // namespace quellix
