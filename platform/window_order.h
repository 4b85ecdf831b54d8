// Window order (SetWindowPos) and the utilities that put a window on top of
// all others or back among ordinary windows.
#pragma once

#include <cstdint>

namespace quellix::platform {

// A window handle as the platform gives it (an HWND on Windows).
using WindowHandle = std::uintptr_t;

// Windows values of SetWindowPos (HWND_TOPMOST, HWND_NOTOPMOST, SWP_NOSIZE, SWP_NOMOVE).
inline constexpr std::intptr_t kHwndTopmost = -1;    // above all non-topmost windows, held there
inline constexpr std::intptr_t kHwndNoTopmost = -2;  // above all non-topmost windows, as an ordinary one
inline constexpr unsigned kSwpNoSize = 1;
inline constexpr unsigned kSwpNoMove = 2;

// SetWindowPos; false when it failed (for instance, no such window).
bool SetWindowPosition(WindowHandle window, std::intptr_t insert_after, int x, int y, int cx, int cy,
                       unsigned flags);

// Whether the window is topmost now (WS_EX_TOPMOST); false for no window.
bool IsTopmost(WindowHandle window);

}  // namespace quellix::platform

namespace quellix {

// clsOnTop: puts a window above all others or back among ordinary windows.
// Each call also activates the window and brings it to the front.
class clsOnTop {
 public:
  void MakeNormal(platform::WindowHandle hwnd) const;
  void MakeTopMost(platform::WindowHandle hwnd) const;
};

// modOnTop: topmost when `on_top`, otherwise an ordinary window.
void modOnTop(platform::WindowHandle window, bool on_top);

}  // namespace quellix
