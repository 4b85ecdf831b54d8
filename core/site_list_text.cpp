#include "core/site_list_text.h"

#include <algorithm>
#include <cstring>

#include "text/letter_case.h"

namespace quellix {
namespace {

// The bucket table grows with the text (about one bucket per byte, at most
// 2^18) so a short list costs little memory.
constexpr std::uint32_t kMinBucketBits = 6;
constexpr std::uint32_t kMaxBucketBits = 18;
// Appended lines are scanned one by one until there are this many; then the
// index is rebuilt so a long session of additions stays fast.
constexpr std::size_t kMaxRecentLines = 64;

inline std::uint32_t TrigramBucket(const char* p, std::uint32_t bits) {
  const std::uint32_t v = static_cast<unsigned char>(p[0]) |
                          (static_cast<unsigned char>(p[1]) << 8) |
                          (static_cast<unsigned char>(p[2]) << 16);
  return (v * 2654435761u) >> (32 - bits);
}

inline bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace

void SiteListText::Assign(std::string text) {
  text_ = std::move(text);
  folded_ = FoldCase(text_);
  Rebuild();
}

void SiteListText::Append(std::string_view more) {
  if (more.empty()) return;
  const std::size_t old_size = text_.size();
  text_.append(more);
  folded_.append(more);
  // Fold from the start of the last old character so a split UTF-8 pair folds
  // the same way as it would in a whole-text fold.
  std::string tail = folded_.substr(old_size > 0 ? old_size - 1 : 0);
  FoldCaseInPlace(tail);
  folded_.replace(old_size > 0 ? old_size - 1 : 0, std::string::npos, tail);
  // The last indexed line may continue into the appended text: re-read from its start.
  std::size_t from = old_size;
  auto reopen = [&](std::vector<Line>& v) {
    if (!v.empty() && v.back().end == old_size) {
      from = v.back().begin;
      v.pop_back();
      return true;
    }
    return false;
  };
  if (!reopen(recent_) && reopen(lines_)) {
    // A reopened indexed line would need its postings removed: rebuild instead.
    Rebuild();
    return;
  }
  AddLines(from, recent_);
  if (recent_.size() > kMaxRecentLines) Rebuild();
}

void SiteListText::AddLines(std::size_t from_offset, std::vector<Line>& into) const {
  std::size_t i = from_offset;
  const std::size_t n = folded_.size();
  while (i < n) {
    while (i < n && IsLineBreak(folded_[i])) ++i;
    const std::size_t begin = i;
    while (i < n && !IsLineBreak(folded_[i])) ++i;
    if (i > begin) into.push_back({static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(i)});
  }
}

void SiteListText::Rebuild() {
  lines_.clear();
  recent_.clear();
  postings_.clear();
  bucket_bits_ = kMinBucketBits;
  while (bucket_bits_ < kMaxBucketBits && (std::size_t{1} << bucket_bits_) < folded_.size()) ++bucket_bits_;
  const std::uint32_t bucket_count = 1u << bucket_bits_;
  bucket_start_.assign(bucket_count + 1, 0);
  AddLines(0, lines_);

  // Two passes (count, then place) give every bucket a contiguous run of line
  // numbers. A line is listed once per distinct bucket in a row; repeats of a
  // trigram inside one line are rare enough that duplicates do no harm.
  const char* base = folded_.data();
  auto for_each_bucket = [&](auto&& visit) {
    for (std::uint32_t li = 0; li < lines_.size(); ++li) {
      const Line& line = lines_[li];
      std::uint32_t previous = bucket_count;
      for (std::uint32_t p = line.begin; p + 3 <= line.end; ++p) {
        const std::uint32_t b = TrigramBucket(base + p, bucket_bits_);
        if (b != previous) visit(b, li);
        previous = b;
      }
    }
  };
  for_each_bucket([&](std::uint32_t b, std::uint32_t) { ++bucket_start_[b + 1]; });
  for (std::uint32_t b = 0; b < bucket_count; ++b) bucket_start_[b + 1] += bucket_start_[b];
  postings_.resize(bucket_start_[bucket_count]);
  std::vector<std::uint32_t> fill(bucket_start_.begin(), bucket_start_.end() - 1);
  for_each_bucket([&](std::uint32_t b, std::uint32_t li) { postings_[fill[b]++] = li; });
}

bool SiteListText::LineContains(const Line& line, std::string_view folded_site) const {
  const std::string_view l(folded_.data() + line.begin, line.end - line.begin);
  if (l.size() < folded_site.size()) return false;
  return l.find(folded_site) != std::string_view::npos;
}

bool SiteListText::ScanAll(std::string_view folded_site) const {
  return std::string_view(folded_).find(folded_site) != std::string_view::npos;
}

bool SiteListText::Contains(std::string_view site) const {
  if (text_.empty()) return false;
  if (site.empty()) return true;
  const std::string folded_site = FoldCase(site);
  // A site that spans lines, or too short for a trigram, is searched in the whole text.
  if (folded_site.size() < 3 ||
      folded_site.find_first_of("\r\n") != std::string::npos) {
    return ScanAll(folded_site);
  }
  for (const Line& line : recent_) {
    if (LineContains(line, folded_site)) return true;
  }
  if (lines_.empty()) return false;

  // Any line holding the site holds every trigram of it: look at the lines of
  // the rarest trigram bucket only.
  std::uint32_t best = 0;
  std::uint32_t best_size = UINT32_MAX;
  for (std::size_t p = 0; p + 3 <= folded_site.size(); ++p) {
    const std::uint32_t b = TrigramBucket(folded_site.data() + p, bucket_bits_);
    const std::uint32_t size = bucket_start_[b + 1] - bucket_start_[b];
    if (size < best_size) {
      best = b;
      best_size = size;
      if (size == 0) return false;
    }
  }
  for (std::uint32_t k = bucket_start_[best]; k < bucket_start_[best + 1]; ++k) {
    if (LineContains(lines_[postings_[k]], folded_site)) return true;
  }
  return false;
}

}  // namespace quellix
