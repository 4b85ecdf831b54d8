#include <windows.h>

#include "platform/message_pump.h"
#include "platform/win/message_step_win.h"

namespace quellix::platform {
namespace {

// Dispatches what is queued, each message as the main loop does; false when WM_QUIT came (it is posted again so
// that the main loop sees it too).
bool DispatchPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    DispatchProgramMessage(msg);
  }
  return true;
}

}  // namespace

void ProcessPendingMessagesOnce() { DispatchPending(); }

bool WaitForMessage() {
  // Sleeps in the kernel until input arrives: a waiting program uses no processor time.
  MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return DispatchPending();
}

}  // namespace quellix::platform
