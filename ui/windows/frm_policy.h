// frmPolicy: "Organisation settings", a read-only window that shows what the
// organisation sets through Group Policy: the switches it fixed, whether
// Allow Next is turned off, and its allowed and blocked sites. Each part is a
// list box named by the label above it, so the keyboard (Tab, the arrow
// keys) and screen readers reach every entry.
#pragma once

#include <string>
#include <vector>

#include "platform/group_policy.h"
#include "ui/controls/control.h"
#include "ui/controls/form.h"

namespace quellix {

class frmPolicy final : public ui::Form {
 public:
  frmPolicy(ui::Toolkit& toolkit, const std::string& program_name);

  // Shows `policy` in place of what was shown.
  void ShowPolicy(const platform::GroupPolicy& policy);

  // The entries of the first list: one line per fixed switch.
  static std::vector<std::string> FixedSettingLines(const platform::GroupPolicy& policy);

  ui::Label& Label1;  // what the window is
  ui::Label& Label2;
  ui::ListBoxControl& lstFixed;
  ui::Label& Label3;
  ui::ListBoxControl& lstAllowed;
  ui::Label& Label4;
  ui::ListBoxControl& lstBlocked;
  ui::Button& cmdClose;
};

}  // namespace quellix
