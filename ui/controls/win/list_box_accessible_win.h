// What a screen reader reads of a list box that draws its entries itself.
#pragma once

#include <windows.h>

namespace quellix::ui::win32 {

// The answer to WM_GETOBJECT for OBJID_CLIENT of `box`: an accessibility
// object for the list and its entries, their texts taken from the box's
// LB_GETTEXT; or the error why it could not be made.
LRESULT AnswerListBoxAccessibility(HWND box, WPARAM wparam);

}  // namespace quellix::ui::win32
