#include "core/allow_always.h"

namespace quellix {

AllowAlwaysResult AllowAlways(Module1& lists, const std::string& site) {
  AllowAlwaysResult result;
  result.added = lists.AddAllowed(site);
  result.saved = result.added ? lists.SaveAllowed() : StoreResult{false, {}};
  return result;
}

std::string AllowAlwaysResult::Problem(const std::string& site) const {
  if (!added) return "The site \"" + site + "\" could not be added to the allowed list: " + added.message;
  // The entry was appended to the file and is on the list; only the rewrite
  // of the whole file failed.
  if (!saved)
    return "The site \"" + site + "\" was added to the allowed list, but the list file could not be written: " +
           saved.message;
  return {};
}

}  // namespace quellix
