// The portable build's window manager: which headless windows exist, their
// topmost state and their front-to-back order. The headless control layer
// registers its windows here; SetWindowPosition acts on them.
#pragma once

#include <vector>

#include "platform/window_order.h"

namespace quellix::platform::headless {

// A new window handle, placed at the front of the ordinary windows.
WindowHandle CreateWindowHandle();
void DestroyWindowHandle(WindowHandle window);
bool IsWindow(WindowHandle window);
// Front to back: topmost windows first, then the ordinary ones.
std::vector<WindowHandle> ZOrder();
WindowHandle ActiveWindow();

}  // namespace quellix::platform::headless
