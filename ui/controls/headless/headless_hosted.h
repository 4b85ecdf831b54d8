// Peers of the headless backend for the controls that host an engine of their
// own (the rich-text view and the web browser).
#pragma once

#include <memory>

#include "ui/controls/control.h"

namespace quellix::ui::headless {

// The peer for `control`: `window` itself, or a peer of the control's own
// kind that keeps `window` for its handle.
std::unique_ptr<ControlPeer> WrapHostedPeer(Control& control, std::unique_ptr<ControlPeer> window);

}  // namespace quellix::ui::headless
