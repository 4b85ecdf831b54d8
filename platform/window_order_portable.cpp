#include <algorithm>
#include <mutex>

#include "platform/headless_windows.h"

namespace quellix::platform {
namespace {

struct HeadlessWindow {
  WindowHandle handle;
  bool topmost;
};

// Stands in for the system's window manager: one per process, like the real one.
struct WindowTable {
  std::mutex mutex;
  std::vector<HeadlessWindow> order;  // front to back
  WindowHandle next = 0x10010;
  WindowHandle active = 0;
};

WindowTable& Table() {
  static WindowTable table;
  return table;
}

auto Find(WindowTable& t, WindowHandle h) {
  return std::find_if(t.order.begin(), t.order.end(), [h](const HeadlessWindow& w) { return w.handle == h; });
}

// Moves a window to the front of its band (topmost or ordinary).
void BringToFront(WindowTable& t, HeadlessWindow w) {
  auto it = w.topmost ? t.order.begin()
                      : std::find_if(t.order.begin(), t.order.end(),
                                     [](const HeadlessWindow& x) { return !x.topmost; });
  t.order.insert(it, w);
}

}  // namespace

bool SetWindowPosition(WindowHandle window, std::intptr_t insert_after, int, int, int, int, unsigned flags) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = Find(t, window);
  if (it == t.order.end()) return false;
  HeadlessWindow w = *it;
  if (insert_after == kHwndTopmost) {
    w.topmost = true;
  } else if (insert_after == kHwndNoTopmost) {
    w.topmost = false;
  } else {
    return true;  // other insert-after values are not used by this program
  }
  t.order.erase(it);
  BringToFront(t, w);
  constexpr unsigned kNoActivate = 0x10;
  if ((flags & kNoActivate) == 0) t.active = window;
  return true;
}

bool IsTopmost(WindowHandle window) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = Find(t, window);
  return it != t.order.end() && it->topmost;
}

namespace headless {

WindowHandle CreateWindowHandle() {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  const WindowHandle h = t.next;
  t.next += 4;
  BringToFront(t, {h, false});
  return h;
}

void DestroyWindowHandle(WindowHandle window) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = Find(t, window);
  if (it != t.order.end()) t.order.erase(it);
  if (t.active == window) t.active = 0;
}

bool IsWindow(WindowHandle window) {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  return Find(t, window) != t.order.end();
}

std::vector<WindowHandle> ZOrder() {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  std::vector<WindowHandle> handles;
  for (const auto& w : t.order) handles.push_back(w.handle);
  return handles;
}

WindowHandle ActiveWindow() {
  WindowTable& t = Table();
  std::lock_guard lock(t.mutex);
  return t.active;
}

}  // namespace headless
}  // namespace quellix::platform
