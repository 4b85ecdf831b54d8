// A PopupHost for Windows test programs: the real message loop of the
// thread, switches set by the test, a counted (silent) block sound and a
// setup-mode prompt that is a callback of the test.
#pragma once

#include <functional>

#include "core/popup_host.h"
#include "platform/message_pump.h"

namespace quellix::testing {

class PumpingPopupHost : public PopupHost {
 public:
  PopupOptions ReadOptions() override { return options; }
  void ProcessPendingMessagesOnce() override { platform::ProcessPendingMessagesOnce(); }
  bool WaitForMessage() override { return platform::WaitForMessage(); }
  void PlayBlockSound() override { ++sounds; }
  void StartBlockSound() override { ++sounds; }
  void AllowNextChanged() override {}
  bool ShowSetupPrompt() override { return on_prompt ? on_prompt() : false; }

  PopupOptions options{.chkStopPop = true, .chkAuto = false, .chkSound = false, .chkLinks = true};
  std::function<bool()> on_prompt;  // shows the prompt; false when it cannot be shown
  int sounds = 0;
};

}  // namespace quellix::testing
