#include "text/substring_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace quellix {
namespace {

std::size_t PlainFind(std::string_view haystack, std::string_view needle) {
  const auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
  if (at == haystack.end()) return needle.empty() ? 0 : std::string_view::npos;
  return static_cast<std::size_t>(at - haystack.begin());
}

// Periodic texts over two or three letters are where a search goes wrong
// (or quadratic): both searches must find the first occurrence exactly.
TEST(SubstringSearch, FirstOccurrenceAsAPlainSearchFindsIt) {
  std::mt19937 random(99);
  for (int round = 0; round < 4000; ++round) {
    const std::string alphabet = round % 2 ? "ab" : "abc\xFF";
    auto random_text = [&](std::size_t length) {
      std::string s;
      for (std::size_t i = 0; i < length; ++i) s.push_back(alphabet[random() % alphabet.size()]);
      return s;
    };
    std::string haystack = random_text(random() % 300);
    std::string needle = random_text(random() % 12);
    if (round % 3 == 0 && !haystack.empty()) {
      const std::size_t from = random() % haystack.size();
      needle = haystack.substr(from, random() % 40);
    }
    if (round % 5 == 0) {  // a repeated block, then a near miss of it
      const std::string block = random_text(1 + random() % 5);
      needle.clear();
      for (int i = 0; i < 6; ++i) needle += block;
      haystack = needle.substr(0, needle.size() - 1) + needle + needle.substr(1);
      if (round % 10 == 0) needle.back() ^= 1;
    }
    EXPECT_EQ(FindBytesTwoWay(haystack, needle), PlainFind(haystack, needle)) << haystack << " / " << needle;
    EXPECT_EQ(FindBytes(haystack, needle), PlainFind(haystack, needle)) << haystack << " / " << needle;
  }
  EXPECT_EQ(FindBytesTwoWay("", ""), 0u);
  EXPECT_EQ(FindBytesTwoWay("abc", "abcd"), std::string_view::npos);
}

}  // namespace
}  // namespace quellix
