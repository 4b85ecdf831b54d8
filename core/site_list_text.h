// A list text (`strAllowed`, `strDisallowed`): the entries, each followed by
// CR LF, exactly as the store keeps them, plus an index that answers "is this
// site on the list?" without scanning the whole text for every request.
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

  const std::string& Text() const { return text_; }
  bool Empty() const { return text_.empty(); }

  // Replaces the whole text and rebuilds the index.
  void Assign(std::string text);
  // Appends to the text; the index takes the new lines without a rebuild.
  void Append(std::string_view more);

  // True when `site` occurs in the text, ignoring letter case: the membership
  // rule of the popup decision, answered from the index.
  bool Contains(std::string_view site) const;

 private:
  struct Line {
    std::uint32_t begin;  // offset in folded_
    std::uint32_t end;
  };

  void Rebuild();
  void AddLines(std::size_t from_offset, std::vector<Line>& into) const;
  bool LineContains(const Line& line, std::string_view folded_site) const;
  bool ScanAll(std::string_view folded_site) const;

  std::string text_;
  std::string folded_;           // text_ case-folded; same length and offsets
  std::vector<Line> lines_;      // indexed lines (runs between CR/LF)
  std::vector<Line> recent_;     // lines appended since the last rebuild, scanned directly
  // Trigram index in compressed form: the lines holding trigram bucket b are
  // postings_[bucket_start_[b] .. bucket_start_[b + 1]).
  std::uint32_t bucket_bits_ = 0;
  std::vector<std::uint32_t> bucket_start_;
  std::vector<std::uint32_t> postings_;
};

}  // namespace quellix
