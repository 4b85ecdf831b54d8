// How a control's window reaches its peer: one binding, one subclass
// procedure for every control window, whatever its class.
#include "ui/controls/win/control_host_win.h"

#include <commctrl.h>

#include <set>
#include <string>

namespace quellix::ui::win32 {
namespace {

constexpr UINT_PTR kControlSubclass = 1;

LRESULT CALLBACK ControlSubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                          DWORD_PTR) {
  ControlNotifications* peer = kControlWindows.Of(window);
  if (message == WM_NCDESTROY) {
    DetachControlWindow(window);
    if (peer != nullptr) peer->WindowDestroyed();
    return DefSubclassProc(window, message, wparam, lparam);
  }
  if (peer != nullptr) {
    // No exception leaves a window procedure.
    try {
      if (std::optional<LRESULT> handled = peer->WindowMessage(message, wparam, lparam)) return *handled;
    } catch (...) {
    }
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

void AttachControlWindow(HWND window, ControlNotifications& peer) {
  if (window == nullptr) return;
  kControlWindows.Bind(window, &peer);
  SetWindowSubclass(window, &ControlSubclassProcedure, kControlSubclass, 0);
}

void DetachControlWindow(HWND window) {
  if (window == nullptr || !IsWindow(window)) return;
  RemoveWindowSubclass(window, &ControlSubclassProcedure, kControlSubclass);
  kControlWindows.Bind(window, nullptr);
}

void EnsureWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background) {
  static std::set<std::wstring> registered;
  if (registered.contains(name)) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background;
  window_class.lpszClassName = name;
  if (RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    registered.insert(name);
  }
}

int LineHeightOf(HFONT font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics.tmHeight > 0 ? metrics.tmHeight : 16;
}

}  // namespace quellix::ui::win32
