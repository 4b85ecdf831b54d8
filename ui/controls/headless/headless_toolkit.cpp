// The headless backend: forms and controls that keep their state in memory
// (each peer keeps what it was told to show), with window handles from the
// portable window manager, a procedure chain per window, and the system-wide
// hot-key and tray tables.
#include <algorithm>
#include <functional>
#include <map>
#include <utility>

#include "platform/headless_windows.h"
#include "platform/message_pump_portable.h"
#include "ui/controls/headless/headless_hosted.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/controls/message_box.h"

namespace quellix::ui {
namespace {

using OwnProcedure = std::function<MessageResult(unsigned, std::uintptr_t, std::intptr_t)>;

// Tokens of the headless backend: kOwnProcedure stands for a window's own
// procedure, higher ones for the replacement procedures seen so far.
constexpr ProcedureToken kOwnProcedure = 1;

struct WindowEntry {
  OwnProcedure own;
  ProcedureToken current = kOwnProcedure;
};

struct FormScreen {
  bool shown = false;
  int menu_bar_entries = 0;
  std::map<int, bool> menu_entries;  // the entries of the bar's menus by command: whether enabled
  int popups_shown = 0;
  std::string last_popup;
  std::string scripted_choice;
  int outer_width = -1;  // twips; -1 while the window keeps its designed size
  int outer_height = -1;
};

// The headless "system": one per process, like the real one.
struct System {
  std::map<WindowHandle, WindowEntry> windows;
  std::map<WindowHandle, FormScreen> screens;
  std::map<WindowHandle, headless::ShownWidget> widgets;
  std::vector<Timer*> running_timers;
  std::vector<headless::HotKeyRecord> hot_keys;
  std::vector<NotifyIconRecord> icons;
  bool notification_area = true;  // false: the shell has no notification area (yet)
  std::map<std::string, unsigned> registered_messages;
  std::vector<WindowProcedure> procedures;  // token - 2 is the index
  std::vector<std::string> messages;        // message boxes shown
  int timers_outliving_window = 0;          // timer peers left when their window went
};

System& Sys() {
  static System system;
  return system;
}

ProcedureToken TokenOf(WindowProcedure procedure) {
  auto& known = Sys().procedures;
  auto it = std::find(known.begin(), known.end(), procedure);
  if (it == known.end()) it = known.insert(known.end(), procedure);
  return static_cast<ProcedureToken>(it - known.begin()) + 2;
}

MessageResult Call(ProcedureToken token, WindowHandle window, unsigned message, std::uintptr_t wparam,
                   std::intptr_t lparam) {
  if (token == kOwnProcedure) {
    auto it = Sys().windows.find(window);
    if (it == Sys().windows.end()) return 0;
    OwnProcedure own = it->second.own;  // a copy: the window may go while it runs
    return own ? own(message, wparam, lparam) : 0;
  }
  if (token < 2 || token - 2 >= Sys().procedures.size()) return 0;
  return Sys().procedures[token - 2](window, message, wparam, lparam);
}

MessageResult Dispatch(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  auto it = Sys().windows.find(window);
  if (it == Sys().windows.end()) return 0;
  return Call(it->second.current, window, message, wparam, lparam);
}

WindowHandle NewWindow(OwnProcedure own) {
  const WindowHandle handle = platform::headless::CreateWindowHandle();
  Sys().windows[handle] = WindowEntry{std::move(own), kOwnProcedure};
  return handle;
}

void EndWindow(WindowHandle handle) {
  // The last message a window receives passes its whole procedure chain.
  Dispatch(handle, kWmNcDestroy, 0, 0);
  Sys().windows.erase(handle);
  Sys().screens.erase(handle);
  Sys().widgets.erase(handle);
  platform::headless::DestroyWindowHandle(handle);
}

class HeadlessControlPeer : public ControlPeer {
 public:
  explicit HeadlessControlPeer(Control& control)
      : handle_(NewWindow([&control](unsigned message, std::uintptr_t, std::intptr_t) -> MessageResult {
          if (message == kWmMouseMove && control.Kind() == ControlKind::kPictureBox) {
            static_cast<PictureBox&>(control).MouseMove();
          }
          return 0;
        })) {
    if (control.Kind() == ControlKind::kStatusBar) {
      Shown().panels.resize(static_cast<std::size_t>(static_cast<StatusBar&>(control).PanelCount()));
    }
  }
  ~HeadlessControlPeer() override { EndWindow(handle_); }
  WindowHandle Handle() const override { return handle_; }
  void ShowText(const std::string& text) override { Shown().text = text; }
  void ShowVisible(bool visible) override { Shown().visible = visible; }
  void ShowEnabled(bool enabled) override { Shown().enabled = enabled; }
  void ShowToolTip(const std::string&) override {}
  void ShowCheck(int value) override { Shown().check = value; }
  void ListAdd(const std::string&) override { ++Shown().list_count; }
  void ListRemove(int) override { --Shown().list_count; }
  void ListClear() override {
    Shown().list_count = 0;
    Shown().list_selection = -1;
  }
  void ListSelect(int index) override { Shown().list_selection = index; }
  void ShowPanels(const std::vector<StatusPanel>& panels) override {
    Shown().panels.clear();
    for (const StatusPanel& panel : panels) Shown().panels.push_back(panel.text);
  }

 private:
  headless::ShownWidget& Shown() { return Sys().widgets[handle_]; }
  WindowHandle handle_;
};

class HeadlessFormPeer;

// Bound to its form's peer like a Win32 timer to its window, so that a timer
// outliving its form's peer is a use after free the sanitizer reports.
class HeadlessTimerPeer : public TimerPeer {
 public:
  HeadlessTimerPeer(HeadlessFormPeer& form, Timer& timer);
  ~HeadlessTimerPeer() override;
  void Start(int) override { Sys().running_timers.push_back(&timer_); }
  void Stop() override { std::erase(Sys().running_timers, &timer_); }

 private:
  HeadlessFormPeer& form_;
  Timer& timer_;
};

class HeadlessFormPeer : public FormPeer {
 public:
  explicit HeadlessFormPeer(Form& form)
      : form_(form),
        handle_(NewWindow([&form](unsigned message, std::uintptr_t wparam, std::intptr_t lparam) -> MessageResult {
          form.HandleMessage(message, wparam, lparam);
          return 0;
        })) {
    Sys().screens[handle_] = FormScreen{};
    Sys().widgets[handle_].text = form.Style().caption;
  }
  ~HeadlessFormPeer() override {
    if (live_timers != 0) ++Sys().timers_outliving_window;
    EndWindow(handle_);
  }

  WindowHandle Handle() const override { return handle_; }
  void ShowCaption(const std::string& caption) override { Sys().widgets[handle_].text = caption; }
  void Present(bool visible, WindowState state) override {
    Sys().screens[handle_].shown = visible && state != WindowState::kMinimized;
  }
  // A fixed single border of 4 pixels a side and a title bar of 23 pixels at 96 DPI.
  int OuterWidthTwips() const override {
    const int resized = Sys().screens[handle_].outer_width;
    return resized >= 0 ? resized : form_.Style().client_width + (form_.Style().has_border ? 2 * 60 : 0);
  }
  int OuterHeightTwips() const override {
    const int resized = Sys().screens[handle_].outer_height;
    return resized >= 0 ? resized : form_.Style().client_height + (form_.Style().has_border ? 2 * 60 + 345 : 0);
  }
  // The client area takes exactly the form's size, whatever size the user
  // gave the window before; the border stays around it.
  void ShowClientSize() override {
    FormScreen& screen = Sys().screens[handle_];
    screen.outer_width = -1;
    screen.outer_height = -1;
  }
  std::uintptr_t IconHandle() const override { return form_.Style().icon_resource.empty() ? 0 : handle_ + 1; }
  std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) override {
    return headless::WrapHostedPeer(control, std::make_unique<HeadlessControlPeer>(control));
  }
  std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer) override {
    return std::make_unique<HeadlessTimerPeer>(*this, timer);
  }
  void ShowMenuBar(const std::vector<const MenuItem*>& menus) override {
    FormScreen& screen = Sys().screens[handle_];
    screen.menu_bar_entries = static_cast<int>(menus.size());
    screen.menu_entries.clear();
    for (const MenuItem* menu : menus) {
      for (const auto& item : menu->Items()) {
        if (item->Visible()) screen.menu_entries[item->CommandId()] = item->Enabled();
      }
    }
  }
  int TrackPopupMenu(const MenuItem& menu) override {
    FormScreen& screen = Sys().screens[handle_];
    ++screen.popups_shown;
    screen.last_popup = menu.Name();
    const std::string choice = std::exchange(screen.scripted_choice, std::string());
    const MenuItem* item = choice.empty() ? nullptr : menu.Find(choice);
    return item ? item->CommandId() : 0;
  }

  int live_timers = 0;  // timer peers on this window

 private:
  const Form& form_;
  WindowHandle handle_;
};

HeadlessTimerPeer::HeadlessTimerPeer(HeadlessFormPeer& form, Timer& timer) : form_(form), timer_(timer) {
  ++form_.live_timers;
}
HeadlessTimerPeer::~HeadlessTimerPeer() {
  --form_.live_timers;
  std::erase(Sys().running_timers, &timer_);
}

class HeadlessToolkit : public Toolkit {
 public:
  std::unique_ptr<FormPeer> CreateFormPeer(Form& form) override {
    return std::make_unique<HeadlessFormPeer>(form);
  }
};

bool SameKeys(const headless::HotKeyRecord& a, unsigned modifiers, unsigned virtual_key) {
  return (a.modifiers & ~kModNoRepeat) == (modifiers & ~kModNoRepeat) && a.virtual_key == virtual_key;
}

}  // namespace

std::unique_ptr<Toolkit> CreateToolkit() { return std::make_unique<HeadlessToolkit>(); }

ProcedureToken ReplaceWindowProcedure(WindowHandle window, WindowProcedure procedure) {
  auto it = Sys().windows.find(window);
  if (it == Sys().windows.end() || procedure == nullptr) return 0;
  return std::exchange(it->second.current, TokenOf(procedure));
}

void RestoreWindowProcedure(WindowHandle window, ProcedureToken previous) {
  auto it = Sys().windows.find(window);
  if (it == Sys().windows.end() || previous == 0) return;
  it->second.current = previous;
}

MessageResult CallPreviousProcedure(ProcedureToken previous, WindowHandle window, unsigned message,
                                    std::uintptr_t wparam, std::intptr_t lparam) {
  return Call(previous, window, message, wparam, lparam);
}

bool PostWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (!Sys().windows.contains(window)) return false;
  platform::PostTask([=] { Dispatch(window, message, wparam, lparam); });
  return true;
}

bool RegisterSystemHotKey(WindowHandle window, int id, unsigned modifiers, unsigned virtual_key) {
  if (!Sys().windows.contains(window)) return false;
  auto& keys = Sys().hot_keys;
  if (std::any_of(keys.begin(), keys.end(), [&](const auto& k) { return SameKeys(k, modifiers, virtual_key); })) {
    return false;
  }
  keys.push_back({window, id, modifiers, virtual_key});
  return true;
}

bool UnregisterSystemHotKey(WindowHandle window, int id) {
  auto& keys = Sys().hot_keys;
  const auto removed = std::erase_if(keys, [&](const auto& k) { return k.window == window && k.id == id; });
  return removed > 0;
}

unsigned RegisteredMessage(const std::string& name) {
  auto& messages = Sys().registered_messages;
  auto it = messages.find(name);
  if (it != messages.end()) return it->second;
  const unsigned number = 0xC000u + static_cast<unsigned>(messages.size());
  messages[name] = number;
  return number;
}

bool ShellNotifyIcon(NotifyIconAction action, const NotifyIconRecord& record) {
  auto& icons = Sys().icons;
  auto same = [&](const NotifyIconRecord& r) { return r.hWnd == record.hWnd && r.uID == record.uID; };
  if (!Sys().notification_area) return false;
  if (action == NotifyIconAction::kAdd) {
    if (!Sys().windows.contains(record.hWnd) || std::any_of(icons.begin(), icons.end(), same)) return false;
    icons.push_back(record);
    return true;
  }
  return std::erase_if(icons, same) > 0;
}

void ShowMessage(WindowHandle, const std::string& text, const std::string&) { Sys().messages.push_back(text); }

namespace headless {

int TimersOutlivingTheirWindow() { return Sys().timers_outliving_window; }

void ResetSystem() {
  Sys().timers_outliving_window = 0;
  Sys().hot_keys.clear();
  Sys().icons.clear();
  Sys().messages.clear();
  Sys().notification_area = true;
}

void SetNotificationAreaAvailable(bool available) {
  Sys().notification_area = available;
  if (!available) Sys().icons.clear();
}

std::vector<std::string> TakeMessages() { return std::exchange(Sys().messages, {}); }

void UserResized(Form& form, int outer_width, int outer_height) {
  FormScreen& screen = Sys().screens[form.hWnd()];
  screen.outer_width = outer_width;
  screen.outer_height = outer_height;
  form.SystemResized();
}

bool ShownOnScreen(const Form& form) {
  auto it = Sys().screens.find(form.hWnd());
  return it != Sys().screens.end() && it->second.shown;
}

ShownWidget Shown(WindowHandle window) {
  auto it = Sys().widgets.find(window);
  return it == Sys().widgets.end() ? ShownWidget{} : it->second;
}

int MenuBarEntries(const Form& form) {
  auto it = Sys().screens.find(form.hWnd());
  return it == Sys().screens.end() ? 0 : it->second.menu_bar_entries;
}

std::optional<bool> MenuBarEntryEnabled(const Form& form, int command_id) {
  auto it = Sys().screens.find(form.hWnd());
  if (it == Sys().screens.end()) return std::nullopt;
  auto entry = it->second.menu_entries.find(command_id);
  if (entry == it->second.menu_entries.end()) return std::nullopt;
  return entry->second;
}

void TickRunningTimers() {
  // A copy: a tick may stop or start timers.
  const std::vector<Timer*> running = Sys().running_timers;
  for (Timer* timer : running) {
    if (std::find(Sys().running_timers.begin(), Sys().running_timers.end(), timer) != Sys().running_timers.end()) {
      timer->Tick();
    }
  }
}

int PopupMenusShown(const Form& form) {
  auto it = Sys().screens.find(form.hWnd());
  return it == Sys().screens.end() ? 0 : it->second.popups_shown;
}

std::string LastPopupMenu(const Form& form) {
  auto it = Sys().screens.find(form.hWnd());
  return it == Sys().screens.end() ? std::string() : it->second.last_popup;
}

void ChooseInNextPopup(const Form& form, std::string entry_name) {
  Sys().screens[form.hWnd()].scripted_choice = std::move(entry_name);
}

MessageResult SendWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
  return Dispatch(window, message, wparam, lparam);
}

bool WindowExists(WindowHandle window) { return Sys().windows.contains(window); }

std::vector<HotKeyRecord> HotKeys() { return Sys().hot_keys; }

bool PressHotKey(unsigned modifiers, unsigned virtual_key) {
  for (const HotKeyRecord& key : Sys().hot_keys) {
    if (!SameKeys(key, modifiers, virtual_key)) continue;
    const std::intptr_t lparam = static_cast<std::intptr_t>((virtual_key << 16) | (modifiers & 0xFFFF));
    return PostWindowMessage(key.window, kWmHotKey, static_cast<std::uintptr_t>(key.id), lparam);
  }
  return false;
}

std::vector<NotifyIconRecord> NotifyIcons() { return Sys().icons; }

bool MouseOnNotifyIcon(WindowHandle window, std::uint32_t id, unsigned mouse_message) {
  for (const NotifyIconRecord& icon : Sys().icons) {
    if (icon.hWnd != window || icon.uID != id) continue;
    if ((icon.uFlags & kNifMessage) == 0) return false;
    Dispatch(window, icon.uCallbackMessage, id, static_cast<std::intptr_t>(mouse_message));
    return true;
  }
  return false;
}

}  // namespace headless
}  // namespace quellix::ui
