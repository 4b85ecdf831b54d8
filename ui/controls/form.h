// A window of the program (a form): its controls, menus and timers, its
// window state and visibility, and the handlers the window logic attaches.
//
// OnResize runs when the form is first shown and whenever its window state
// changes (by code, or by the system minimising or restoring it); the handler
// decides whether the window stays visible. OnUnload runs once, when the form
// is closed by code or by a close request of the window system.
//
// The window system's events reach the handlers only once the form's load
// step has begun (StartLoad, or the first Show): until then the window
// answers only what making it needs, so no handler writes anything (the
// window state, say) before the load step has read it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/controls/control.h"
#include "ui/controls/menu.h"
#include "ui/controls/timer.h"

namespace quellix::ui {

enum class WindowState { kNormal, kMinimized, kMaximized };

struct FormStyle {
  std::string class_name;     // names this kind of window system-wide ("Quellix.Form1")
  std::string caption;
  int client_width = 0;       // twips
  int client_height = 0;      // twips
  bool has_border = true;     // false: no border and no title bar
  bool in_taskbar = true;
  bool sizable = false;       // a sizing border and a maximise button
  bool escape_closes = false; // Escape closes the window, as its close button does
  bool dialog_frame = false;  // the fixed dialog frame: a thick border, no icon in the title bar
  FontSpec font;              // for every control of the form
  std::string icon_resource;  // the window's icon among the program's resources; empty: none
};

// The program's own icon: resource 1, which is also the exe's icon.
inline constexpr const char* kProgramIconResource = "#1";

class Form;

// The backend's side of a form.
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual WindowHandle Handle() const = 0;
  virtual void ShowCaption(const std::string& caption) = 0;
  // Shows or hides the window in the given state; showing it normal activates it.
  virtual void Present(bool visible, WindowState state) = 0;
  virtual int OuterWidthTwips() const = 0;
  virtual int OuterHeightTwips() const { return 0; }
  // The client area takes the form's designed size (twips) anew; the window
  // keeps its place once shown.
  virtual void ShowClientSize() = 0;
  virtual void ShowBackColor(std::optional<Color> /*color*/) {}
  virtual std::uintptr_t IconHandle() const = 0;
  virtual std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) = 0;
  virtual std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& timer) = 0;
  // Puts the visible top-level menus into the menu bar.
  virtual void ShowMenuBar(const std::vector<const MenuItem*>& menus) = 0;
  // Shows a context menu at the pointer and waits until it closes; the command
  // id of the chosen entry, or 0.
  virtual int TrackPopupMenu(const MenuItem& menu) = 0;
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  // The window of `form`, made as the form's style says (Form::Style()).
  virtual std::unique_ptr<FormPeer> CreateFormPeer(Form& form) = 0;
};

// The toolkit of the backend this program is linked with.
std::unique_ptr<Toolkit> CreateToolkit();

class FormDeleter;

class Form {
 public:
  Form(Toolkit& toolkit, FormStyle style);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  WindowHandle hWnd() const { return peer_ ? peer_->Handle() : 0; }
  // What kind of window this is; the client size is the one set last.
  const FormStyle& Style() const { return style_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  std::uintptr_t IconHandle() const { return peer_ ? peer_->IconHandle() : 0; }
  // The width and height of the whole window, border included.
  int OuterWidth() const { return peer_ ? peer_->OuterWidthTwips() : 0; }
  int OuterHeight() const { return peer_ ? peer_->OuterHeightTwips() : 0; }
  // The client area's designed size, in twips. A change by code runs no
  // OnResize (that is for the user's and the system's changes); status bars
  // stay along the bottom edge. Negative sizes are refused (false).
  int ClientWidth() const { return style_.client_width; }
  int ClientHeight() const { return style_.client_height; }
  bool SetClientSize(int width, int height);
  std::optional<Color> BackColor() const { return back_color_; }
  void SetBackColor(Color color);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // The load step begins: from here on the window system's events reach the
  // handlers. A form's own load step calls it first.
  void StartLoad() { loaded_ = true; }
  bool Loaded() const { return loaded_; }
  // Makes the form visible; the first time, OnResize runs first and may keep
  // it hidden. A form shown is loaded.
  void Show();
  void Hide() { SetVisible(false); }
  WindowState GetWindowState() const { return window_state_; }
  void SetWindowState(WindowState state);
  // Runs OnUnload once; the window itself goes when its owner destroys the form.
  void Close();
  bool Closed() const { return closed_; }

  std::function<void()> OnResize;
  std::function<void()> OnUnload;
  // Runs when Windows ends the session (log-off, restart, shutdown): the
  // process is ended right after, without OnUnload or any other handler.
  std::function<void()> OnEndSession;
  // Runs when the window repaints itself.
  std::function<void()> OnPaint;
  // Runs when the system announces a change of its settings, with the area it
  // names ("Policy" after Group Policy was applied, for instance).
  std::function<void(const std::string& area)> OnSettingChange;

  // Runs `handler` for a message the window receives (a private or registered
  // message number); the window's own messages are not offered here.
  void SetMessageHandler(unsigned message, std::function<void(std::uintptr_t, std::intptr_t)> handler);

  template <typename T, typename... Args>
  T& Add(Args&&... args) {
    auto control = std::make_unique<T>(std::forward<Args>(args)...);
    T& added = *control;
    controls_.push_back(std::move(control));
    if (peer_) added.AttachPeer(peer_->CreateControlPeer(added));
    return added;
  }
  Timer& AddTimer(std::string name, int interval_ms);
  // A top-level menu; hidden ones are context menus only.
  MenuItem& AddMenu(std::string name, std::string caption, bool visible = true);
  // `command_id` 0: the next number of the form's own; another number names
  // the entry for other programs too (from 2000 on, clear of the form's own).
  MenuItem& AddMenuItem(MenuItem& menu, std::string name, int index, std::string caption, int command_id = 0);
  // Puts the menus added so far into the menu bar.
  void ShowMenuBar();
  // Shows a context menu at the pointer; the chosen entry's Click runs after
  // the menu has closed, before this returns.
  void PopupMenu(MenuItem& menu);

  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  Control* FindControl(const std::string& name) const;

  // Called by the backend; nothing runs before the load step.
  bool HandleMessage(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
  void SystemChangedWindowState(WindowState state);
  // The user or the system changed the window's size (not its state).
  void SystemResized() {
    if (loaded_ && OnResize) OnResize();
  }
  void SystemPainted() {
    if (loaded_ && OnPaint) OnPaint();
  }
  void SystemRequestedClose() {
    if (loaded_) Close();
  }
  void SystemEndingSession() {
    if (loaded_ && OnEndSession) OnEndSession();
  }
  void SystemSettingChanged(const std::string& area) {
    if (loaded_ && OnSettingChange) OnSettingChange(area);
  }
  Control* ControlByHandle(WindowHandle handle) const;
  MenuItem* MenuByCommand(int command_id) const;

 private:
  friend class FormDeleter;
  // Takes the handlers off, then destroys the window. The form's owner
  // (FormPtr) calls it before the form's destructors begin, so no handler
  // runs on a form partly destroyed; ~Form calls it for a form owned otherwise.
  void DestroyWindow();

  MenuItem* FindCommand(const MenuItem& menu, int command_id) const;

  FormStyle style_;
  std::string caption_;
  std::unique_ptr<FormPeer> peer_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<Timer>> timers_;
  std::vector<std::unique_ptr<MenuItem>> menus_;
  std::map<unsigned, std::function<void(std::uintptr_t, std::intptr_t)>> message_handlers_;
  int next_command_id_ = 1000;
  bool visible_ = false;
  bool loaded_ = false;
  bool shown_once_ = false;
  bool closed_ = false;
  bool popup_open_ = false;  // a context menu is showing
  WindowState window_state_ = WindowState::kNormal;
  std::optional<Color> back_color_;
};

// Destroys a form's window first, while every part of the form still
// exists, then the form.
class FormDeleter {
 public:
  void operator()(Form* form) const {
    if (form == nullptr) return;
    form->DestroyWindow();
    delete form;
  }
};

// The owner of a form (of any kind of form).
template <typename T>
using FormPtr = std::unique_ptr<T, FormDeleter>;

template <typename T, typename... Args>
FormPtr<T> MakeForm(Args&&... args) {
  return FormPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace quellix::ui
