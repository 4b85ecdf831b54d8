#include <deque>

#include "platform/message_pump_portable.h"

namespace quellix::platform {
namespace {

// One queue per thread, like a Windows thread's message queue.
std::deque<std::function<void()>>& Queue() {
  thread_local std::deque<std::function<void()>> queue;
  return queue;
}

}  // namespace

void PostTask(std::function<void()> task) { Queue().push_back(std::move(task)); }

void ProcessPendingMessagesOnce() {
  // Only what is queued now; work queued by these tasks waits for the next call.
  std::size_t pending = Queue().size();
  while (pending-- > 0 && !Queue().empty()) {
    auto task = std::move(Queue().front());
    Queue().pop_front();
    task();
  }
}

bool WaitForMessage() {
  if (Queue().empty()) return false;
  ProcessPendingMessagesOnce();
  return true;
}

}  // namespace quellix::platform
