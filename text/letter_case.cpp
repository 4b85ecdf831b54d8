#include "text/letter_case.h"

#include <algorithm>

namespace quellix {

void FoldCaseInPlace(std::string& text) {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 'A' && c <= 'Z') {
      text[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < n) {
      // U+00C0..U+00DE are C3 80..C3 9E; their small letters are C3 A0..C3 BE.
      const auto d = static_cast<unsigned char>(text[i + 1]);
      // Context-free on purpose (no skipping): folding a piece of a text
      // gives the same bytes as the same piece of the folded whole text.
      if (d >= 0x80 && d <= 0x9E && d != 0x97) text[i + 1] = static_cast<char>(d + 0x20);
    }
  }
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  FoldCaseInPlace(folded);
  return folded;
}

bool ContainsIgnoringCase(std::string_view haystack, std::string_view needle) {
  if (haystack.empty()) return false;
  if (needle.empty()) return true;
  const std::string h = FoldCase(haystack);
  const std::string n = FoldCase(needle);
  return std::search(h.begin(), h.end(), n.begin(), n.end()) != h.end();
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return lower;
}

}  // namespace quellix
