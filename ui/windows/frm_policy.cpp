#include "ui/windows/frm_policy.h"

namespace quellix {
namespace {

using ui::TwipsRect;

constexpr int kWidth = 6600;
constexpr int kListWidth = kWidth - 240;

ui::FormStyle PolicyStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.frmPolicy";
  style.caption = "Organisation settings";
  style.client_width = kWidth;
  style.client_height = 6480;
  style.escape_closes = true;
  style.icon_resource = ui::kProgramIconResource;
  return style;
}

// The switches by the names their labels on the main window begin with.
constexpr const char* kSwitchTitles[] = {"Popup Blocking", "Setup Mode", "Exceptions",
                                         "Audio",          "Visual (always on top)", "Automation (run at startup)"};
static_assert(std::size(kSwitchTitles) == platform::kPolicySwitchNames.size());

// An empty list says so, rather than showing nothing.
std::vector<std::string> OrNone(std::vector<std::string> lines) {
  if (lines.empty()) lines.emplace_back("(none)");
  return lines;
}

}  // namespace

frmPolicy::frmPolicy(ui::Toolkit& toolkit, const std::string& program_name)
    : ui::Form(toolkit, PolicyStyle()),
      Label1(Add<ui::Label>("Label1", TwipsRect{120, 120, kListWidth, 480}, nullptr,
                            "Your organisation sets these for " + program_name + ". They cannot be changed here.")),
      Label2(Add<ui::Label>("Label2", TwipsRect{120, 660, kListWidth, 255}, nullptr, "Fixed settings:")),
      lstFixed(Add<ui::ListBoxControl>("lstFixed", TwipsRect{120, 930, kListWidth, 1335}, nullptr)),
      Label3(Add<ui::Label>("Label3", TwipsRect{120, 2340, kListWidth, 255}, nullptr,
                            "Sites whose pop-ups are always allowed:")),
      lstAllowed(Add<ui::ListBoxControl>("lstAllowed", TwipsRect{120, 2610, kListWidth, 1335}, nullptr)),
      Label4(Add<ui::Label>("Label4", TwipsRect{120, 4020, kListWidth, 255}, nullptr,
                            "Sites whose pop-ups are always blocked:")),
      lstBlocked(Add<ui::ListBoxControl>("lstBlocked", TwipsRect{120, 4290, kListWidth, 1335}, nullptr)),
      cmdClose(Add<ui::Button>("cmdClose", TwipsRect{kWidth - 1335, 5820, 1215, 420}, nullptr, "Close")) {
  cmdClose.OnClick = [this] { Close(); };
  OnUnload = [this] { Hide(); };
}

std::vector<std::string> frmPolicy::FixedSettingLines(const platform::GroupPolicy& policy) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < policy.fixed.size(); ++i) {
    if (policy.fixed[i]) lines.push_back(std::string(kSwitchTitles[i]) + (*policy.fixed[i] ? ": on" : ": off"));
  }
  if (policy.allow_next_off) lines.emplace_back("Allow Next Popup: unavailable");
  return lines;
}

void frmPolicy::ShowPolicy(const platform::GroupPolicy& policy) {
  for (ui::ListBoxControl* list : {&lstFixed, &lstAllowed, &lstBlocked}) list->Clear();
  lstFixed.AddItems(OrNone(FixedSettingLines(policy)));
  lstAllowed.AddItems(OrNone(policy.allowed_sites));
  lstBlocked.AddItems(OrNone(policy.blocked_sites));
}

}  // namespace quellix
