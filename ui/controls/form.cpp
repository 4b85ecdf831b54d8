#include "ui/controls/form.h"

namespace quellix::ui {

Form::Form(Toolkit& toolkit, FormStyle style) : style_(std::move(style)), caption_(style_.caption) {
  peer_ = toolkit.CreateFormPeer(*this);
}

Form::~Form() { DestroyWindow(); }

void Form::DestroyWindow() {
  OnResize = nullptr;
  OnUnload = nullptr;
  OnEndSession = nullptr;
  OnPaint = nullptr;
  message_handlers_.clear();
  // The timers and their peers go while the window they run on still
  // exists: a timer's peer works on its window's peer.
  for (auto& timer : timers_) {
    timer->SetEnabled(false);
    timer->AttachPeer(nullptr);
  }
  // The window goes first (taking its child windows with it), then the
  // controls' peers, which then have nothing left to destroy.
  peer_.reset();
}

void Form::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  if (peer_) peer_->ShowCaption(caption_);
}

void Form::SetBackColor(Color color) {
  back_color_ = color;
  if (peer_) peer_->ShowBackColor(back_color_);
}

bool Form::SetClientSize(int width, int height) {
  if (width < 0 || height < 0) return false;
  const int grown = height - style_.client_height;
  style_.client_width = width;
  style_.client_height = height;
  for (auto& control : controls_) {
    if (control->Kind() != ControlKind::kStatusBar || control->Container() != nullptr) continue;
    TwipsRect rect = control->Rect();
    rect.Top += grown;
    control->SetRect(rect);
  }
  if (peer_) peer_->ShowClientSize();
  return true;
}

void Form::SetVisible(bool visible) {
  visible_ = visible;
  if (peer_) peer_->Present(visible_, window_state_);
}

void Form::Show() {
  loaded_ = true;
  if (!shown_once_) {
    shown_once_ = true;
    visible_ = true;
    if (OnResize) OnResize();
    if (!visible_) return;
  }
  SetVisible(true);
}

void Form::SetWindowState(WindowState state) {
  if (state == window_state_) return;
  window_state_ = state;
  if (OnResize) {
    OnResize();
  } else if (peer_) {
    peer_->Present(visible_, window_state_);
  }
}

void Form::SystemChangedWindowState(WindowState state) {
  if (loaded_) SetWindowState(state);
}

void Form::Close() {
  if (closed_) return;
  closed_ = true;
  if (OnUnload) OnUnload();
}

void Form::SetMessageHandler(unsigned message, std::function<void(std::uintptr_t, std::intptr_t)> handler) {
  message_handlers_[message] = std::move(handler);
}

bool Form::HandleMessage(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (!loaded_) return false;
  auto it = message_handlers_.find(message);
  if (it == message_handlers_.end() || !it->second) return false;
  // A copy: the handler may replace itself.
  auto handler = it->second;
  handler(wparam, lparam);
  return true;
}

Timer& Form::AddTimer(std::string name, int interval_ms) {
  timers_.push_back(std::make_unique<Timer>(std::move(name), interval_ms));
  Timer& timer = *timers_.back();
  if (peer_) timer.AttachPeer(peer_->CreateTimerPeer(timer));
  return timer;
}

MenuItem& Form::AddMenu(std::string name, std::string caption, bool visible) {
  menus_.push_back(
      std::make_unique<MenuItem>(std::move(name), -1, std::move(caption), visible, next_command_id_++));
  return *menus_.back();
}

MenuItem& Form::AddMenuItem(MenuItem& menu, std::string name, int index, std::string caption, int command_id) {
  return menu.Append(std::move(name), index, std::move(caption), command_id != 0 ? command_id : next_command_id_++);
}

void Form::ShowMenuBar() {
  if (!peer_) return;
  std::vector<const MenuItem*> bar;
  for (const auto& menu : menus_) {
    if (menu->Visible()) bar.push_back(menu.get());
  }
  peer_->ShowMenuBar(bar);
}

void Form::PopupMenu(MenuItem& menu) {
  // One context menu at a time: a request that arrives while one shows (the
  // shell reports a click's press and release apart) is not stacked on it.
  if (!peer_ || popup_open_) return;
  popup_open_ = true;
  const int chosen = peer_->TrackPopupMenu(menu);
  popup_open_ = false;
  if (chosen == 0) return;
  if (MenuItem* item = FindCommand(menu, chosen)) item->Click();
}

Control* Form::FindControl(const std::string& name) const {
  for (const auto& control : controls_) {
    if (control->Name() == name) return control.get();
  }
  return nullptr;
}

Control* Form::ControlByHandle(WindowHandle handle) const {
  if (handle == 0) return nullptr;
  for (const auto& control : controls_) {
    if (control->hWnd() == handle) return control.get();
  }
  return nullptr;
}

MenuItem* Form::FindCommand(const MenuItem& menu, int command_id) const {
  for (const auto& item : menu.Items()) {
    if (item->CommandId() == command_id) return item.get();
    if (MenuItem* found = FindCommand(*item, command_id)) return found;
  }
  return nullptr;
}

MenuItem* Form::MenuByCommand(int command_id) const {
  for (const auto& menu : menus_) {
    if (menu->CommandId() == command_id) return menu.get();
    if (MenuItem* found = FindCommand(*menu, command_id)) return found;
  }
  return nullptr;
}

}  // namespace quellix::ui
