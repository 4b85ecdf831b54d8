#include "platform/win/message_step_win.h"

namespace quellix::platform {
namespace {

bool IsKeyboardMessage(const MSG& message) {
  return message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
}

// A top-level window of this thread, which is the program's user-interface thread.
bool OwnTopLevelWindow(HWND window) {
  return window != nullptr && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

bool TakenByEmbeddedObject(MSG& message) {
  const UINT translate = TranslateAcceleratorMessage();
  for (HWND window = message.hwnd; window != nullptr; window = GetAncestor(window, GA_PARENT)) {
    if (SendMessageW(window, translate, 0, reinterpret_cast<LPARAM>(&message)) != 0) return true;
    if (window == GetAncestor(window, GA_ROOT)) break;
  }
  return false;
}

}  // namespace

UINT TranslateAcceleratorMessage() {
  static const UINT message = RegisterWindowMessageW(L"Quellix.TranslateAccelerator");
  return message;
}

void DispatchProgramMessage(MSG& message) {
  if (IsKeyboardMessage(message) && message.hwnd != nullptr) {
    if (TakenByEmbeddedObject(message)) return;
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (OwnTopLevelWindow(root) && IsDialogMessageW(root, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace quellix::platform
