#include "ui/main/mod_hook.h"

namespace quellix::modHook {
namespace {

// The module's program-wide values, set by HookWindow.
struct HookState {
  ui::WindowHandle hWndMain = 0;    // owns the hot key, subclassed
  ui::WindowHandle hWndTarget = 0;  // pctHotkey
  ui::ProcedureToken lpPrevWndProc = 0;
};

HookState& Hook() {
  static HookState state;
  return state;
}

}  // namespace

void HookWindow(ui::WindowHandle window, ui::WindowHandle target) {
  HookState& hook = Hook();
  hook.hWndMain = window;
  hook.hWndTarget = target;
  // Holding the keys down toggles once, not at every key repeat.
  ui::RegisterSystemHotKey(window, kHotKeyId, ui::kModWin | ui::kModNoRepeat, kVirtualKeyZ);
  hook.lpPrevWndProc = ui::ReplaceWindowProcedure(window, &WindowProc);
}

void UnhookWindow() {
  HookState& hook = Hook();
  if (hook.hWndMain == 0) return;
  ui::UnregisterSystemHotKey(hook.hWndMain, kHotKeyId);
  if (hook.lpPrevWndProc != 0) ui::RestoreWindowProcedure(hook.hWndMain, hook.lpPrevWndProc);
  hook.hWndMain = 0;
  hook.hWndTarget = 0;
}

ui::MessageResult WindowProc(ui::WindowHandle window, unsigned message, std::uintptr_t wparam,
                             std::intptr_t lparam) {
  // Kept before unhooking: the message still goes to the procedure it was meant for.
  const ui::ProcedureToken previous = Hook().lpPrevWndProc;
  if (message == ui::kWmNcDestroy) {
    UnhookWindow();
  } else if (message == ui::kWmHotKey) {
    ui::PostWindowMessage(Hook().hWndTarget, ui::kWmMouseMove, 0, 0);
  }
  return ui::CallPreviousProcedure(previous, window, message, wparam, lparam);
}

}  // namespace quellix::modHook
