// What the organisation sets through Group Policy, on the main window:
// switches fixed (disabled, never saved), Allow Next turned off, the
// "Organisation settings" entries, and the organisation's sites handed to the
// decision. Read at start-up and again when the system says "Policy".
#include <string_view>

#include "text/letter_case.h"
#include "ui/main/form1.h"

namespace quellix {
namespace {

constexpr std::string_view kSetByOrganisation = " (set by your organisation)";

// The control's tooltip with the suffix, or without it.
void MarkSetByOrganisation(ui::Control& control, bool fixed) {
  std::string tip = control.ToolTipText();
  if (tip.ends_with(kSetByOrganisation)) tip.resize(tip.size() - kSetByOrganisation.size());
  if (fixed) tip += kSetByOrganisation;
  control.SetToolTipText(std::move(tip));
}

// The organisation's sites as a list text: every entry followed by CR LF.
std::string ListText(const std::vector<std::string>& sites) {
  std::string text;
  for (const std::string& site : sites) text.append(site).append("\r\n");
  return text;
}

// Each switch: its box and the label that carries its text and tooltip, its
// stored option, and the policy that may fix it; in the order start-up
// restores them.
struct PolicySwitchRow {
  const char* box;
  const char* label;
  const char* key;
  int default_value;
  platform::PolicySwitch policy;
};
constexpr PolicySwitchRow kPolicySwitchRows[] = {
    {"Check6", "Label4", options::kChkLinks, 0, platform::PolicySwitch::kExceptions},
    {"Check5", "Label2", options::kChkSound, 1, platform::PolicySwitch::kSound},
    {"Check4", "Label8", options::kChkRunAtStart, 0, platform::PolicySwitch::kRunAtStartup},
    {"Check3", "Label7", options::kChkOnTop, 0, platform::PolicySwitch::kAlwaysOnTop},
    {"Check2", "Label6", options::kChkAuto, 1, platform::PolicySwitch::kSetupMode},
    {"Check1", "Label5", options::kChkStopPop, 1, platform::PolicySwitch::kPopupBlocking},
};

}  // namespace

std::optional<bool> Form1::FixedByPolicy(const ui::CheckBox& box) const {
  for (const PolicySwitchRow& row : kPolicySwitchRows) {
    if (box.Name() == row.box) return policy_.Fixed(row.policy);
  }
  return std::nullopt;
}

void Form1::RestoreSwitches() {
  for (const PolicySwitchRow& row : kPolicySwitchRows) {
    auto& box = static_cast<ui::CheckBox&>(*FindControl(row.box));
    const std::optional<bool>& fixed = policy_.Fixed(row.policy);
    box.SetValue(fixed ? (*fixed ? 1 : 0) : options_.ReadSwitch(row.key, row.default_value));
  }
}

void Form1::ShowGroupPolicy() {
  for (const PolicySwitchRow& row : kPolicySwitchRows) {
    const bool fixed = policy_.Fixed(row.policy).has_value();
    ui::Control& box = *FindControl(row.box);
    box.SetEnabled(!fixed);
    MarkSetByOrganisation(box, fixed);
    MarkSetByOrganisation(*FindControl(row.label), fixed);
  }
  // Fixed off: the entry a box ticked earlier wrote goes, where the rights allow.
  if (FixedByPolicy(Check4) == false) {
    if (!objAddRemove) objAddRemove.emplace(env_.registry);
    objAddRemove->RemoveFromRun(options::ApplicationName());
  }

  const bool allow_next = !policy_.allow_next_off;
  if (!allow_next) program_.boolAllowNext = false;
  Command5.SetEnabled(allow_next);
  if (ui::MenuItem* item = mnuAction.Find("mnuActionItem", 1)) item->SetEnabled(allow_next);
  if (ui::MenuItem* item = Popup.Find("allow")) item->SetEnabled(allow_next);
  mnuToolsPolicy->SetVisible(policy_.Any());
  mnuPopupPolicy->SetVisible(policy_.Any());
  ShowMenuBar();

  program_.strPolicyBlocked.Assign(ListText(policy_.blocked_sites));
  program_.strPolicyAllowed.Assign(ListText(policy_.allowed_sites));
}

void Form1::Form_SettingChange(const std::string& area) {
  if (Closed() || AsciiLower(area) != "policy") return;
  const platform::GroupPolicy before = policy_;
  policy_ = platform::ReadGroupPolicy(env_.registry);
  for (const PolicySwitchRow& row : kPolicySwitchRows) {
    auto& box = static_cast<ui::CheckBox&>(*FindControl(row.box));
    if (const std::optional<bool>& fixed = policy_.Fixed(row.policy)) {
      box.SetValue(*fixed ? 1 : 0);
    } else if (before.Fixed(row.policy)) {
      // Released: the user's own choice comes back.
      box.SetValue(options_.ReadSwitch(row.key, row.default_value));
    }
  }
  ShowGroupPolicy();
  env_.windows.OrganisationSettingsChanged(policy_);
}

}  // namespace quellix
