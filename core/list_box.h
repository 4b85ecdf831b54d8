// A list box as the site list store and the list panel use it. Positions count
// from 0; a list box holds at most kMaxListEntries entries.
#pragma once

#include <string>
#include <vector>

namespace quellix {

// Positions are signed 16-bit numbers.
inline constexpr int kMaxListEntries = 32767;

class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual int ListCount() const = 0;
  virtual std::string List(int index) const = 0;
  virtual void AddItem(const std::string& item) = 0;
  // Appends many entries at once (a list being loaded), so that a window's
  // list box takes them in one go instead of redrawing for every one.
  virtual void AddItems(std::vector<std::string> items) {
    for (const std::string& item : items) AddItem(item);
  }
  virtual void RemoveItem(int index) = 0;
  virtual bool Selected(int index) const = 0;
};

// A list box kept in memory: the store's list box until a window holds one.
class MemoryListBox : public ListBox {
 public:
  int ListCount() const override { return static_cast<int>(items_.size()); }
  std::string List(int index) const override {
    return index >= 0 && index < ListCount() ? items_[static_cast<std::size_t>(index)].text : std::string();
  }
  void AddItem(const std::string& item) override { items_.push_back({item, false}); }
  void RemoveItem(int index) override {
    if (index >= 0 && index < ListCount()) items_.erase(items_.begin() + index);
  }
  bool Selected(int index) const override {
    return index >= 0 && index < ListCount() && items_[static_cast<std::size_t>(index)].selected;
  }
  void SetSelected(int index, bool selected) {
    if (index >= 0 && index < ListCount()) items_[static_cast<std::size_t>(index)].selected = selected;
  }

 private:
  struct Item {
    std::string text;
    bool selected;
  };
  std::vector<Item> items_;
};

}  // namespace quellix
