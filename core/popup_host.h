// What the popup decision needs from the rest of the program: the switches as
// they stand now, the message loop, the block sound, the setup-mode prompt,
// and word of the allow-next flag's changes.
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
  // Starts the same sound and returns at once, for blocks whose answer must
  // not wait for it (browser tabs). A block sound still playing is left to
  // finish and this one is dropped, so a burst of blocks sounds once.
  virtual void StartBlockSound() = 0;
  // A decision set the allow-next flag (a link) or used it.
  virtual void AllowNextChanged() = 0;
  // Loads the setup-mode prompt (filled from strCurrentSite when it loads) and
  // shows it modeless; false when it cannot be shown.
  virtual bool ShowSetupPrompt() = 0;
};

}  // namespace quellix
