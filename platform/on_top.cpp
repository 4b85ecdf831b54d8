#include "platform/window_order.h"

namespace quellix {

// Position and size are ignored under SWP_NOMOVE | SWP_NOSIZE; the activation
// that comes with the call is wanted. Failures are ignored.
void clsOnTop::MakeNormal(platform::WindowHandle hwnd) const {
  platform::SetWindowPosition(hwnd, platform::HWND_NOTOPMOST, 0, 0, 0, 0,
                              platform::SWP_NOMOVE | platform::SWP_NOSIZE);
}

void clsOnTop::MakeTopMost(platform::WindowHandle hwnd) const {
  platform::SetWindowPosition(hwnd, platform::HWND_TOPMOST, 0, 0, 0, 0,
                              platform::SWP_NOMOVE | platform::SWP_NOSIZE);
}

void modOnTop(platform::WindowHandle window, bool on_top) {
  platform::SetWindowPosition(window, on_top ? platform::HWND_TOPMOST : platform::HWND_NOTOPMOST, 0, 0, 0, 0,
                              platform::SWP_NOMOVE | platform::SWP_NOSIZE);
}

}  // namespace quellix
