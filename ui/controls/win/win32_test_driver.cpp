// The shared window-layer tests' driver on the Win32 backend: the messages a
// user's action or the system sends, and the widgets read back through their
// own messages.
#include <windows.h>

#include <commctrl.h>

#include "platform/win/wide_string.h"
#include "ui/controls/window_layer_test_driver.h"

namespace quellix::ui::testing {
namespace {

HWND H(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

LRESULT Send(const Control& control, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  return SendMessageW(H(control.hWnd()), message, wparam, lparam);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
  while (!done()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

void UserClicks(CheckBox& box) { Send(box, BM_CLICK); }
void UserClicks(Button& button) { Send(button, BM_CLICK); }
void UserClicks(Label& label) {
  Send(label, WM_LBUTTONDOWN, MK_LBUTTON);
  Send(label, WM_LBUTTONUP);
}

void UserTypes(TextBox& box, const std::string& keys) {
  for (char key : keys) Send(box, WM_CHAR, static_cast<unsigned char>(key));
}

// What the list box tells its form when the user selects an entry.
void UserSelects(ListBoxControl& list, int index) {
  Send(list, LB_SETCURSEL, static_cast<WPARAM>(index));
  const HWND box = H(list.hWnd());
  SendMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), LBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

void UserChooses(Form& form, const MenuItem& item) {
  SendMessageW(H(form.hWnd()), WM_COMMAND, MAKEWPARAM(item.CommandId(), 0), 0);
}

// Keys queued for the menu's own loop: down to the entry and Enter, or Escape.
void UserWillAnswerContextMenu(Form& form, const MenuItem& menu, const MenuItem* entry) {
  const HWND window = H(form.hWnd());
  auto key = [window](WPARAM code) {
    PostMessageW(window, WM_KEYDOWN, code, 0);
    PostMessageW(window, WM_KEYUP, code, 0);
  };
  if (entry == nullptr) return key(VK_ESCAPE);
  for (const auto& item : menu.Items()) {
    key(VK_DOWN);
    if (item.get() == entry) break;
  }
  key(VK_RETURN);
}

void UserResizes(Form& form, int outer_width, int outer_height) {
  const HWND window = H(form.hWnd());
  const int dpi = static_cast<int>(GetDpiForWindow(window));
  SetWindowPos(window, nullptr, 0, 0, PixelsFromTwips(outer_width, dpi), PixelsFromTwips(outer_height, dpi),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpAWhile();
}

void SystemSetsWindowState(Form& form, WindowState state) {
  const HWND window = H(form.hWnd());
  ShowWindow(window, state == WindowState::kMinimized   ? SW_MINIMIZE
                     : state == WindowState::kMaximized ? SW_MAXIMIZE
                                                        : SW_RESTORE);
  PumpUntil([&] { return form.GetWindowState() == state; });
}

void SystemRequestsClose(Form& form) { SendMessageW(H(form.hWnd()), WM_CLOSE, 0, 0); }

void SystemReportsSettingChange(Form& form, const std::string& area) {
  const std::wstring wide = win::Wide(area);
  SendMessageW(H(form.hWnd()), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

MessageResult SendToWindow(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  return SendMessageW(H(window), message, wparam, lparam);
}
bool WindowExists(WindowHandle window) { return IsWindow(H(window)) != FALSE; }

bool ShownOnScreen(const Form& form) {
  return IsWindowVisible(H(form.hWnd())) && !IsIconic(H(form.hWnd()));
}

std::string ShownText(WindowHandle window) {
  wchar_t text[256] = {};
  GetWindowTextW(H(window), text, 256);
  return win::Utf8(text);
}

bool ShownVisible(const Control& control) {
  return (GetWindowLongPtrW(H(control.hWnd()), GWL_STYLE) & WS_VISIBLE) != 0;
}

int ShownCheck(const CheckBox& box) {
  const LRESULT check = Send(box, BM_GETCHECK);
  return check == BST_CHECKED ? 1 : check == BST_INDETERMINATE ? 2 : 0;
}

int ShownListCount(const ListBoxControl& list) { return static_cast<int>(Send(list, LB_GETCOUNT)); }

int ShownListSelection(const ListBoxControl& list) {
  const LRESULT selected = Send(list, LB_GETCURSEL);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

std::vector<std::string> ShownPanels(const StatusBar& bar) {
  std::vector<std::string> panels;
  const int parts = static_cast<int>(Send(bar, SB_GETPARTS));
  for (int part = 0; part < parts; ++part) {
    wchar_t text[256] = {};
    Send(bar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
    panels.push_back(win::Utf8(text));
  }
  return panels;
}

bool ShownEnabled(const Control& control) { return IsWindowEnabled(H(control.hWnd())) != FALSE; }

ShownEntry ShownMenuEntry(const Form& form, const MenuItem& item) {
  const HMENU bar = GetMenu(H(form.hWnd()));
  const UINT state = bar == nullptr ? static_cast<UINT>(-1) : GetMenuState(bar, static_cast<UINT>(item.CommandId()), MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return ShownEntry::kAbsent;
  return (state & MF_GRAYED) != 0 ? ShownEntry::kGreyed : ShownEntry::kChoosable;
}

int MenuBarEntries(const Form& form) {
  const HMENU bar = GetMenu(H(form.hWnd()));
  return bar == nullptr ? 0 : GetMenuItemCount(bar);
}

}  // namespace quellix::ui::testing
