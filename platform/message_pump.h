// The user-interface thread's message loop, as the waits of the program use it.
#pragma once

namespace quellix::platform {

// Handles every message that is waiting, then returns.
void ProcessPendingMessagesOnce();

// Sleeps until a message arrives, then handles what is waiting. False when the
// loop is ending (WM_QUIT, left in the queue for the main loop) or, in the
// portable build, when nothing is queued and so nothing can ever arrive.
bool WaitForMessage();

}  // namespace quellix::platform
