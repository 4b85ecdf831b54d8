// Two lists of different lengths, big enough that writing one takes a while,
// and the exact files a whole-list save makes of them.
#pragma once

#include <string>

#include "core/list_box.h"

namespace quellix::testing {

inline std::string FirstEntry(int i) { return "first-" + std::to_string(i) + ".example"; }
inline std::string SecondEntry(int i) { return "second-list-entry-" + std::to_string(i) + ".example"; }
inline constexpr int kFirstCount = 6000;
inline constexpr int kSecondCount = 4000;

inline void FillFirstList(ListBox& box) {
  for (int i = 0; i < kFirstCount; ++i) box.AddItem(FirstEntry(i));
}
inline void FillSecondList(ListBox& box) {
  for (int i = 0; i < kSecondCount; ++i) box.AddItem(SecondEntry(i));
}
inline std::string FirstFile() {
  std::string file;
  for (int i = 0; i < kFirstCount; ++i) file += FirstEntry(i) + "\r\n";
  return file + "\r\n";
}
inline std::string SecondFile() {
  std::string file;
  for (int i = 0; i < kSecondCount; ++i) file += SecondEntry(i) + "\r\n";
  return file + "\r\n";
}

}  // namespace quellix::testing
