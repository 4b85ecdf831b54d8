// The headless backend's view for tests: what its forms show, and the
// system-wide parts (hot keys, tray icons, message delivery) a test drives as
// the user and the shell would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/controls/form.h"
#include "ui/controls/notify_icon.h"
#include "ui/controls/web_browser.h"
#include "ui/controls/window_messages.h"

namespace quellix::ui::headless {

// Forgets every hot key and tray icon, as a fresh session would.
void ResetSystem();

// What the form's window shows now (as the backend was last told).
bool ShownOnScreen(const Form& form);
// What a control's or form's window shows (its text: a form's caption).
struct ShownWidget {
  std::string text;
  bool visible = true;
  bool enabled = true;
  int check = 0;
  int list_count = 0;
  int list_selection = -1;
  std::vector<std::string> panels;
};
ShownWidget Shown(WindowHandle window);
int MenuBarEntries(const Form& form);
// Whether the menu bar's entry of that command is enabled; nothing when it is not shown.
std::optional<bool> MenuBarEntryEnabled(const Form& form, int command_id);
int PopupMenusShown(const Form& form);
std::string LastPopupMenu(const Form& form);
// The next context menu this form shows is answered by choosing the entry of
// that name; without it a context menu closes with nothing chosen.
void ChooseInNextPopup(const Form& form, std::string entry_name);

// The user drags the window's frame to this outer size (twips); OnResize runs.
void UserResized(Form& form, int outer_width, int outer_height);

// The pages of one headless web browser, shown by a page engine of the
// test's own; it raises the browser's events.
class PageView {
 public:
  virtual ~PageView() = default;
  virtual bool Navigate(const std::string& url) = 0;
  virtual bool GoBack() = 0;
  virtual bool GoForward() = 0;
  virtual bool Stop() = 0;
  virtual bool Refresh() = 0;
  virtual std::string LocationURL() const = 0;
  virtual std::string LocationName() const = 0;
};
// Makes the page view of each web browser control made from now on.
using PageEngine = std::function<std::unique_ptr<PageView>(WebBrowser& browser)>;
// Without one (the default) every navigation fails, as on a system with no
// page engine.
void SetPageEngine(PageEngine engine);

// Time passes by one interval of every running timer: each ticks once.
void TickRunningTimers();

// Timer peers that were still there when their form's window went (each
// would then work on a window that is gone); since the last ResetSystem.
int TimersOutlivingTheirWindow();

// Sends a message through the window's procedure chain at once.
MessageResult SendWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wparam,
                                std::intptr_t lparam);
bool WindowExists(WindowHandle window);

struct HotKeyRecord {
  WindowHandle window;
  int id;
  unsigned modifiers;
  unsigned virtual_key;
};
std::vector<HotKeyRecord> HotKeys();
// The user presses the keys: WM_HOTKEY is posted to the owner of the hot key
// (handled by the next ProcessPendingMessagesOnce). False when none is registered.
bool PressHotKey(unsigned modifiers, unsigned virtual_key);

std::vector<NotifyIconRecord> NotifyIcons();
// Without a notification area (the shell not started yet, or ended) every
// request fails and the icons are gone; ResetSystem brings it back.
void SetNotificationAreaAvailable(bool available);
// The shell reports a mouse message on a tray icon to its window. False when
// there is no such icon or it asked for no callback.
bool MouseOnNotifyIcon(WindowHandle window, std::uint32_t id, unsigned mouse_message);

// The texts of the message boxes shown since the last call, oldest first.
std::vector<std::string> TakeMessages();

}  // namespace quellix::ui::headless
