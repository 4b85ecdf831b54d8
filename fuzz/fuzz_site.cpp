// The site of an address and link detection against the rules written out
// plainly, and the list index against a plain search of the same text: on
// the input's own texts, and on lists and sites built from the commonest
// pieces of host names (the shapes that defeat an index).
#include <algorithm>
#include <cstdlib>

#include "core/site_list_text.h"
#include "core/site_of_address.h"
#include "fuzz/fuzz_input.h"
#include "text/letter_case.h"
#include "text/substring_search.h"

namespace {

std::string RemoveAllPlainly(const std::string& text, const std::string& prefix) {
  const std::string lower = quellix::AsciiLower(text);
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (lower.compare(i, prefix.size(), prefix) == 0) {
      i += prefix.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::string SitePlainly(const std::string& address) {
  std::string site = RemoveAllPlainly(RemoveAllPlainly(address, "http://"), "https://");
  const std::size_t slash = site.find('/');
  return slash == std::string::npos ? site : site.substr(0, slash);
}

// Bytes of the input chosen among pieces: each byte picks one.
std::string Pieces(const std::string& choices, bool lines) {
  static const char* const kPieces[] = {"www.", "w", "ww", ".com", ".co.uk", ".co", "com", "o", "m.", "WWW.", "\xC3",
                                        "\x9C", "x", "wwww"};
  std::string out;
  for (const char c : choices) {
    const auto k = static_cast<unsigned char>(c);
    if (lines && k % 16 == 15) {
      out += "\r\n";
    } else {
      out += kPieces[k % 14];
    }
  }
  return out;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckList(const std::string& text, const std::string& appended, const std::string& site) {
  using namespace quellix;
  SiteListText list(text);
  Check(list.Text() == text);
  Check(list.Contains(site) == ContainsIgnoringCase(text, site));
  list.Append(appended);
  const std::string whole = text + appended;
  Check(list.Text() == whole);
  Check(list.Contains(site) == ContainsIgnoringCase(whole, site));
  const std::string head = appended.substr(0, 5);
  Check(list.Contains(head) == ContainsIgnoringCase(whole, head));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quellix;
  fuzz::FuzzInput input(data, size);
  const std::string address = input.Text();
  const std::string list_text = input.Text();
  const std::string appended = input.Text();

  const std::string site = SiteOfAddress(address);
  Check(site == SitePlainly(address));
  const std::string lower = AsciiLower(address.substr(0, 8));
  std::size_t characters = 0;
  for (const char c : address) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  Check(IsLinkStatusText(address) ==
        (characters >= 8 && (lower.starts_with("http://") || lower.starts_with("https://"))));

  CheckList(list_text, appended, site);
  // The same texts read as choices of common pieces.
  CheckList(Pieces(list_text, true), Pieces(appended, true), Pieces(address, false));
  // Repetitive texts: the linear search against the plain one.
  const std::string haystack = Pieces(list_text, false);
  const std::string needle = Pieces(address, false);
  const auto plain = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
  const std::size_t expected =
      plain == haystack.end() ? (needle.empty() ? 0 : std::string::npos) : static_cast<std::size_t>(plain - haystack.begin());
  Check(FindBytesTwoWay(haystack, needle) == expected);
  return 0;
}
