// The Win32 backend's system-wide parts: window procedures and messages, the
// hot key, the notification area and message boxes.
#include <windows.h>

#include <shellapi.h>

#include "platform/win/wide_string.h"
#include "ui/controls/message_box.h"
#include "ui/controls/notify_icon.h"
#include "ui/controls/window_messages.h"

namespace quellix::ui {
namespace {

constexpr wchar_t kProcedureProperty[] = L"Quellix.Procedure";

HWND AsWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The window procedure installed by ReplaceWindowProcedure: hands every
// message to the program's procedure kept on the window.
LRESULT CALLBACK ReplacementThunk(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto procedure = reinterpret_cast<WindowProcedure>(GetPropW(window, kProcedureProperty));
  if (procedure == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  try {
    return procedure(reinterpret_cast<WindowHandle>(window), message, wparam, lparam);
  } catch (...) {
    return 0;
  }
}

}  // namespace

ProcedureToken ReplaceWindowProcedure(WindowHandle window, WindowProcedure procedure) {
  if (!IsWindow(AsWindow(window)) || procedure == nullptr) return 0;
  SetPropW(AsWindow(window), kProcedureProperty, reinterpret_cast<HANDLE>(procedure));
  // The 64-bit form of SetWindowLong with GWL_WNDPROC.
  const LONG_PTR previous =
      SetWindowLongPtrW(AsWindow(window), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReplacementThunk));
  if (previous == 0) RemovePropW(AsWindow(window), kProcedureProperty);
  return static_cast<ProcedureToken>(previous);
}

void RestoreWindowProcedure(WindowHandle window, ProcedureToken previous) {
  if (previous == 0 || !IsWindow(AsWindow(window))) return;
  SetWindowLongPtrW(AsWindow(window), GWLP_WNDPROC, static_cast<LONG_PTR>(previous));
  RemovePropW(AsWindow(window), kProcedureProperty);
}

MessageResult CallPreviousProcedure(ProcedureToken previous, WindowHandle window, unsigned message,
                                    std::uintptr_t wparam, std::intptr_t lparam) {
  if (previous == 0) return DefWindowProcW(AsWindow(window), message, wparam, lparam);
  // cppcheck-suppress intToPointerCast ; the token is the procedure SetWindowLongPtr returned
  return CallWindowProcW(reinterpret_cast<WNDPROC>(previous), AsWindow(window), message, wparam, lparam);
}

bool PostWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  return PostMessageW(AsWindow(window), message, wparam, lparam) != 0;
}

bool RegisterSystemHotKey(WindowHandle window, int id, unsigned modifiers, unsigned virtual_key) {
  return RegisterHotKey(AsWindow(window), id, modifiers, virtual_key) != 0;
}

bool UnregisterSystemHotKey(WindowHandle window, int id) { return UnregisterHotKey(AsWindow(window), id) != 0; }

unsigned RegisteredMessage(const std::string& name) { return RegisterWindowMessageW(win::Wide(name).c_str()); }

bool ShellNotifyIcon(NotifyIconAction action, const NotifyIconRecord& record) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = AsWindow(record.hWnd);
  data.uID = record.uID;
  data.uFlags = record.uFlags;  // the same bits as NIF_MESSAGE, NIF_ICON and NIF_TIP
  data.uCallbackMessage = record.uCallbackMessage;
  data.hIcon = reinterpret_cast<HICON>(record.hIcon);
  wcsncpy_s(data.szTip, win::Wide(record.szTip).c_str(), _TRUNCATE);
  return Shell_NotifyIconW(action == NotifyIconAction::kAdd ? NIM_ADD : NIM_DELETE, &data) != 0;
}

void ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption) {
  MessageBoxW(AsWindow(owner), win::Wide(text).c_str(), win::Wide(caption).c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace quellix::ui
