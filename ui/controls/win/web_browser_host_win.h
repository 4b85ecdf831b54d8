// The embedded web browser of the Win32 backend: the system's browser control
// (CLSID_WebBrowser) in-place activated in a child window of the form, with
// its DWebBrowserEvents2 events passed to the portable WebBrowser control.
#pragma once

#include <memory>

#include "ui/controls/web_browser.h"
#include "ui/controls/win/control_host_win.h"

namespace quellix::ui::win32 {

// The peer of a web browser control. Where the system has no browser control
// the window is still there and every navigation fails.
std::unique_ptr<ControlPeer> CreateWebBrowserPeer(WebBrowser& control, ControlHost& form);

}  // namespace quellix::ui::win32
