// The site of an address, link detection, and the list index against a plain
// search of the same text.
#include <cstdlib>

#include "text/letter_case.h"
#include "core/site_list_text.h"
#include "core/site_of_address.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quellix;
  fuzz::FuzzInput input(data, size);
  const std::string address = input.Text();
  const std::string list_text = input.Text();
  const std::string appended = input.Text();

  const std::string site = SiteOfAddress(address);
  if (site.find('/') != std::string::npos || site.size() > address.size()) std::abort();
  if (IsLinkStatusText(address) && address.size() < 8) std::abort();

  SiteListText list(list_text);
  if (list.Contains(site) != ContainsIgnoringCase(list.Text(), site)) std::abort();
  list.Append(appended);
  if (list.Text() != list_text + appended) std::abort();
  if (list.Contains(site) != ContainsIgnoringCase(list.Text(), site)) std::abort();
  if (list.Contains(appended.substr(0, 5)) != ContainsIgnoringCase(list.Text(), appended.substr(0, 5))) std::abort();
  return 0;
}
