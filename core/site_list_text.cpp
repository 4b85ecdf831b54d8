#include "core/site_list_text.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "text/letter_case.h"
#include "text/substring_search.h"

namespace quellix {
namespace {

// The bucket table grows with the text (about one bucket for every two grams,
// at most 2^18) so a short list costs little memory.
constexpr std::uint32_t kMinBucketBits = 6;
constexpr std::uint32_t kMaxBucketBits = 18;
// Lines are numbered in 16 bits; a text of more lines is searched plainly.
constexpr std::size_t kMaxIndexedLines = 65536;
// Grams of a long site looked up in the index; any subset of them is a sound filter.
constexpr std::size_t kMaxProbes = 32;
// What checking one candidate line costs, counted in bytes of a plain search:
// with more candidates than text size / this, the plain search is cheaper.
constexpr std::size_t kCandidateCostInBytes = 512;
// Grams of a site that go into its signature.
constexpr std::size_t kSignatureGrams = 64;
// A site this long is folded on the stack.
constexpr std::size_t kSiteBufferSize = 256;
// Triples are remembered in a hashed bit set of this many bits.
constexpr std::uint32_t kTripleBits = 1u << 16;

inline std::uint32_t Load4(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline std::uint32_t GramBucket(const char* p, std::uint32_t bits) { return (Load4(p) * 2654435761u) >> (32 - bits); }

// One of 32 bits for a four-byte gram, independent of its bucket.
inline std::uint32_t GramSignature(const char* p) { return 1u << ((Load4(p) * 0x9E3779B1u) >> 27); }

inline std::uint32_t TripleHash(const char* p) {
  const std::uint32_t v = static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8) |
                          (static_cast<unsigned char>(p[2]) << 16);
  return (v * 2654435761u) >> 16;
}

inline std::uint32_t PairOf(const char* p) {
  return static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8);
}

// Folds d[from..n) in place exactly as FoldCaseInPlace folds a whole text
// (a folded 0xC3 was a 0xC3 before) and calls `on_capital` for every byte
// it changes; both letter ranges lie 32 below their small letters.
template <typename OnCapital>
void FoldBytes(unsigned char* d, std::size_t from, std::size_t n, OnCapital&& on_capital) {
  bool after_c3 = from > 0 && d[from - 1] == 0xC3;
  for (std::size_t i = from; i < n; ++i) {
    const unsigned char c = d[i];
    const bool capital =
        static_cast<unsigned char>(c - 'A') < 26 || (after_c3 && c >= 0x80 && c <= 0x9E && c != 0x97);
    after_c3 = c == 0xC3;
    if (!capital) continue;
    d[i] = static_cast<unsigned char>(c + 32);
    on_capital(i);
  }
}

// True when `line` holds `site` (4 bytes or more). Short lines are compared
// position by position, which beats setting up a search; the product of the
// two lengths bounds that work, beyond it the linear search takes over.
bool LineHolds(std::string_view line, std::string_view site) {
  if (line.size() < site.size()) return false;
  const std::size_t starts = line.size() - site.size() + 1;
  if (starts * site.size() > 1024) return FindBytes(line, site) != std::string_view::npos;
  const std::uint32_t head = Load4(site.data());
  for (std::size_t i = 0; i < starts; ++i) {
    if (Load4(line.data() + i) == head && std::memcmp(line.data() + i + 4, site.data() + 4, site.size() - 4) == 0) {
      return true;
    }
  }
  return false;
}

inline bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

inline void SetBit(std::uint64_t* bits, std::uint32_t i) { bits[i >> 6] |= std::uint64_t{1} << (i & 63); }
inline bool TestBit(const std::uint64_t* bits, std::uint32_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }

}  // namespace

std::string SiteListText::Text() const {
  std::string text = folded_;
  for (std::size_t w = 0; w < capitals_.size(); ++w) {
    for (std::uint64_t bits = capitals_[w]; bits != 0; bits &= bits - 1) {
      const std::size_t i = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
      text[i] = static_cast<char>(static_cast<unsigned char>(text[i]) - 32);
    }
  }
  return text;
}

void SiteListText::Assign(std::string text) {
  folded_ = std::move(text);
  capitals_.clear();
  FoldFrom(0);
  Rebuild();
}

void SiteListText::Append(std::string_view more) {
  if (more.empty()) return;
  const std::size_t old_size = folded_.size();
  folded_.append(more);
  FoldFrom(old_size);
  Rebuild();
}

// Folds folded_[from..] in place, marking every byte that was a capital.
void SiteListText::FoldFrom(std::size_t from) {
  const std::size_t n = folded_.size();
  if (!capitals_.empty()) capitals_.resize((n + 63) / 64, 0);
  FoldBytes(reinterpret_cast<unsigned char*>(folded_.data()), from, n, [&](std::size_t i) {
    if (capitals_.empty()) capitals_.assign((n + 63) / 64, 0);
    capitals_[i >> 6] |= std::uint64_t{1} << (i & 63);
  });
}

void SiteListText::Rebuild() {
  indexed_ = false;
  line_begins_.clear();
  line_grams_.clear();
  longest_line_ = 0;
  std::fill(std::begin(bytes_present_), std::end(bytes_present_), 0);
  pairs_present_.clear();
  triples_seen_.clear();
  bucket_start_.clear();
  postings_.clear();
  // Offsets are 32-bit: a larger text is searched plainly.
  if (folded_.size() >= UINT32_MAX) return;

  std::vector<Line> lines;
  std::size_t grams = 0;
  const std::size_t n = folded_.size();
  const char* base = folded_.data();
  for (std::size_t i = 0; i < n;) {
    while (i < n && IsLineBreak(base[i])) ++i;
    const std::size_t begin = i;
    while (i < n && !IsLineBreak(base[i])) ++i;
    if (i == begin) continue;
    if (lines.size() == kMaxIndexedLines) return;
    lines.push_back({static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(i)});
    longest_line_ = std::max(longest_line_, static_cast<std::uint32_t>(i - begin));
    if (i - begin >= 4) grams += i - begin - 3;
  }
  indexed_ = true;
  line_begins_.resize(lines.size());
  line_grams_.assign(lines.size(), 0);

  pairs_present_.assign(65536 / 64, 0);
  triples_seen_.assign(kTripleBits / 64, 0);
  bucket_bits_ = kMinBucketBits;
  while (bucket_bits_ < kMaxBucketBits && (std::size_t{1} << bucket_bits_) < grams / 8) ++bucket_bits_;
  const std::uint32_t bucket_count = 1u << bucket_bits_;
  bucket_start_.assign(bucket_count + 1, 0);

  // Two passes (count, then place) give every bucket a contiguous run of
  // ascending line numbers. A line is listed once per run of one bucket; a
  // gram repeated further on in a line lists it again, which costs little
  // and is skipped when candidates are read.
  for (std::uint32_t li = 0; li < lines.size(); ++li) {
    const Line& line = lines[li];
    line_begins_[li] = line.begin;
    std::uint32_t signature = 0;
    std::uint32_t previous = bucket_count;
    for (std::uint32_t p = line.begin; p < line.end; ++p) {
      SetBit(bytes_present_, static_cast<unsigned char>(base[p]));
      if (p + 2 <= line.end) SetBit(pairs_present_.data(), PairOf(base + p));
      if (p + 3 <= line.end) SetBit(triples_seen_.data(), TripleHash(base + p));
      if (p + 4 > line.end) continue;
      signature |= GramSignature(base + p);
      const std::uint32_t b = GramBucket(base + p, bucket_bits_);
      if (b != previous) ++bucket_start_[b + 1];
      previous = b;
    }
    line_grams_[li] = signature;
  }
  for (std::uint32_t b = 0; b < bucket_count; ++b) bucket_start_[b + 1] += bucket_start_[b];
  postings_.resize(bucket_start_[bucket_count]);
  std::vector<std::uint32_t> fill(bucket_start_.begin(), bucket_start_.end() - 1);
  for (std::uint32_t li = 0; li < lines.size(); ++li) {
    const Line& line = lines[li];
    std::uint32_t previous = bucket_count;
    for (std::uint32_t p = line.begin; p + 4 <= line.end; ++p) {
      const std::uint32_t b = GramBucket(base + p, bucket_bits_);
      if (b != previous) postings_[fill[b]++] = static_cast<LineNumber>(li);
      previous = b;
    }
  }
}

std::string_view SiteListText::LineText(std::uint32_t li) const {
  const std::uint32_t begin = line_begins_[li];
  std::size_t end = li + 1 < line_begins_.size() ? line_begins_[li + 1] : folded_.size();
  while (end > begin && IsLineBreak(folded_[end - 1])) --end;
  return std::string_view(folded_.data() + begin, end - begin);
}

bool SiteListText::Scan(std::string_view folded_site) const {
  return FindBytes(folded_, folded_site) != std::string_view::npos;
}

bool SiteListText::ContainsShort(std::string_view s) const {
  if (s.size() == 1) return TestBit(bytes_present_, static_cast<unsigned char>(s[0]));
  if (s.size() == 2) return TestBit(pairs_present_.data(), PairOf(s.data()));
  return TestBit(triples_seen_.data(), TripleHash(s.data())) && Scan(s);
}

bool SiteListText::ContainsLong(std::string_view s) const {
  // A line that holds the site holds every gram of it: it is listed in the
  // bucket of each, and its signature has every bit of the site's. The
  // rarest probed bucket gives the candidates, the signatures sift them.
  const std::size_t grams = s.size() - 3;
  const std::size_t probes = std::min(grams, kMaxProbes);
  std::uint32_t rarest_begin = 0;
  std::uint32_t rarest_end = UINT32_MAX;
  for (std::size_t i = 0; i < probes; ++i) {
    const std::size_t at = probes == grams ? i : i * (grams - 1) / (probes - 1);
    const std::uint32_t b = GramBucket(s.data() + at, bucket_bits_);
    const std::uint32_t begin = bucket_start_[b];
    const std::uint32_t end = bucket_start_[b + 1];
    if (begin == end) return false;
    if (end - begin < rarest_end - rarest_begin) {
      rarest_begin = begin;
      rarest_end = end;
    }
  }
  if (std::size_t{rarest_end - rarest_begin} * kCandidateCostInBytes > folded_.size()) return Scan(s);

  std::uint32_t signature = 0;
  for (std::size_t at = 0; at < std::min(grams, kSignatureGrams); ++at) signature |= GramSignature(s.data() + at);
  std::uint32_t last = UINT32_MAX;
  for (std::uint32_t k = rarest_begin; k < rarest_end; ++k) {
    const LineNumber li = postings_[k];
    if (li == last) continue;
    last = li;
    if ((line_grams_[li] & signature) != signature) continue;
    if (LineHolds(LineText(li), s)) return true;
  }
  return false;
}

bool SiteListText::Contains(std::string_view site) const {
  if (folded_.empty()) return false;
  if (site.empty()) return true;
  // Folding keeps CR and LF, so a site that spans lines is told before.
  const bool spans_lines =
      std::memchr(site.data(), '\r', site.size()) != nullptr || std::memchr(site.data(), '\n', site.size()) != nullptr;
  if (indexed_ && !spans_lines && site.size() > longest_line_) return false;
  char buffer[kSiteBufferSize];
  std::string spill;
  std::string_view folded_site;
  if (site.size() <= kSiteBufferSize) {
    std::memcpy(buffer, site.data(), site.size());
    FoldBytes(reinterpret_cast<unsigned char*>(buffer), 0, site.size(), [](std::size_t) {});
    folded_site = std::string_view(buffer, site.size());
  } else {
    spill = FoldCase(site);
    folded_site = spill;
  }
  if (!indexed_ || spans_lines) return Scan(folded_site);
  return folded_site.size() < 4 ? ContainsShort(folded_site) : ContainsLong(folded_site);
}

}  // namespace quellix
