// The one step every message loop of the program takes for each message, the
// main loop and the nested waits alike: keyboard messages are first offered
// to an embedded object that has the focus (the web browser control, through
// the window that hosts it), then to the dialog keys of the program's window
// that holds the focus (Tab, Shift+Tab, Enter, Escape, arrows), and only then
// translated and dispatched.
#pragma once

#include <windows.h>

namespace quellix::platform {

// Sent to each window from the focused one up to its top-level window, with
// lParam the MSG*: a window that hosts an embedded object passes the key to
// the object's accelerator handling and answers TRUE when the object took it.
UINT TranslateAcceleratorMessage();

void DispatchProgramMessage(MSG& message);

}  // namespace quellix::platform
