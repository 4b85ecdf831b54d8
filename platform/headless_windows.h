// The portable build's window manager: which headless windows exist and
// whether each is topmost. The headless control layer registers its windows
// here; SetWindowPosition acts on them (their order and activation are not
// kept: nothing the program does depends on them).
#pragma once

#include "platform/window_order.h"

namespace quellix::platform::headless {

WindowHandle CreateWindowHandle();
void DestroyWindowHandle(WindowHandle window);

}  // namespace quellix::platform::headless
