// cIEWindows: keeps one IE_Class sink attached to every open browser window,
// rebuilding all sinks whenever a window opens or closes.
#pragma once

#include <memory>
#include <vector>

#include "core/browser.h"
#include "core/ie_class.h"

namespace quellix {

class cIEWindows : public ShellWindowsEvents, public std::enable_shared_from_this<cIEWindows> {
 public:
  // Creating the tracker runs the first rebuild, which also subscribes to the
  // window list's events.
  static std::shared_ptr<cIEWindows> Create(ShellWindowsFactory& shell, ProgramState& state, PopupHost& host);
  ~cIEWindows() override;
  cIEWindows(const cIEWindows&) = delete;
  cIEWindows& operator=(const cIEWindows&) = delete;

  // The sink at `vntIndexKey` (counting from 1), or nullptr outside the collection.
  std::shared_ptr<IE_Class> IE(long vntIndexKey);
  long Count() const { return static_cast<long>(colIE.size()); }
  // NewEnum: iteration over the sinks.
  auto begin() const { return colIE.begin(); }
  auto end() const { return colIE.end(); }
  // Asks the first tracked window to quit; false when there is none or it failed.
  bool closeIE();

  void WinShell_WindowRegistered(long lCookie);
  void WinShell_WindowRevoked(long lCookie);

 private:
  cIEWindows(ShellWindowsFactory& shell, ProgramState& state, PopupHost& host)
      : shell_(shell), state_(state), host_(host) {}

  void OnWindowRegistered(long cookie) override { WinShell_WindowRegistered(cookie); }
  void OnWindowRevoked(long cookie) override { WinShell_WindowRevoked(cookie); }

  // For rebuild number `rebuild`; nothing is added once another rebuild has started.
  std::shared_ptr<IE_Class> addIE(std::shared_ptr<BrowserWindow> browser, unsigned long long rebuild);
  // True when a rebuild started after rebuild number `rebuild`: one nested in
  // it, run by an event that came in during one of its calls to the browser
  // side. The nested rebuild's collection is the newer one.
  bool Overtaken(unsigned long long rebuild) const { return rebuilds_ != rebuild; }
  void removeIE(long vntIndexKey);
  void refreshIE();

  ShellWindowsFactory& shell_;
  ProgramState& state_;
  PopupHost& host_;
  std::vector<std::shared_ptr<IE_Class>> colIE;      // one sink per window, in list order
  std::shared_ptr<ShellWindowList> winShell;         // the list whose events we receive
  std::unique_ptr<Subscription> winShellEvents_;     // that subscription
  bool boolHooked = false;                           // winShell has been set
  unsigned long long rebuilds_ = 0;                  // rebuilds started so far
};

}  // namespace quellix
