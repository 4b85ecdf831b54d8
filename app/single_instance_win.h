// One running copy per user session: a named mutex tells a second start that
// a copy runs, and the second start brings that copy's main window up.
#pragma once

#include "platform/win/scoped_handle.h"

namespace quellix::app {

class SingleInstance {
 public:
  SingleInstance();
  // False when another copy of the program holds the mutex.
  bool First() const { return first_; }

 private:
  win::ScopedHandle mutex_;
  bool first_ = true;
};

// Asks the running copy's main window to show itself; nothing when it has
// none yet (it is still showing its splash window).
void BringUpRunningCopy();

}  // namespace quellix::app
