// The whole popup decision with arbitrary switches, status text, page address
// and list texts, against the rule written out plainly.
#include <cstdlib>
#include <limits>

#include "text/letter_case.h"
#include "core/popup_decision.h"
#include "core/site_of_address.h"
#include "fuzz/fuzz_input.h"

namespace {

class FuzzHost : public quellix::PopupHost {
 public:
  quellix::PopupOptions ReadOptions() override { return options; }
  void ProcessPendingMessagesOnce() override {}
  bool WaitForMessage() override { return false; }
  void PlayBlockSound() override { ++sounds; }
  void StartBlockSound() override { std::abort(); }  // only browser tabs start it
  void AllowNextChanged() override {}
  bool ShowSetupPrompt() override {
    ++prompts;
    if (answer_mode == 2) return false;  // the prompt cannot be shown
    if (answer_mode == 3) return true;   // no answer ever comes
    state->boolAnswered = true;
    state->boolAllowSite = answer_mode == 1;
    return true;
  }
  quellix::PopupOptions options;
  quellix::ProgramState* state = nullptr;
  int answer_mode = 0;
  int sounds = 0;
  int prompts = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quellix;
  fuzz::FuzzInput input(data, size);
  const std::uint8_t flags = input.Byte();
  ProgramState state;
  FuzzHost host;
  host.state = &state;
  host.options = {.chkStopPop = (flags & 1) != 0, .chkAuto = (flags & 2) != 0, .chkSound = (flags & 4) != 0,
                  .chkLinks = (flags & 8) != 0};
  host.answer_mode = (flags >> 4) & 3;
  state.boolAllowNext = (flags & 0x40) != 0;
  if (flags & 0x80) state.intStopped = std::numeric_limits<std::int32_t>::max();
  const bool location_fails = input.Byte() == 0xEE;
  state.strStatusText = input.Text();
  const std::string url = input.Text();
  const std::string allowed = input.Text();
  const std::string disallowed = input.Text();
  state.strAllowed.Assign(allowed);
  state.strDisallowed.Assign(disallowed);
  const std::int32_t count_before = state.intStopped;

  const NewWindowVerdict verdict = DecideNewWindow(state, host, [&]() -> std::optional<std::string> {
    if (location_fails) return std::nullopt;
    return url;
  });

  // The rule, written out plainly.
  const PopupOptions& o = host.options;
  bool allow_next = (flags & 0x40) != 0 || (o.chkLinks && IsLinkStatusText(state.strStatusText));
  NewWindowVerdict expected = NewWindowVerdict::kUntouched;
  const std::string site = SiteOfAddress(url);
  const bool on_allowed = ContainsIgnoringCase(allowed, site);
  const bool on_disallowed = ContainsIgnoringCase(disallowed, site);
  const bool full = count_before == std::numeric_limits<std::int32_t>::max();
  const NewWindowVerdict block = full ? NewWindowVerdict::kUntouched : NewWindowVerdict::kBlock;
  const bool prompt_fails = host.answer_mode >= 2;
  if (location_fails || !o.chkStopPop) {
    expected = NewWindowVerdict::kUntouched;
  } else if (allow_next) {
    expected = NewWindowVerdict::kLetThrough;
    allow_next = false;
  } else if (on_allowed || (o.chkAuto && !on_disallowed && !prompt_fails && host.answer_mode == 1)) {
    expected = NewWindowVerdict::kLetThrough;
  } else if (o.chkAuto && !on_disallowed && prompt_fails) {
    expected = NewWindowVerdict::kUntouched;
  } else {
    expected = block;  // not allowed outside setup mode, disallowed, or answered "block"
  }
  if (verdict != expected) std::abort();
  if (state.boolAllowNext != allow_next) std::abort();
  const bool blocked = verdict == NewWindowVerdict::kBlock;
  if (state.intStopped != count_before + (blocked ? 1 : 0)) std::abort();
  if (host.sounds != (blocked && o.chkSound ? 1 : 0)) std::abort();
  return 0;
}
