// An embedded web browser: opens addresses, goes back and forward, stops and
// reloads, and reports what it does as events on the user-interface thread.
#pragma once

#include <functional>
#include <string>

#include "ui/controls/control.h"

namespace quellix::ui {

class WebBrowserPeer : public ControlPeer {
 public:
  // Each false when the page engine refused or is missing.
  virtual bool Navigate(const std::string& url) = 0;
  virtual bool GoBack() = 0;
  virtual bool GoForward() = 0;
  virtual bool Stop() = 0;
  virtual bool Refresh() = 0;
  virtual std::string LocationURL() const = 0;
  virtual std::string LocationName() const = 0;
};

class WebBrowser : public Control {
 public:
  WebBrowser(std::string name, TwipsRect rect, Control* container)
      : Control(ControlKind::kWebBrowser, std::move(name), rect, container, {}) {}

  bool Navigate(const std::string& url) { return Engine() && Engine()->Navigate(url); }
  bool GoBack() { return Engine() && Engine()->GoBack(); }
  bool GoForward() { return Engine() && Engine()->GoForward(); }
  bool Stop() { return Engine() && Engine()->Stop(); }
  bool Refresh() { return Engine() && Engine()->Refresh(); }
  std::string LocationURL() const { return Engine() ? Engine()->LocationURL() : std::string(); }
  std::string LocationName() const { return Engine() ? Engine()->LocationName() : std::string(); }
  // Ends the page for good: the browser goes with its window, and the page
  // stops, its sound and scripts included. What closing a window does to it.
  void Release() { AttachPeer(nullptr); }

  // The browser's events, raised by the backend.
  void RaiseStatusTextChange(const std::string& text) {
    if (OnStatusTextChange) OnStatusTextChange(text);
  }
  void RaiseProgressChange(long progress, long progress_max) {
    if (OnProgressChange) OnProgressChange(progress, progress_max);
  }
  void RaiseDownloadBegin() {
    if (OnDownloadBegin) OnDownloadBegin();
  }
  void RaiseDownloadComplete() {
    if (OnDownloadComplete) OnDownloadComplete();
  }

  std::function<void(const std::string&)> OnStatusTextChange;
  std::function<void(long, long)> OnProgressChange;
  std::function<void()> OnDownloadBegin;
  std::function<void()> OnDownloadComplete;

 private:
  WebBrowserPeer* Engine() const { return dynamic_cast<WebBrowserPeer*>(Peer()); }
};

}  // namespace quellix::ui
