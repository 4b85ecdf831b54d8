#include <windows.h>

#include "app/single_instance_win.h"
#include "platform/win/wide_string.h"
#include "product_identity.h"
#include "ui/main/form1.h"

namespace quellix::app {

SingleInstance::SingleInstance() {
  const std::wstring name = L"Local\\" + win::Wide(build::kProductName) + L" is running";
  mutex_.Reset(CreateMutexW(nullptr, FALSE, name.c_str()));
  first_ = !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

void BringUpRunningCopy() {
  HWND running = FindWindowW(L"Quellix.Form1", nullptr);
  if (running == nullptr) return;
  DWORD process = 0;
  GetWindowThreadProcessId(running, &process);
  // Lets the running copy bring its window to the front.
  AllowSetForegroundWindow(process);
  PostMessageW(running, RegisterWindowMessageW(win::Wide(kShowMainWindowMessage).c_str()), 0, 0);
}

}  // namespace quellix::app
