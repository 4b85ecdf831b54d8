// The list box the site list store fills and saves from: the main window's
// list control, or a list in memory where there is no window. Positions count
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
};

}  // namespace quellix
