#include "core/site_of_address.h"

#include <cstring>

namespace quellix {
namespace {

// True when text[at..] begins with the lower-case ASCII `prefix`, ignoring
// the case of its letters (only letters differ by the 0x20 bit).
bool StartsWithIgnoringCase(const char* text, std::size_t size, std::size_t at, std::string_view prefix) {
  if (size - at < prefix.size()) return false;
  for (std::size_t k = 0; k < prefix.size(); ++k) {
    const char c = text[at + k];
    const char p = prefix[k];
    if (c != p && !(p >= 'a' && p <= 'z' && (c | 0x20) == p)) return false;
  }
  return true;
}

}  // namespace

// Both removals run as one pass that stops at the first "/" that stays:
// the first removal reads the address and writes ahead into the buffer, the
// second follows it within that output (which it needs 8 bytes ahead to
// judge), so the rest of a long address is never copied.
SiteOfAddressBuffer::SiteOfAddressBuffer(std::string_view address) {
  static constexpr std::string_view kHttp = "http://";
  static constexpr std::string_view kHttps = "https://";
  char* out = fixed_;
  std::size_t capacity = kFixedSize;
  std::size_t read1 = 0;   // in the address
  std::size_t write1 = 0;  // first removal's output in out[]
  std::size_t read2 = 0;   // second removal's reading in out[]
  std::size_t write2 = 0;  // the site so far in out[]
  const char* in = address.data();
  const std::size_t size = address.size();
  for (;;) {
    while (write1 < read2 + kHttps.size() && read1 < size) {
      const char c = in[read1];
      if ((c | 0x20) == 'h' && StartsWithIgnoringCase(in, size, read1, kHttp)) {
        read1 += kHttp.size();
        continue;
      }
      if (write1 == capacity) {
        spill_.assign(out, write1);
        spill_.resize(size);
        out = spill_.data();
        capacity = size;
      }
      out[write1++] = c;
      ++read1;
    }
    if (read2 >= write1) break;
    const char c = out[read2];
    if ((c | 0x20) == 'h' && StartsWithIgnoringCase(out, write1, read2, kHttps)) {
      read2 += kHttps.size();
      continue;
    }
    if (c == '/') break;
    out[write2++] = c;
    ++read2;
  }
  view_ = std::string_view(out, write2);
}

std::string SiteOfAddress(std::string_view address) { return std::string(SiteOfAddressBuffer(address).View()); }

bool IsLinkStatusText(std::string_view status_text) {
  // At least 8 characters (not bytes) of UTF-8 text.
  std::size_t characters = 0;
  for (const char c : status_text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++characters >= 8) break;
  }
  if (characters < 8) return false;
  return StartsWithIgnoringCase(status_text.data(), status_text.size(), 0, "http://") ||
         StartsWithIgnoringCase(status_text.data(), status_text.size(), 0, "https://");
}

}  // namespace quellix
