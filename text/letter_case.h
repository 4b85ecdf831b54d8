// Case-insensitive text comparison for site matching. Letters of ASCII and of
// Latin-1 (the letters the list files' code page holds) compare equal to their
// other case; folding never changes the byte length of UTF-8 text, so offsets
// found in folded text are offsets in the original.
#pragma once

#include <string>
#include <string_view>

namespace quellix {

// Folds to lower case in place: A-Z and U+00C0..U+00DE (except U+00D7).
void FoldCaseInPlace(std::string& text);
std::string FoldCase(std::string_view text);

// True when `needle` occurs in `haystack`, ignoring letter case. The empty
// needle occurs in every non-empty haystack and in no empty one.
bool ContainsIgnoringCase(std::string_view haystack, std::string_view needle);

// Lower-cases ASCII letters only (for scheme prefixes).
std::string AsciiLower(std::string_view text);

}  // namespace quellix
