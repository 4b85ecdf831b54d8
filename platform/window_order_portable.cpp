#include <mutex>
#include <set>

#include "platform/headless_windows.h"

namespace quellix::platform {
namespace {

// Stands in for the system's window manager: one per process, like the real one.
struct WindowTable {
  std::mutex mutex;
  std::set<WindowHandle> windows;
  std::set<WindowHandle> topmost;
  WindowHandle next = 0x10010;
};

WindowTable& Table() {
  static WindowTable table;
  return table;
}

}  // namespace

bool SetWindowPosition(WindowHandle window, std::intptr_t insert_after, int, int, int, int, unsigned) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  if (!t.windows.contains(window)) return false;
  if (insert_after == kHwndTopmost) t.topmost.insert(window);
  if (insert_after == kHwndNoTopmost) t.topmost.erase(window);
  return true;
}

bool IsTopmost(WindowHandle window) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  return t.topmost.contains(window);
}

namespace headless {

WindowHandle CreateWindowHandle() {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  const WindowHandle h = t.next;
  t.next += 4;
  t.windows.insert(h);
  return h;
}

void DestroyWindowHandle(WindowHandle window) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  t.windows.erase(window);
  t.topmost.erase(window);
}

}  // namespace headless
}  // namespace quellix::platform
