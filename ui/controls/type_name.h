// The type name of a control, as the window logic compares it ("Label",
// "CommandButton", "TextBox" ...), so that code can treat the controls of a
// window by their type without knowing the window.
#pragma once

#include "ui/controls/control.h"

namespace quellix::ui {

const char* TypeName(const Control& control);

}  // namespace quellix::ui
