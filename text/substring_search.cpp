#include "text/substring_search.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__GLIBC__)
#include <string.h>
#endif

namespace quellix {
namespace {

// One of the two critical-factorisation candidates of the two-way algorithm:
// the start (minus one) of the needle's maximal suffix under the byte order,
// or under its reverse, and that suffix's period.
std::ptrdiff_t MaximalSuffix(const unsigned char* n, std::ptrdiff_t l, bool reverse, std::ptrdiff_t& period) {
  std::ptrdiff_t ip = -1;
  std::ptrdiff_t jp = 0;
  std::ptrdiff_t k = 1;
  std::ptrdiff_t p = 1;
  while (jp + k < l) {
    const unsigned char a = n[ip + k];
    const unsigned char b = n[jp + k];
    if (a == b) {
      if (k == p) {
        jp += p;
        k = 1;
      } else {
        ++k;
      }
    } else if (reverse ? a < b : a > b) {
      jp += k;
      k = 1;
      p = jp - ip;
    } else {
      ip = jp++;
      k = p = 1;
    }
  }
  period = p;
  return ip;
}

}  // namespace

std::size_t FindBytesTwoWay(std::string_view haystack, std::string_view needle) {
  const auto* h = reinterpret_cast<const unsigned char*>(haystack.data());
  const auto* n = reinterpret_cast<const unsigned char*>(needle.data());
  const auto l = static_cast<std::ptrdiff_t>(needle.size());
  const auto size = static_cast<std::ptrdiff_t>(haystack.size());
  if (l == 0) return 0;
  if (l > size) return std::string_view::npos;
  if (l == 1) {
    const void* hit = std::memchr(h, n[0], haystack.size());
    return hit ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - h) : std::string_view::npos;
  }

  // Last position of every byte in the needle, for a shift on the window's last byte.
  std::uint32_t shift[256] = {};
  for (std::ptrdiff_t i = 0; i < l; ++i) shift[n[i]] = static_cast<std::uint32_t>(i + 1);

  std::ptrdiff_t p0 = 0;
  std::ptrdiff_t p = 0;
  std::ptrdiff_t ms = MaximalSuffix(n, l, false, p0);
  const std::ptrdiff_t ms_reverse = MaximalSuffix(n, l, true, p);
  if (ms_reverse > ms) {
    ms = ms_reverse;
  } else {
    p = p0;
  }
  std::ptrdiff_t mem0 = 0;
  if (std::memcmp(n, n + p, static_cast<std::size_t>(ms + 1)) != 0) {
    p = std::max(ms, l - ms - 1) + 1;  // not periodic: no memory needed
  } else {
    mem0 = l - p;
  }

  std::ptrdiff_t mem = 0;
  std::ptrdiff_t at = 0;
  while (size - at >= l) {
    const unsigned char last = h[at + l - 1];
    if (shift[last] == 0) {
      at += l;
      mem = 0;
      continue;
    }
    if (const std::ptrdiff_t k = l - shift[last]; k != 0) {
      at += k;  // the nearest alignment of that byte: no match lies in between
      mem = 0;
      continue;
    }
    std::ptrdiff_t k = std::max(ms + 1, mem);
    while (k < l && n[k] == h[at + k]) ++k;
    if (k < l) {
      at += k - ms;
      mem = 0;
      continue;
    }
    k = ms + 1;
    while (k > mem && n[k - 1] == h[at + k - 1]) --k;
    if (k <= mem) return static_cast<std::size_t>(at);
    at += p;
    mem = mem0;
  }
  return std::string_view::npos;
}

std::size_t FindBytes(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > haystack.size()) return std::string_view::npos;
#if defined(__GLIBC__)
  const void* hit = memmem(haystack.data(), haystack.size(), needle.data(), needle.size());
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data()) : std::string_view::npos;
#else
  return FindBytesTwoWay(haystack, needle);
#endif
}

}  // namespace quellix
