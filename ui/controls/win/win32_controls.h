// The Win32 backend's controls: a child window of the form for each control,
// of the control's kind, with the form's font and its tooltip.
#pragma once

#include <memory>

#include "ui/controls/control.h"
#include "ui/controls/win/control_host_win.h"

namespace quellix::ui::win32 {

std::unique_ptr<ControlPeer> CreateControlPeerFor(Control& control, ControlHost& form);

}  // namespace quellix::ui::win32
