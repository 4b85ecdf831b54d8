// A message to the user in a modal message box with an OK button.
#pragma once

#include <string>

#include "platform/window_order.h"

namespace quellix::ui {

void ShowMessage(platform::WindowHandle owner, const std::string& text, const std::string& caption);

}  // namespace quellix::ui
