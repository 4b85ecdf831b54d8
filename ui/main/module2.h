// Module2: the program's icon in the notification area. The shell reports
// mouse actions on the icon with kTrayCallbackMessage, a message of the
// program's own, so that nothing else the window receives is mistaken for them.
#pragma once

#include <cstdint>
#include <string>

#include "ui/controls/form.h"
#include "ui/controls/window_messages.h"

namespace quellix::Module2 {

inline constexpr unsigned kTrayCallbackMessage = ui::kWmApp + 0x51;

// Adds the icon for `window`; its mouse messages arrive as
// kTrayCallbackMessage with the mouse message number in lParam. False when
// the shell did not take it.
bool AddTrayIcon(const ui::Form& window, std::uint32_t identifier, std::uintptr_t icon, const std::string& tip);
// Removes the icon added last, by its identifier.
void RemoveTrayIcon(std::uint32_t identifier);

}  // namespace quellix::Module2
