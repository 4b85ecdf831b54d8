// "Allow Always", wherever the user gives it (the setup-mode prompt, the
// browser extension's panel): the site goes on the allowed list -- its
// file, its list box and its list text -- and the whole file is written again
// from the list box.
#pragma once

#include <string>

#include "core/site_list_store.h"

namespace quellix {

struct AllowAlwaysResult {
  StoreResult added;  // the site is on the list (file, list box, list text)
  StoreResult saved;  // and the file was written whole again; not tried when not added
  bool ok() const { return added.ok && saved.ok; }
  // What went wrong, for the user; empty when nothing did.
  std::string Problem(const std::string& site) const;
};

AllowAlwaysResult AllowAlways(Module1& lists, const std::string& site);

}  // namespace quellix
