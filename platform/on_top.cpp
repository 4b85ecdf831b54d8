#include "platform/window_order.h"

namespace quellix {

// Position and size are ignored under kSwpNoMove | kSwpNoSize; the activation
// that comes with the call is wanted. Failures are ignored.
void clsOnTop::MakeNormal(platform::WindowHandle hwnd) const {
  platform::SetWindowPosition(hwnd, platform::kHwndNoTopmost, 0, 0, 0, 0,
                              platform::kSwpNoMove | platform::kSwpNoSize);
}

void clsOnTop::MakeTopMost(platform::WindowHandle hwnd) const {
  platform::SetWindowPosition(hwnd, platform::kHwndTopmost, 0, 0, 0, 0,
                              platform::kSwpNoMove | platform::kSwpNoSize);
}

void modOnTop(platform::WindowHandle window, bool on_top) {
  platform::SetWindowPosition(window, on_top ? platform::kHwndTopmost : platform::kHwndNoTopmost, 0, 0, 0, 0,
                              platform::kSwpNoMove | platform::kSwpNoSize);
}

}  // namespace quellix
