// A list text (`strAllowed`, `strDisallowed`): the entries, each followed by
// CR LF, exactly as the store keeps them, plus an index that answers "is this
// site on the list?" without scanning the whole text for every request.
//
// The text is held once, case-folded, with a bit for every byte whose letter
// was a capital; Text() gives the original back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quellix {

class SiteListText {
 public:
  SiteListText() = default;
  explicit SiteListText(std::string text) { Assign(std::move(text)); }

  // The text exactly as assigned and appended.
  std::string Text() const;
  bool Empty() const { return folded_.empty(); }

  // Replaces the whole text and rebuilds the index.
  void Assign(std::string text);
  // Appends to the text and rebuilds the index.
  void Append(std::string_view more);

  // True when `site` occurs in the text, ignoring letter case: the membership
  // rule of the popup decision. Never costs more than one plain search of the
  // whole folded text, and sites of four or more bytes that no entry holds
  // are usually told apart from a few index probes.
  bool Contains(std::string_view site) const;

 private:
  struct Line {
    std::uint32_t begin;  // offset in folded_
    std::uint32_t end;
  };
  using LineNumber = std::uint16_t;

  void FoldFrom(std::size_t from);
  void Rebuild();
  std::string_view LineText(std::uint32_t line) const;
  bool ContainsLong(std::string_view folded_site) const;
  bool ContainsShort(std::string_view folded_site) const;
  bool Scan(std::string_view folded_site) const;

  std::string folded_;                 // the text, case-folded: same length and offsets
  std::vector<std::uint64_t> capitals_;  // bit i: byte i was folded (empty when none was)
  bool indexed_ = false;  // false: every question is a plain search of folded_
  std::vector<std::uint32_t> line_begins_;  // where each run between CR/LF starts in folded_
  std::vector<std::uint32_t> line_grams_;   // per line: a bit for each of its grams' signatures
  std::uint32_t longest_line_ = 0;
  std::uint64_t bytes_present_[4] = {};      // every byte value inside a line
  std::vector<std::uint64_t> pairs_present_;  // every pair of bytes inside a line
  std::vector<std::uint64_t> triples_seen_;   // hashed triples inside a line
  // Four-byte-gram index: the lines holding a gram of bucket b are
  // postings_[bucket_start_[b] .. bucket_start_[b + 1]), ascending, each once.
  std::uint32_t bucket_bits_ = 0;
  std::vector<std::uint32_t> bucket_start_;
  std::vector<LineNumber> postings_;
};

}  // namespace quellix
