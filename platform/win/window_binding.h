// The C++ object that answers for a window of ours, kept in one window
// property per kind of object, so that a window procedure finds it in one
// place and a window of another kind (or of another program) finds nothing.
//
// A window of a class of ours is bound when it is made: its window procedure
// calls ForMessage, which binds the object passed as CreateWindowEx's last
// argument at WM_NCCREATE and unbinds it at WM_NCDESTROY. A window of a
// system class (a button, an edit box) is bound by Bind right after it is
// made, and unbound by whoever routes its messages.
#pragma once

#include <windows.h>

namespace quellix::win {

template <typename Object>
class WindowBinding {
 public:
  // `property` names the binding system-wide; one per kind of object.
  explicit constexpr WindowBinding(const wchar_t* property) : property_(property) {}

  // Binds `object` to `window`; nullptr unbinds. False when the window
  // system refused (no such window, or out of memory).
  bool Bind(HWND window, Object* object) const {
    if (object == nullptr) {
      RemovePropW(window, property_);
      return true;
    }
    return SetPropW(window, property_, static_cast<HANDLE>(object)) != FALSE;
  }

  // The object bound to `window`, or nullptr.
  Object* Of(HWND window) const {
    return window != nullptr ? static_cast<Object*>(GetPropW(window, property_)) : nullptr;
  }

  // For the window procedure of a class of ours: the object the window was
  // made for. It is still found for WM_NCDESTROY, the window's last message.
  Object* ForMessage(HWND window, UINT message, LPARAM lparam) const {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      Bind(window, static_cast<Object*>(create->lpCreateParams));
    }
    Object* object = Of(window);
    if (message == WM_NCDESTROY) Bind(window, nullptr);
    return object;
  }

 private:
  const wchar_t* property_;
};

}  // namespace quellix::win
