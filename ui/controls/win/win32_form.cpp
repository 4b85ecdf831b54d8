// The Win32 backend's forms: one top-level window per form, its menus, timers,
// tooltips and font, and the toolkit that makes them.
#include <windows.h>

#include <cwchar>

#include <commctrl.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"
#include "platform/win/window_binding.h"
#include "ui/controls/form.h"
#include "ui/controls/win/control_host_win.h"
#include "ui/controls/win/win32_controls.h"

namespace quellix::ui::win32 {
namespace {

DWORD StyleOf(const FormStyle& style) {
  // A fixed single border: a title bar with a close button, no minimise or
  // maximise button, not resizable. No WS_CLIPCHILDREN: frames are drawn
  // through, so the form must paint the background behind them. A sizable
  // form adds a sizing border and the two buttons.
  if (!style.has_border) return WS_POPUP;
  const DWORD sizing = style.sizable ? WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX : 0;
  return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | sizing;
}

DWORD ExStyleOf(const FormStyle& style) {
  return (style.in_taskbar ? 0 : WS_EX_TOOLWINDOW) | (style.dialog_frame ? WS_EX_DLGMODALFRAME : 0);
}

// The nearest container with a window that holds its controls' windows: a
// picture box. Frames are drawn through and hold none.
const Control* ClippingContainer(const Control& control) {
  for (const Control* container = control.Container(); container != nullptr; container = container->Container()) {
    if (container->Kind() == ControlKind::kPictureBox && container->hWnd() != 0) return container;
  }
  return nullptr;
}

HICON LoadIconSized(const std::string& resource, int size) {
  if (resource.empty()) return nullptr;
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), win::Wide(resource).c_str(), IMAGE_ICON, size,
                                       size, LR_DEFAULTCOLOR));
}

// The form's window. Its controls see it only as their ControlHost.
class Win32FormPeer final : public FormPeer, public ControlHost {
 public:
  explicit Win32FormPeer(Form& form);
  ~Win32FormPeer() override;
  Win32FormPeer(const Win32FormPeer&) = delete;
  Win32FormPeer& operator=(const Win32FormPeer&) = delete;

  // FormPeer
  WindowHandle Handle() const override;
  void ShowCaption(const std::string& caption) override;
  void Present(bool visible, WindowState state) override;
  int OuterWidthTwips() const override;
  int OuterHeightTwips() const override;
  void ShowClientSize() override;
  void ShowBackColor(std::optional<Color> color) override;
  std::uintptr_t IconHandle() const override;
  std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) override;
  std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer) override;
  void ShowMenuBar(const std::vector<const MenuItem*>& menus) override;
  int TrackPopupMenu(const MenuItem& menu) override;

  // ControlHost
  int Dpi() const override { return dpi_; }
  HFONT Font() const override { return font_.Get(); }
  HFONT CreateFontFor(const FontSpec& spec) const override;
  HWND ParentWindowOf(const Control& control) const override;
  RECT PlaceOf(const Control& control) const override;
  void PlaceWindow(HWND window, const Control& control) const override;
  void SetToolTip(HWND control, const std::string& text) override;

  // For the form's timers.
  HWND Window() const { return window_.Get(); }
  void AddTimer(UINT_PTR id, Timer* timer) { timers_[id] = timer; }
  void RemoveTimer(UINT_PTR id) { timers_.erase(id); }
  UINT_PTR NextTimerId() { return next_timer_id_++; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  const FormStyle& Style() const { return form_.Style(); }
  // Sizes the window around its designed client area; centred in the work
  // area, or at its present place.
  void FitToClientArea(bool centre);
  // Enter on a focused push button presses it; false when no button has the focus.
  bool PressFocusedButton();

  Form& form_;
  win::ScopedWindow window_;
  win::ScopedFont font_;
  win::ScopedIcon big_icon_;
  win::ScopedIcon small_icon_;
  win::ScopedBrush back_brush_;
  HWND tooltip_ = nullptr;  // destroyed with the form, which owns it
  HWND focus_ = nullptr;    // the control that had the focus when the window was last active
  int dpi_ = 96;
  bool has_menu_ = false;
  bool created_ = false;
  bool sizing_by_code_ = false;  // the size changes now are ours, not the user's
  SIZE client_size_{};
  std::map<UINT_PTR, Timer*> timers_;
  UINT_PTR next_timer_id_ = 1;
};

// Every form's window carries its peer, from WM_NCCREATE to WM_NCDESTROY.
constexpr win::WindowBinding<Win32FormPeer> kFormWindows{L"Quellix.Form"};

class Win32TimerPeer final : public TimerPeer {
 public:
  Win32TimerPeer(Win32FormPeer& form, Timer& timer) : form_(form), timer_(timer), id_(form.NextTimerId()) {}
  ~Win32TimerPeer() override { Stop(); }
  void Start(int interval_ms) override {
    form_.AddTimer(id_, &timer_);
    SetTimer(form_.Window(), id_, static_cast<UINT>(interval_ms < 1 ? 1 : interval_ms), nullptr);
  }
  void Stop() override {
    if (IsWindow(form_.Window())) KillTimer(form_.Window(), id_);
    form_.RemoveTimer(id_);
  }

 private:
  Win32FormPeer& form_;
  Timer& timer_;
  UINT_PTR id_;
};

class Win32Toolkit final : public Toolkit {
 public:
  Win32Toolkit() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
  }
  std::unique_ptr<FormPeer> CreateFormPeer(Form& form) override {
    return std::make_unique<Win32FormPeer>(form);
  }
};

void AppendItems(HMENU menu, const MenuItem& parent) {
  for (const auto& item : parent.Items()) {
    if (!item->Visible()) continue;
    if (!item->Items().empty()) {
      HMENU sub = CreatePopupMenu();
      AppendItems(sub, *item);
      AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), win::Wide(item->Caption()).c_str());
    } else {
      AppendMenuW(menu, MF_STRING | (item->Enabled() ? 0 : MF_GRAYED), static_cast<UINT_PTR>(item->CommandId()),
                  win::Wide(item->Caption()).c_str());
    }
  }
}

Win32FormPeer::Win32FormPeer(Form& form) : form_(form) {
  const FormStyle& style = form.Style();
  const std::wstring class_name = win::Wide(style.class_name.empty() ? "Quellix.Form" : style.class_name);
  EnsureWindowClass(class_name.c_str(), &Win32FormPeer::WindowProcedure, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  dpi_ = static_cast<int>(GetDpiForSystem());
  // The window procedure takes the window into window_ at its first message.
  CreateWindowExW(ExStyleOf(style), class_name.c_str(), win::Wide(style.caption).c_str(), StyleOf(style),
                  CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!window_) return;
  dpi_ = static_cast<int>(GetDpiForWindow(window_.Get()));
  font_.Reset(CreateFontFor(style.font));
  big_icon_.Reset(LoadIconSized(style.icon_resource, GetSystemMetricsForDpi(SM_CXICON, dpi_)));
  small_icon_.Reset(LoadIconSized(style.icon_resource, GetSystemMetricsForDpi(SM_CXSMICON, dpi_)));
  if (big_icon_) SendMessageW(window_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.Get()));
  if (small_icon_) SendMessageW(window_.Get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.Get()));
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_.Get(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  // Long tips wrap instead of running across the screen.
  if (tooltip_ != nullptr) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Px(6000));
  FitToClientArea(true);
  created_ = true;
}

Win32FormPeer::~Win32FormPeer() {
  for (auto& [id, timer] : timers_) KillTimer(window_.Get(), id);
  timers_.clear();
  // The window procedure must not reach this peer while the window goes.
  if (window_) kFormWindows.Bind(window_.Get(), nullptr);
  window_.Reset();
}

HFONT Win32FormPeer::CreateFontFor(const FontSpec& spec) const {
  if (spec.name.empty()) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi_))) {
      if (spec.bold) metrics.lfMessageFont.lfWeight = FW_BOLD;
      return CreateFontIndirectW(&metrics.lfMessageFont);
    }
  }
  LOGFONTW font{};
  font.lfHeight = -MulDiv(spec.points, dpi_, 72);
  font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  const std::wstring face = win::Wide(spec.name.empty() ? "Tahoma" : spec.name);
  wcsncpy_s(font.lfFaceName, face.c_str(), _TRUNCATE);
  return CreateFontIndirectW(&font);
}

void Win32FormPeer::FitToClientArea(bool centre) {
  RECT outer{0, 0, Px(Style().client_width), Px(Style().client_height)};
  AdjustWindowRectExForDpi(&outer, StyleOf(Style()), has_menu_ ? TRUE : FALSE, ExStyleOf(Style()),
                           static_cast<UINT>(dpi_));
  const int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  const bool was_sizing = std::exchange(sizing_by_code_, true);
  HWND window = window_.Get();
  if (IsIconic(window)) {
    // A minimised window takes the new size when it is restored.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    placement.rcNormalPosition.right = placement.rcNormalPosition.left + width;
    placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + height;
    SetWindowPlacement(window, &placement);
    sizing_by_code_ = was_sizing;
    return;
  }
  if (centre) {
    // Centred in the work area of the screen the window is on.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int left = work.left + ((work.right - work.left) - width) / 2;
    const int top = work.top + ((work.bottom - work.top) - height) / 2;
    SetWindowPos(window, nullptr, left, top < work.top ? work.top : top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
  // A menu bar that wraps onto a second line takes more than the one line
  // allowed for above: grow by what is missing.
  RECT client{};
  GetClientRect(window, &client);
  if (client.bottom != Px(Style().client_height)) {
    height += Px(Style().client_height) - client.bottom;
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    GetClientRect(window, &client);
  }
  client_size_ = {client.right, client.bottom};
  sizing_by_code_ = was_sizing;
}

bool Win32FormPeer::PressFocusedButton() {
  HWND focus = GetFocus();
  if (focus == nullptr || !IsChild(window_.Get(), focus)) return false;
  wchar_t name[16] = {};
  GetClassNameW(focus, name, 16);
  const LONG_PTR type = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
  if (lstrcmpiW(name, L"Button") != 0 || (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)) return false;
  SendMessageW(focus, BM_CLICK, 0, 0);
  return true;
}

WindowHandle Win32FormPeer::Handle() const { return reinterpret_cast<WindowHandle>(window_.Get()); }

void Win32FormPeer::ShowCaption(const std::string& caption) {
  SetWindowTextW(window_.Get(), win::Wide(caption).c_str());
}

void Win32FormPeer::Present(bool visible, WindowState state) {
  HWND window = window_.Get();
  if (!visible) {
    ShowWindow(window, SW_HIDE);
  } else if (state == WindowState::kMinimized) {
    ShowWindow(window, SW_SHOWMINNOACTIVE);
  } else if (state == WindowState::kMaximized) {
    ShowWindow(window, SW_SHOWMAXIMIZED);
  } else {
    ShowWindow(window, IsIconic(window) || IsZoomed(window) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window);
  }
}

int Win32FormPeer::OuterWidthTwips() const {
  RECT outer{};
  GetWindowRect(window_.Get(), &outer);
  return TwipsFromPixels(outer.right - outer.left, dpi_);
}

int Win32FormPeer::OuterHeightTwips() const {
  RECT outer{};
  GetWindowRect(window_.Get(), &outer);
  return TwipsFromPixels(outer.bottom - outer.top, dpi_);
}

void Win32FormPeer::ShowClientSize() {
  // A window not shown yet is still placed as on its first showing.
  FitToClientArea(!IsWindowVisible(window_.Get()));
}

void Win32FormPeer::ShowBackColor(std::optional<Color> color) {
  back_brush_.Reset(color ? CreateSolidBrush(*color) : nullptr);
  InvalidateRect(window_.Get(), nullptr, TRUE);
}

std::uintptr_t Win32FormPeer::IconHandle() const { return reinterpret_cast<std::uintptr_t>(small_icon_.Get()); }

std::unique_ptr<ControlPeer> Win32FormPeer::CreateControlPeer(Control& control) {
  return CreateControlPeerFor(control, *this);
}

std::unique_ptr<TimerPeer> Win32FormPeer::CreateTimerPeer(Timer& timer) {
  return std::make_unique<Win32TimerPeer>(*this, timer);
}

void Win32FormPeer::ShowMenuBar(const std::vector<const MenuItem*>& menus) {
  HMENU bar = CreateMenu();
  for (const MenuItem* menu : menus) {
    HMENU sub = CreatePopupMenu();
    AppendItems(sub, *menu);
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), win::Wide(menu->Caption()).c_str());
  }
  // The window owns the menu from here and destroys it with itself.
  HMENU old = GetMenu(window_.Get());
  SetMenu(window_.Get(), bar);
  if (old != nullptr) DestroyMenu(old);
  has_menu_ = true;
  // A menu bar made anew while the window shows leaves it where it is.
  FitToClientArea(!IsWindowVisible(window_.Get()));
}

int Win32FormPeer::TrackPopupMenu(const MenuItem& menu) {
  win::ScopedMenu popup(CreatePopupMenu());
  AppendItems(popup.Get(), menu);
  POINT pointer{};
  GetCursorPos(&pointer);
  // A context menu of a tray icon closes when the user clicks elsewhere only
  // when its window is in the foreground.
  SetForegroundWindow(window_.Get());
  const int chosen = static_cast<int>(TrackPopupMenuEx(popup.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                       pointer.x, pointer.y, window_.Get(), nullptr));
  PostMessageW(window_.Get(), WM_NULL, 0, 0);
  return chosen;
}

HWND Win32FormPeer::ParentWindowOf(const Control& control) const {
  const Control* box = ClippingContainer(control);
  return box != nullptr ? reinterpret_cast<HWND>(box->hWnd()) : window_.Get();
}

RECT Win32FormPeer::PlaceOf(const Control& control) const {
  const Control* box = ClippingContainer(control);
  int left = control.Rect().Left;
  int top = control.Rect().Top;
  for (const Control* container = control.Container(); container != box; container = container->Container()) {
    left += container->Rect().Left;
    top += container->Rect().Top;
  }
  return RECT{Px(left), Px(top), Px(left + control.Rect().Width), Px(top + control.Rect().Height)};
}

void Win32FormPeer::PlaceWindow(HWND window, const Control& control) const {
  HWND parent = ParentWindowOf(control);
  if (parent != nullptr && GetParent(window) != parent) SetParent(window, parent);
  const RECT place = PlaceOf(control);
  MoveWindow(window, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}

void Win32FormPeer::SetToolTip(HWND control, const std::string& text) {
  if (tooltip_ == nullptr) return;
  const std::wstring wide = win::Wide(text);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_.Get();
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (text.empty()) return;
  tool.lpszText = const_cast<wchar_t*>(wide.c_str());
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK Win32FormPeer::WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32FormPeer* peer = kFormWindows.ForMessage(window, message, lparam);
  if (peer == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  // The peer holds its window from the first message to the last: a window
  // that fails to be made, or goes by itself, leaves nothing to destroy.
  if (message == WM_NCCREATE) peer->window_.Reset(window);
  if (peer->window_.Get() != window) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    peer->window_.Release();
    return DefWindowProcW(window, message, wparam, lparam);
  }
  // No exception leaves a window procedure.
  try {
    return peer->Handle(message, wparam, lparam);
  } catch (...) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
}

LRESULT Win32FormPeer::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_.Get();
  switch (message) {
    case WM_COMMAND: {
      // The dialog keys: Enter presses the focused button, Escape closes a
      // window that lets it. No menu entry has these numbers.
      if (HIWORD(wparam) == 0 && LOWORD(wparam) == IDOK && PressFocusedButton()) return 0;
      if (HIWORD(wparam) == 0 && LOWORD(wparam) == IDCANCEL) {
        if (Style().escape_closes) form_.SystemRequestedClose();
        return 0;
      }
      if (lparam == 0) {
        if (HIWORD(wparam) == 0) {
          if (MenuItem* item = form_.MenuByCommand(LOWORD(wparam))) item->Click();
        }
        return 0;
      }
      if (ControlNotifications* control = kControlWindows.Of(reinterpret_cast<HWND>(lparam))) {
        control->Command(HIWORD(wparam));
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      if (ControlNotifications* control = kControlWindows.Of(reinterpret_cast<HWND>(lparam))) {
        if (HBRUSH brush = control->Colors(reinterpret_cast<HDC>(wparam))) return reinterpret_cast<LRESULT>(brush);
      }
      break;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (ControlNotifications* control = kControlWindows.Of(item->hwndItem)) {
        if (control->DrawItem(*item)) return TRUE;
      }
      break;
    }
    case WM_MEASUREITEM: {
      // Sent while an owner-drawn list box is being made, before its peer
      // exists: one line of the form's font. The peer sets it anew later.
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      if (item->CtlType == ODT_LISTBOX) {
        item->itemHeight = static_cast<UINT>(LineHeightOf(font_.Get()));
        return TRUE;
      }
      break;
    }
    case WM_CHARTOITEM:
      if (ControlNotifications* control = kControlWindows.Of(reinterpret_cast<HWND>(lparam))) {
        return control->CharToItem(static_cast<wchar_t>(LOWORD(wparam)), HIWORD(wparam));
      }
      break;
    case WM_ERASEBKGND:
      if (back_brush_) {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wparam), &client, back_brush_.Get());
        return 1;
      }
      break;
    case WM_PAINT: {
      const LRESULT painted = DefWindowProcW(window, message, wparam, lparam);
      form_.SystemPainted();
      return painted;
    }
    case WM_TIMER: {
      auto it = timers_.find(wparam);
      if (it != timers_.end()) it->second->Tick();
      return 0;
    }
    case WM_SIZE: {
      if (!created_) break;
      const WindowState now = wparam == SIZE_MINIMIZED   ? WindowState::kMinimized
                              : wparam == SIZE_MAXIMIZED ? WindowState::kMaximized
                                                         : WindowState::kNormal;
      const SIZE size{LOWORD(lparam), HIWORD(lparam)};
      if (now != form_.GetWindowState()) {
        form_.SystemChangedWindowState(now);
      } else if (now != WindowState::kMinimized && !sizing_by_code_ &&
                 (size.cx != client_size_.cx || size.cy != client_size_.cy)) {
        client_size_ = size;
        form_.SystemResized();
      }
      if (now != WindowState::kMinimized) client_size_ = size;
      // The status bar keeps itself at the bottom when told of the new size.
      for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32];
        if (GetClassNameW(child, name, 32) && lstrcmpiW(name, STATUSCLASSNAMEW) == 0) {
          SendMessageW(child, WM_SIZE, 0, 0);
        }
      }
      return 0;
    }
    case WM_DPICHANGED: {
      // Per-monitor DPI awareness: the window and everything in it take the
      // new screen's scale, at the place the system suggests.
      dpi_ = HIWORD(wparam);
      font_.Reset(CreateFontFor(Style().font));
      if (tooltip_ != nullptr) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Px(6000));
      for (const auto& control : form_.Controls()) {
        if (ControlNotifications* peer = kControlWindows.Of(reinterpret_cast<HWND>(control->hWnd()))) peer->Rescale();
      }
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      RECT client{};
      GetClientRect(window, &client);
      client_size_ = {client.right, client.bottom};
      return 0;
    }
    case WM_ACTIVATE:
      // Like a dialog: the control that had the focus gets it back when the
      // window is active again, the first one in the Tab order the first time.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus)) focus_ = focus;
        return 0;
      }
      if (HIWORD(wparam) == 0) {
        if (focus_ == nullptr || !IsWindow(focus_) || !IsChild(window, focus_)) {
          focus_ = GetNextDlgTabItem(window, nullptr, FALSE);
        }
        if (focus_ != nullptr) {
          SetFocus(focus_);
          return 0;
        }
      }
      break;
    case WM_CLOSE:
      // Closing runs the form's unload; the window goes when its owner lets it.
      form_.SystemRequestedClose();
      return 0;
    case WM_QUERYENDSESSION:
      // A tray program never holds up a log-off, and asks nothing.
      return TRUE;
    case WM_SETTINGCHANGE:
      // lParam names the area that changed, or is null.
      if (lparam != 0) {
        const auto* area = reinterpret_cast<const wchar_t*>(lparam);
        form_.SystemSettingChanged(win::Utf8(std::wstring(area, wcsnlen(area, 256))));
      }
      break;
    case WM_ENDSESSION:
      // The session ends: Windows ends the process as soon as this returns.
      if (wparam) form_.SystemEndingSession();
      return 0;
    default:
      if (form_.HandleMessage(message, wparam, lparam)) return 0;
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace
}  // namespace quellix::ui::win32

namespace quellix::ui {

std::unique_ptr<Toolkit> CreateToolkit() { return std::make_unique<win32::Win32Toolkit>(); }

}  // namespace quellix::ui
