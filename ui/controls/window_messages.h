// Window messages, window procedures and system-wide hot keys, with the
// Windows numbers of the messages this program uses. The Win32 backend maps
// these onto the real calls (SetWindowLongPtr with GWLP_WNDPROC,
// CallWindowProc, PostMessage, RegisterHotKey); the headless backend keeps a
// procedure chain and a hot-key table of its own with the same behaviour.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window_order.h"

namespace quellix::ui {

using platform::WindowHandle;

inline constexpr unsigned kWmNcDestroy = 0x0082;
inline constexpr unsigned kWmMouseMove = 0x0200;
inline constexpr unsigned kWmLButtonDown = 0x0201;
inline constexpr unsigned kWmLButtonUp = 0x0202;
inline constexpr unsigned kWmLButtonDblClk = 0x0203;
inline constexpr unsigned kWmRButtonDown = 0x0204;
inline constexpr unsigned kWmRButtonUp = 0x0205;
inline constexpr unsigned kWmHotKey = 0x0312;
inline constexpr unsigned kWmApp = 0x8000;

inline constexpr unsigned kModWin = 0x0008;
inline constexpr unsigned kModNoRepeat = 0x4000;

using MessageResult = std::intptr_t;
// A window procedure of the program's own.
using WindowProcedure = MessageResult (*)(WindowHandle window, unsigned message, std::uintptr_t wparam,
                                          std::intptr_t lparam);
// Stands for a window's previous procedure; 0 when replacing it failed.
using ProcedureToken = std::uintptr_t;

// Subclasses the window: `procedure` receives its messages from now on.
ProcedureToken ReplaceWindowProcedure(WindowHandle window, WindowProcedure procedure);
// Puts the previous procedure back.
void RestoreWindowProcedure(WindowHandle window, ProcedureToken previous);
MessageResult CallPreviousProcedure(ProcedureToken previous, WindowHandle window, unsigned message,
                                    std::uintptr_t wparam, std::intptr_t lparam);
// Queues a message for the window; it is handled later, from the message loop.
bool PostWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam);

// False when the key combination belongs to another window or program.
bool RegisterSystemHotKey(WindowHandle window, int id, unsigned modifiers, unsigned virtual_key);
bool UnregisterSystemHotKey(WindowHandle window, int id);

// A message number shared by every program that asks for the same name
// (RegisterWindowMessage), such as "TaskbarCreated".
unsigned RegisteredMessage(const std::string& name);

}  // namespace quellix::ui
