// Between a Win32 form and the controls it hosts, the only way each knows the
// other: what a control's window needs from its form (ControlHost), and what
// the form's window procedure asks of a control's window
// (ControlNotifications, the peer bound to that window).
//
// Every control is a child window of its form, placed at its container's
// position plus its own, converted from twips by the form's DPI; a control
// inside a picture box is a child window of the box instead.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win/window_binding.h"
#include "ui/controls/control.h"

namespace quellix::ui::win32 {

// The form, as its controls' windows see it.
class ControlHost {
 public:
  int Px(int twips) const { return PixelsFromTwips(twips, Dpi()); }
  virtual int Dpi() const = 0;
  // The form's font, for every control without its own.
  virtual HFONT Font() const = 0;
  // A font at the form's DPI; the caller owns it.
  virtual HFONT CreateFontFor(const FontSpec& spec) const = 0;
  // The window a control's window is a child of: the picture box it lies in,
  // which clips it to the box, or else the form.
  virtual HWND ParentWindowOf(const Control& control) const = 0;
  // The control's rectangle in that window's client area, in pixels.
  virtual RECT PlaceOf(const Control& control) const = 0;
  // Moves the control's window into its parent window and to its place there.
  virtual void PlaceWindow(HWND window, const Control& control) const = 0;
  // The control's tooltip; empty: none.
  virtual void SetToolTip(HWND control, const std::string& text) = 0;

 protected:
  ~ControlHost() = default;
};

// A control's window, as its form sees it.
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
  // A message the control's own window receives; nothing: the window's
  // class handles it as usual.
  virtual std::optional<LRESULT> WindowMessage(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/) {
    return std::nullopt;
  }
  // The window is gone (WM_NCDESTROY, for instance with its form): the peer
  // must not use it again.
  virtual void WindowDestroyed() = 0;
};

// Every control's window carries the peer that answers for it.
inline constexpr win::WindowBinding<ControlNotifications> kControlWindows{L"Quellix.Control"};

// Binds `peer` to a control's window and passes the window's own messages to
// its WindowMessage (the window is subclassed), until either goes: the peer
// detaches in its destructor, the window at WM_NCDESTROY.
void AttachControlWindow(HWND window, ControlNotifications& peer);
void DetachControlWindow(HWND window);

// A window class of the program's own, registered on first use. Control
// classes of ours are registered with DefWindowProcW: their peers answer
// through AttachControlWindow like every other control's.
void EnsureWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);

// The height of one line of text in `font`, in pixels (an owner-drawn list
// box's entry height).
int LineHeightOf(HFONT font);

}  // namespace quellix::ui::win32
