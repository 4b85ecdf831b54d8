// The windows the main window opens in front of itself: the help window, the
// About window, the built-in browser and the setup-mode prompt. Each call
// loads its window if it is not loaded and shows it without blocking.
#pragma once

#include "platform/group_policy.h"
#include "platform/window_order.h"

namespace quellix {

class SecondaryWindows {
 public:
  virtual ~SecondaryWindows() = default;
  // The handle of the shown window, or 0 when there is none to show.
  virtual platform::WindowHandle ShowHelp() = 0;   // Form8
  virtual platform::WindowHandle ShowAbout() = 0;  // frmAbout
  virtual void ShowWebsite() = 0;                  // frmWebsite, at strWebsite
  virtual bool WebsiteVisible() const = 0;
  // Form3, filled from strCurrentSite; false when it cannot be shown.
  virtual bool ShowSetupPrompt() = 0;
  // frmPolicy, showing `policy`.
  virtual platform::WindowHandle ShowOrganisationSettings(const platform::GroupPolicy& policy) = 0;
  // The policy changed: an open frmPolicy shows the new one.
  virtual void OrganisationSettingsChanged(const platform::GroupPolicy& policy) = 0;
};

}  // namespace quellix
