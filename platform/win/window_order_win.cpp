#include <windows.h>

#include "platform/window_order.h"

namespace quellix::platform {

bool SetWindowPosition(WindowHandle window, std::intptr_t insert_after, int x, int y, int cx, int cy,
                       unsigned flags) {
  return SetWindowPos(reinterpret_cast<HWND>(window), reinterpret_cast<HWND>(insert_after), x, y, cx, cy,
                      flags) != 0;
}

bool IsTopmost(WindowHandle window) {
  const HWND hwnd = reinterpret_cast<HWND>(window);
  return IsWindow(hwnd) && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

}  // namespace quellix::platform
