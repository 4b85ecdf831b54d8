// modHook: the allow-next hot key, Win+Z. The main window owns the hot key and
// is subclassed; on WM_HOTKEY the replacement procedure posts a mouse move to
// a picture box of the main window, whose handler then runs the toggle from
// the message loop, after the key event has been handled.
#pragma once

#include <cstdint>

#include "ui/controls/window_messages.h"

namespace quellix::modHook {

inline constexpr int kHotKeyId = 0;
inline constexpr unsigned kVirtualKeyZ = 0x5A;

// Registers Win+Z on `window` and subclasses it; `target` receives the posted
// mouse moves. A hot key another program owns is not registered, silently.
void HookWindow(ui::WindowHandle window, ui::WindowHandle target);
// Unregisters the hot key and restores the window's procedure; nothing when
// not hooked.
void UnhookWindow();
ui::MessageResult WindowProc(ui::WindowHandle window, unsigned message, std::uintptr_t wparam,
                             std::intptr_t lparam);

}  // namespace quellix::modHook
