// The controls a window is made of. Each control keeps its own state here, in
// portable code, and tells its peer (the backend's widget: a real Win32
// control, or nothing at all in the headless backend) about every change.
// What a user does reaches the control through the same entry points a test
// uses (UserClick, UserEdited, UserSelected, Click), so the window logic runs
// the same way in both backends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_order.h"
#include "ui/controls/layout.h"

namespace quellix::ui {

using platform::WindowHandle;

class Form;
class Control;
class Frame;

enum class ControlKind {
  kLabel, kCheckBox, kTextBox, kListBox, kButton, kFrame, kStatusBar, kPictureBox, kImage,
  kRichText, kWebBrowser, kSkinLabel,
};

// A colour as 0x00BBGGRR; a control without one uses the system's colours.
using Color = std::uint32_t;

struct StatusPanel {
  std::string text;
  int width = 0;  // twips
};

// The backend's side of one control. Calls describe the new state; a peer
// never calls back into the control from inside one of these.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual WindowHandle Handle() const = 0;
  virtual void ShowText(const std::string& text) = 0;
  virtual void ShowVisible(bool visible) = 0;
  virtual void ShowEnabled(bool /*enabled*/) {}
  virtual void ShowToolTip(const std::string& tip) = 0;
  virtual void ShowCheck(int /*value*/) {}
  virtual void ListAdd(const std::string& /*item*/) {}
  virtual void ListAddMany(const std::string* items, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) ListAdd(items[i]);
  }
  virtual void ListRemove(int /*index*/) {}
  // Every entry goes at once.
  virtual void ListClear() {}
  virtual void ListSelect(int /*index*/) {}  // -1: no selection
  virtual void ShowPanels(const std::vector<StatusPanel>& /*panels*/) {}
  // Position and size within the container, and a new container.
  virtual void ShowRect(const TwipsRect& /*rect*/) {}
  virtual void ShowContainer(const Control* /*container*/) {}
  virtual void ShowColors(std::optional<Color> /*back*/, std::optional<Color> /*fore*/) {}
  virtual void ShowFont(const FontSpec& /*font*/) {}
  // The keyboard focus moves to the control.
  virtual void TakeFocus() {}
  // A picture instead of the caption: a bitmap among the program's resources.
  virtual void ShowPicture(const std::string& /*resource*/) {}
};

class Control {
 public:
  Control(ControlKind kind, std::string name, TwipsRect rect, Control* container, std::string text);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  // Position within its container (the frame or picture box it lies in, or
  // the form when null).
  const TwipsRect& Rect() const { return rect_; }
  void SetRect(const TwipsRect& rect);
  Control* Container() const { return container_; }
  // Moves the control into another container (null: the form), keeping Rect.
  void SetContainer(Control* container);

  // Colours; nothing means the system's colours for this kind of control.
  std::optional<Color> BackColor() const { return back_color_; }
  std::optional<Color> ForeColor() const { return fore_color_; }
  void SetBackColor(Color color);
  void SetForeColor(Color color);
  // The control's own font; nothing means the form's font.
  const std::optional<FontSpec>& Font() const { return font_; }
  void SetFont(const FontSpec& font);
  WindowHandle hWnd() const { return peer_ ? peer_->Handle() : 0; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // A disabled control looks so and takes no input from the user; a window
  // system shows no tooltip on it either, so its label should carry one.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  const std::string& ToolTipText() const { return tooltip_; }
  void SetToolTipText(std::string tip);
  // Gives the control the keyboard focus (on the screen; the headless
  // backend has no keyboard).
  void SetFocus() {
    if (peer_) peer_->TakeFocus();
  }

  // Used by the form when it attaches the backend's widget.
  void AttachPeer(std::unique_ptr<ControlPeer> peer);

 protected:
  ControlPeer* Peer() const { return peer_.get(); }
  // Caption of labels, buttons and frames; text of text boxes.
  std::string text_;

 private:
  ControlKind kind_;
  std::string name_;
  TwipsRect rect_;
  Control* container_;
  bool visible_ = true;
  bool enabled_ = true;
  std::optional<Color> back_color_;
  std::optional<Color> fore_color_;
  std::optional<FontSpec> font_;
  std::string tooltip_;
  std::unique_ptr<ControlPeer> peer_;
};

class Frame : public Control {
 public:
  Frame(std::string name, TwipsRect rect, std::string caption)
      : Control(ControlKind::kFrame, std::move(name), rect, nullptr, std::move(caption)) {}
  const std::string& Caption() const { return text_; }
};

class Label : public Control {
 public:
  Label(std::string name, TwipsRect rect, Frame* container, std::string caption)
      : Control(ControlKind::kLabel, std::move(name), rect, container, std::move(caption)) {}
  const std::string& Caption() const { return text_; }
  void SetCaption(std::string caption);
  // A click on the label, by the user or by code; only labels with a handler
  // take clicks.
  void Click() {
    if (OnClick) OnClick();
  }

  std::function<void()> OnClick;
};

// A check box: 0 clear, 1 ticked, 2 greyed. Assigning a value that differs
// from the present one runs OnClick, whether code or the user changed it.
class CheckBox : public Control {
 public:
  CheckBox(std::string name, TwipsRect rect, Frame* container)
      : Control(ControlKind::kCheckBox, std::move(name), rect, container, {}) {}
  int Value() const { return value_; }
  // The text beside the box; most boxes of this program carry theirs in a label.
  const std::string& Caption() const { return text_; }
  void SetCaption(std::string caption) {
    text_ = std::move(caption);
    if (Peer()) Peer()->ShowText(text_);
  }
  // Values outside 0..2 are refused (false) and change nothing.
  bool SetValue(int value);
  // A user's click: a ticked box becomes clear, any other becomes ticked; a
  // disabled box stays as it is.
  void UserClick() {
    if (Enabled()) SetValue(value_ == 1 ? 0 : 1);
  }

  std::function<void()> OnClick;

 private:
  int value_ = 0;
};

class TextBox : public Control {
 public:
  TextBox(std::string name, TwipsRect rect, Frame* container)
      : Control(ControlKind::kTextBox, std::move(name), rect, container, {}) {}
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  // The user typed: the widget already shows the text.
  void UserEdited(std::string text) { text_ = std::move(text); }
  // A character key the user pressed in the box, before the box takes it.
  // The handler may change the code; 0 swallows the key. The code to pass on.
  int UserKeyPress(int key_ascii) {
    if (OnKeyPress) OnKeyPress(key_ascii);
    return key_ascii;
  }

  std::function<void(int& key_ascii)> OnKeyPress;
};

class Button : public Control {
 public:
  Button(std::string name, TwipsRect rect, Frame* container, std::string caption)
      : Control(ControlKind::kButton, std::move(name), rect, container, std::move(caption)) {}
  const std::string& Caption() const { return text_; }
  void SetCaption(std::string caption);
  // The button shows this bitmap resource instead of its caption (which
  // stays its name for the screen reader).
  const std::string& Picture() const { return picture_; }
  void SetPicture(std::string resource) {
    picture_ = std::move(resource);
    if (Peer()) Peer()->ShowPicture(picture_);
  }
  // Pressing the button, by the user or by code; a disabled button cannot be pressed.
  void Click() {
    if (OnClick && Enabled()) OnClick();
  }

  std::function<void()> OnClick;

 private:
  std::string picture_;
};

// A single-selection list box in insertion order (not sorted). It holds the
// entries; its window shows them without a copy of its own.
class ListBoxControl : public Control {
 public:
  ListBoxControl(std::string name, TwipsRect rect, Frame* container)
      : Control(ControlKind::kListBox, std::move(name), rect, container, {}) {}

  int ListCount() const { return static_cast<int>(items_.size()); }
  std::string List(int index) const;
  void AddItem(const std::string& item);
  void AddItems(std::vector<std::string> items);
  void RemoveItem(int index);
  // Removes every entry, in one step however many there are.
  void Clear();
  bool Selected(int index) const { return index >= 0 && index == list_index_; }

  int ListIndex() const { return list_index_; }
  // -1 clears the selection; an index outside the list is ignored.
  void SetListIndex(int index);
  // The user selected an entry: the widget already shows it.
  void UserSelected(int index);

 private:
  std::vector<std::string> items_;
  int list_index_ = -1;
};

// A status bar of panels, numbered from 1. It starts with one panel.
class StatusBar : public Control {
 public:
  StatusBar(std::string name, TwipsRect rect)
      : Control(ControlKind::kStatusBar, std::move(name), rect, nullptr, {}), panels_(1) {}
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  void AddPanel();
  // False, and nothing changes, when there is no such panel.
  bool SetPanelText(int number, std::string text);
  bool SetPanelWidth(int number, int twips);
  std::string PanelText(int number) const;
  int PanelWidth(int number) const;

 private:
  std::vector<StatusPanel> panels_;
};

// A picture box: here only its mouse-move handling matters.
class PictureBox : public Control {
 public:
  PictureBox(std::string name, TwipsRect rect, Frame* container)
      : Control(ControlKind::kPictureBox, std::move(name), rect, container, {}) {}
  void MouseMove() {
    if (OnMouseMove) OnMouseMove();
  }
  std::function<void()> OnMouseMove;
};

// A picture from the program's resources, stretched over the control; the
// text is drawn instead when the program carries no such picture.
class Image : public Control {
 public:
  Image(std::string name, TwipsRect rect, std::string resource, std::string fallback_text)
      : Control(ControlKind::kImage, std::move(name), rect, nullptr, std::move(fallback_text)),
        resource_(std::move(resource)) {}
  const std::string& Resource() const { return resource_; }
  const std::string& FallbackText() const { return text_; }

 private:
  std::string resource_;
};

}  // namespace quellix::ui
