// One window of a kind: created on first use, only shown again while it is
// open, and created afresh after it was closed. A closed window is hidden by
// its own unload step and destroyed when the next one is created, never from
// inside one of its own handlers.
#pragma once

#include "ui/controls/form.h"

namespace quellix {

template <typename Window>
class WindowSlot {
 public:
  // The open window, or null.
  Window* Get() const { return window_ && !window_->Closed() ? window_.get() : nullptr; }

  // The open window, or a new one made by `make` (which loads it).
  template <typename Make>
  Window& Open(Make&& make) {
    if (Window* open = Get()) return *open;
    window_.reset();
    window_ = make();
    return *window_;
  }

 private:
  ui::FormPtr<Window> window_;
};

}  // namespace quellix
