#include "ui/controls/control.h"

namespace quellix::ui {

Control::Control(ControlKind kind, std::string name, TwipsRect rect, Control* container, std::string text)
    : text_(std::move(text)), kind_(kind), name_(std::move(name)), rect_(rect), container_(container) {}

Control::~Control() = default;

void Control::SetVisible(bool visible) {
  visible_ = visible;
  if (peer_) peer_->ShowVisible(visible);
}

void Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (peer_) peer_->ShowEnabled(enabled);
}

void Control::SetToolTipText(std::string tip) {
  tooltip_ = std::move(tip);
  if (peer_) peer_->ShowToolTip(tooltip_);
}

void Control::SetRect(const TwipsRect& rect) {
  rect_ = rect;
  if (peer_) peer_->ShowRect(rect_);
}

void Control::SetContainer(Control* container) {
  container_ = container;
  if (peer_) peer_->ShowContainer(container_);
}

void Control::SetBackColor(Color color) {
  back_color_ = color;
  if (peer_) peer_->ShowColors(back_color_, fore_color_);
}

void Control::SetForeColor(Color color) {
  fore_color_ = color;
  if (peer_) peer_->ShowColors(back_color_, fore_color_);
}

void Control::SetFont(const FontSpec& font) {
  font_ = font;
  if (peer_) peer_->ShowFont(font);
}

void Control::AttachPeer(std::unique_ptr<ControlPeer> peer) {
  peer_ = std::move(peer);
  if (!peer_) return;
  if (!tooltip_.empty()) peer_->ShowToolTip(tooltip_);
  if (!visible_) peer_->ShowVisible(false);
  if (back_color_ || fore_color_) peer_->ShowColors(back_color_, fore_color_);
  if (font_) peer_->ShowFont(*font_);
}

void Label::SetCaption(std::string caption) {
  text_ = std::move(caption);
  if (Peer()) Peer()->ShowText(text_);
}

bool CheckBox::SetValue(int value) {
  if (value < 0 || value > 2) return false;
  if (value == value_) return true;
  value_ = value;
  if (Peer()) Peer()->ShowCheck(value_);
  if (OnClick) OnClick();
  return true;
}

void TextBox::SetText(std::string text) {
  text_ = std::move(text);
  if (Peer()) Peer()->ShowText(text_);
}

void Button::SetCaption(std::string caption) {
  text_ = std::move(caption);
  if (Peer()) Peer()->ShowText(text_);
}

std::string ListBoxControl::List(int index) const {
  return index >= 0 && index < ListCount() ? items_[static_cast<std::size_t>(index)] : std::string();
}

void ListBoxControl::AddItem(const std::string& item) {
  items_.push_back(item);
  if (Peer()) Peer()->ListAdd(item);
}

void ListBoxControl::AddItems(std::vector<std::string> items) {
  const std::size_t first = items_.size();
  if (first == 0) {
    items_ = std::move(items);
  } else {
    items_.insert(items_.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  }
  if (Peer() && items_.size() > first) Peer()->ListAddMany(items_.data() + first, items_.size() - first);
}

void ListBoxControl::Clear() {
  items_.clear();
  list_index_ = -1;
  if (Peer()) Peer()->ListClear();
}

void ListBoxControl::RemoveItem(int index) {
  if (index < 0 || index >= ListCount()) return;
  items_.erase(items_.begin() + index);
  // The selection follows its entry; removing the selected entry clears it.
  if (index == list_index_) {
    list_index_ = -1;
  } else if (index < list_index_) {
    --list_index_;
  }
  if (Peer()) {
    Peer()->ListRemove(index);
    Peer()->ListSelect(list_index_);
  }
}

void ListBoxControl::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) return;
  list_index_ = index;
  if (Peer()) Peer()->ListSelect(list_index_);
}

void ListBoxControl::UserSelected(int index) {
  if (index >= -1 && index < ListCount()) list_index_ = index;
}

void StatusBar::AddPanel() {
  panels_.emplace_back();
  if (Peer()) Peer()->ShowPanels(panels_);
}

bool StatusBar::SetPanelText(int number, std::string text) {
  if (number < 1 || number > PanelCount()) return false;
  panels_[static_cast<std::size_t>(number - 1)].text = std::move(text);
  if (Peer()) Peer()->ShowPanels(panels_);
  return true;
}

bool StatusBar::SetPanelWidth(int number, int twips) {
  if (number < 1 || number > PanelCount() || twips < 0) return false;
  panels_[static_cast<std::size_t>(number - 1)].width = twips;
  if (Peer()) Peer()->ShowPanels(panels_);
  return true;
}

std::string StatusBar::PanelText(int number) const {
  return number >= 1 && number <= PanelCount() ? panels_[static_cast<std::size_t>(number - 1)].text : std::string();
}

int StatusBar::PanelWidth(int number) const {
  return number >= 1 && number <= PanelCount() ? panels_[static_cast<std::size_t>(number - 1)].width : 0;
}

}  // namespace quellix::ui
