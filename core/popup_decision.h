// The popup decision: what happens to one NewWindow2 request.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/popup_host.h"
#include "core/program_state.h"

namespace quellix {

enum class NewWindowVerdict {
  kUntouched,   // Cancel keeps the browser's value: the window opens
  kLetThrough,  // Cancel = false
  kBlock,       // Cancel = true
};

// Runs the decision in its fixed order: link detection, the site of the
// asking page, the blocking switch, the allow-next flag, the lists (and in
// setup mode the prompt). `read_location` gives LocationURL of the asking
// window, or nothing when it cannot be read. A failure ends the decision with
// kUntouched, keeping what was already done.
NewWindowVerdict DecideNewWindow(ProgramState& state, PopupHost& host,
                                 const std::function<std::optional<std::string>()>& read_location);

// Applies a verdict to the browser's Cancel flag.
inline void ApplyVerdict(NewWindowVerdict verdict, bool& cancel) {
  if (verdict == NewWindowVerdict::kLetThrough) cancel = false;
  if (verdict == NewWindowVerdict::kBlock) cancel = true;
}

}  // namespace quellix
