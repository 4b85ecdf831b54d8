// The portable build's message queue (Windows code posts real window
// messages): work queued as a message for the current thread, to run in the
// next ProcessPendingMessagesOnce or WaitForMessage. The headless windows and
// the tests use it to act "while the program waits".
#pragma once

#include <functional>

#include "platform/message_pump.h"

namespace quellix::platform {

void PostTask(std::function<void()> task);

}  // namespace quellix::platform
