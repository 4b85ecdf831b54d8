#include "core/site_of_address.h"

#include "text/letter_case.h"

namespace quellix {
namespace {

// Removes every case-insensitive occurrence of an ASCII `prefix`, scanning left
// to right over the text as it stands (matches do not overlap).
std::string RemoveAllIgnoringCase(std::string_view text, std::string_view prefix) {
  const std::string lower = AsciiLower(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (lower.compare(i, prefix.size(), prefix) == 0) {
      i += prefix.size();
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

// The number of characters (not bytes) of UTF-8 text, stopping at 8.
std::size_t CharacterCountUpTo8(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++count >= 8) break;
  }
  return count;
}

}  // namespace

std::string SiteOfAddress(std::string_view address) {
  std::string site = RemoveAllIgnoringCase(address, "http://");
  site = RemoveAllIgnoringCase(site, "https://");
  const std::size_t slash = site.find('/');
  if (slash != std::string::npos) site.resize(slash);  // the kept slash is then dropped
  return site;
}

bool IsLinkStatusText(std::string_view status_text) {
  if (CharacterCountUpTo8(status_text) < 8) return false;
  const std::string lower = AsciiLower(status_text.substr(0, 8));
  return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace quellix
