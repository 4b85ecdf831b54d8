// The main window's list control as the site list store's list box: the store
// fills and saves through it, and the control keeps the only copy of the
// entries (its window draws them from there).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/list_box.h"
#include "ui/controls/control.h"

namespace quellix {

class SiteListBox final : public ListBox {
 public:
  explicit SiteListBox(ui::ListBoxControl& control) : control_(control) {}
  int ListCount() const override { return control_.ListCount(); }
  std::string List(int index) const override { return control_.List(index); }
  void AddItem(const std::string& item) override { control_.AddItem(item); }
  void AddItems(std::vector<std::string> items) override { control_.AddItems(std::move(items)); }

 private:
  ui::ListBoxControl& control_;
};

}  // namespace quellix
