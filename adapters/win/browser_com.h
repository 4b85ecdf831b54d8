// The browser side over COM: the shell's ShellWindows list with its
// DShellWindowsEvents, each entry as an IWebBrowser2 with its
// DWebBrowserEvents2, reached through connection points. The tracker and the
// sinks of the core run on it unchanged.
//
// The calling thread must be in a single-threaded apartment (CoInitializeEx
// with COINIT_APARTMENTTHREADED), where every event then arrives.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>

#include "core/browser.h"

namespace quellix::win {

// Creates each list with CoCreateInstance(CLSID_ShellWindows).
class ComShellWindowsFactory final : public ShellWindowsFactory {
 public:
  std::shared_ptr<ShellWindowList> Create() override;
};

// The event sinks that the subscriptions connect, exposed for tests that
// raise events on them directly. Each passes what it decodes to `listener`
// while the listener lives; nullptr when out of memory.
Microsoft::WRL::ComPtr<IDispatch> MakeBrowserEventsSink(std::weak_ptr<BrowserEvents> listener);
Microsoft::WRL::ComPtr<IDispatch> MakeShellWindowsEventsSink(std::weak_ptr<ShellWindowsEvents> listener);

}  // namespace quellix::win
