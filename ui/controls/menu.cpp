#include "ui/controls/menu.h"

namespace quellix::ui {

MenuItem* MenuItem::Find(const std::string& name, int index) const {
  for (const auto& item : items_) {
    if (item->Name() == name && (index == -1 || item->Index() == index)) return item.get();
  }
  return nullptr;
}

MenuItem& MenuItem::Append(std::string name, int index, std::string caption, int command_id) {
  items_.push_back(std::make_unique<MenuItem>(std::move(name), index, std::move(caption), true, command_id));
  return *items_.back();
}

}  // namespace quellix::ui
