// A list box kept in memory, for tests and fuzz targets that run the site
// list store without a window.
#pragma once

#include <string>
#include <vector>

#include "core/list_box.h"

namespace quellix {

class MemoryListBox : public ListBox {
 public:
  int ListCount() const override { return static_cast<int>(items_.size()); }
  std::string List(int index) const override {
    return index >= 0 && index < ListCount() ? items_[static_cast<std::size_t>(index)] : std::string();
  }
  void AddItem(const std::string& item) override { items_.push_back(item); }
  void RemoveItem(int index) {
    if (index >= 0 && index < ListCount()) items_.erase(items_.begin() + index);
  }

 private:
  std::vector<std::string> items_;
};

}  // namespace quellix
