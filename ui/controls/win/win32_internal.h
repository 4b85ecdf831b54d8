// Shared by the Win32 backend's files: the form's window and the peers of its
// controls. Every control is a child window of its form, placed at its
// container's position plus its own, converted from twips by the form's DPI;
// a control inside a picture box is a child window of the box instead.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/win/scoped_handle.h"
#include "ui/controls/form.h"

namespace quellix::ui::win32 {

class Win32FormPeer;

// What the form's window procedure asks of a control's peer.
class ControlNotifications {
 public:
  virtual ~ControlNotifications() = default;
  // WM_COMMAND from the control, with its notification code.
  virtual void Command(WORD code) = 0;
  // WM_CTLCOLOR*: the brush to paint with, or nullptr for the system's colours.
  virtual HBRUSH Colors(HDC dc) = 0;
  // The form moved to a screen of another DPI: place and size anew.
  virtual void Rescale() = 0;
  // WM_DRAWITEM for an owner-drawn control; false when it draws nothing itself.
  virtual bool DrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  // WM_CHARTOITEM: the entry a typed character selects, or -2 for none.
  virtual LRESULT CharToItem(wchar_t /*character*/, int /*caret*/) { return -2; }
};

// The height of one line of text in `font`, in pixels (an owner-drawn list
// box's entry height).
int LineHeightOf(HFONT font);

// The peer registered on a control's window, if the window is one of ours.
ControlNotifications* NotificationsOf(HWND control);
// Registers (nullptr: removes) the peer that answers for a control's window.
void SetNotificationsOf(HWND control, ControlNotifications* peer);

// A child window for the control, of the control's kind.
std::unique_ptr<ControlPeer> CreateControlPeerFor(Control& control, Win32FormPeer& form);

// A window class of the program's own, registered on first use.
void EnsureWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);

// The form's window: what the control peers need from it.
class Win32FormPeer final : public FormPeer {
 public:
  Win32FormPeer(Form& form, const FormStyle& style);
  ~Win32FormPeer() override;

  WindowHandle Handle() const override;
  void ShowCaption(const std::string& caption) override;
  void Present(bool visible, WindowState state) override;
  int OuterWidthTwips() const override;
  int OuterHeightTwips() const override;
  void ShowClientSize(int width, int height) override;
  void ShowBackColor(std::optional<Color> color) override;
  std::uintptr_t IconHandle() const override;
  std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) override;
  std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer) override;
  void ShowMenuBar(const std::vector<const MenuItem*>& menus) override;
  int TrackPopupMenu(const MenuItem& menu) override;

  HWND Window() const { return window_.Get(); }
  int Dpi() const { return dpi_; }
  int Px(int twips) const;
  HFONT Font() const { return font_.Get(); }
  // The window a control's window is a child of: the picture box it lies in,
  // which clips it to the box, or else the form.
  HWND ParentWindowOf(const Control& control) const;
  // The control's rectangle in that window's client area, in pixels.
  RECT PlaceOf(const Control& control) const;
  // Moves the control's window into its parent window and to its place there.
  void PlaceWindow(HWND window, const Control& control) const;
  void SetToolTip(HWND control, const std::string& text);
  HFONT CreateFontFor(const FontSpec& spec) const;

  void AddTimer(UINT_PTR id, Timer* timer) { timers_[id] = timer; }
  void RemoveTimer(UINT_PTR id) { timers_.erase(id); }
  UINT_PTR NextTimerId() { return next_timer_id_++; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Sizes the window around its designed client area; centred in the work
  // area, or at its present place.
  void FitToClientArea(bool centre);
  // Enter on a focused push button presses it; false when no button has the focus.
  bool PressFocusedButton();

  Form& form_;
  FormStyle style_;
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

}  // namespace quellix::ui::win32
