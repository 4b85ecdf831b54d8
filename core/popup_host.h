// What the popup decision needs from the rest of the program: the switches as
// they stand now, the message loop, the block sound and the setup-mode prompt.
#pragma once

namespace quellix {

// The four switches the decision reads (on only when the box's value is 1).
struct PopupOptions {
  bool chkStopPop = false;  // pop-up blocking
  bool chkAuto = false;     // setup mode
  bool chkSound = false;    // block sound
  bool chkLinks = false;    // allow when the pointer is over a link
};

class PopupHost {
 public:
  virtual ~PopupHost() = default;
  // Read afresh at every use, never cached.
  virtual PopupOptions ReadOptions() = 0;
  virtual void ProcessPendingMessagesOnce() = 0;
  // Sleeps until a message arrives and handles what is pending. False when no
  // message can arrive any more (the program is quitting).
  virtual bool WaitForMessage() = 0;
  // Plays "\sounds\pop.wav" from the program's folder and returns when done.
  virtual void PlayBlockSound() = 0;
  // Loads the setup-mode prompt (filled from strCurrentSite when it loads) and
  // shows it modeless; false when it cannot be shown.
  virtual bool ShowSetupPrompt() = 0;
};

}  // namespace quellix
