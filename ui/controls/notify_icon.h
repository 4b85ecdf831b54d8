// Icons in the notification area (the tray), as Shell_NotifyIcon keeps them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window_order.h"

namespace quellix::ui {

inline constexpr std::uint32_t kNifMessage = 0x1;
inline constexpr std::uint32_t kNifIcon = 0x2;
inline constexpr std::uint32_t kNifTip = 0x4;

enum class NotifyIconAction { kAdd = 0, kDelete = 2 };

struct NotifyIconRecord {
  platform::WindowHandle hWnd = 0;     // receives the callback message
  std::uint32_t uID = 0;               // tells the window's icons apart
  std::uint32_t uFlags = 0;            // which of the fields below are valid
  std::uint32_t uCallbackMessage = 0;  // sent with the mouse message number in lParam
  std::uintptr_t hIcon = 0;
  std::string szTip;                   // at most 127 characters are shown
};

// False when the notification area refused the request.
bool ShellNotifyIcon(NotifyIconAction action, const NotifyIconRecord& record);

}  // namespace quellix::ui
