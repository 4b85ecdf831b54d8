// Menus: the menu bar of a window and the context menus it shows. An entry of
// an entry array carries its index; a single entry has index -1.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quellix::ui {

class MenuItem {
 public:
  MenuItem(std::string name, int index, std::string caption, bool visible, int command_id)
      : name_(std::move(name)), index_(index), caption_(std::move(caption)), visible_(visible),
        command_id_(command_id) {}
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const std::string& Name() const { return name_; }
  int Index() const { return index_; }
  const std::string& Caption() const { return caption_; }
  // A hidden top-level menu is not in the menu bar; it serves as a context
  // menu. A hidden entry is not in its menu.
  bool Visible() const { return visible_; }
  // A disabled entry is shown greyed. Neither it nor a hidden one can be
  // chosen. The menus show a change from the next ShowMenuBar or PopupMenu.
  bool Enabled() const { return enabled_; }
  void SetVisible(bool visible) { visible_ = visible; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  // Unique within its window; what the backend reports when the entry is chosen.
  int CommandId() const { return command_id_; }
  const std::vector<std::unique_ptr<MenuItem>>& Items() const { return items_; }

  // The entry of this menu with that name (and index, unless -1 is asked).
  MenuItem* Find(const std::string& name, int index = -1) const;
  // Choosing the entry, by the user or by code.
  void Click() {
    if (OnClick && enabled_ && visible_) OnClick();
  }

  std::function<void()> OnClick;

 private:
  friend class Form;
  MenuItem& Append(std::string name, int index, std::string caption, int command_id);

  std::string name_;
  int index_;
  std::string caption_;
  bool visible_;
  bool enabled_ = true;
  int command_id_;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

}  // namespace quellix::ui
