// The windows a SecondaryWindowSet has open, for tests that act on them as
// the user would; null when that window is not open.
#pragma once

#include "ui/windows/secondary_window_set.h"

namespace quellix::testing {

struct OpenWindows {
  static Form3* Prompt(const SecondaryWindowSet& set) { return set.prompt_.Get(); }
  static Form8* Help(const SecondaryWindowSet& set) { return set.help_.Get(); }
  static frmAbout* About(const SecondaryWindowSet& set) { return set.about_.Get(); }
  static frmWebsite* Website(const SecondaryWindowSet& set) { return set.website_.Get(); }
  static NoticeWindow* Notice(const SecondaryWindowSet& set) { return set.notice_.Get(); }
  static frmPolicy* OrganisationSettings(const SecondaryWindowSet& set) { return set.policy_.Get(); }
};

}  // namespace quellix::testing
