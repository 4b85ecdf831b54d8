#include "core/popup_decision.h"

#include <limits>

#include "core/site_of_address.h"

namespace quellix {
namespace {

// Set for a browser tab: a block is answered through it first.
using AnswerBlock = const std::function<void()>*;

// Counts the block, lets other handlers run, sounds it. Fails (kUntouched)
// when the count is already at its largest value.
NewWindowVerdict Block(ProgramState& state, PopupHost& host, AnswerBlock answer_block) {
  if (state.intStopped == std::numeric_limits<std::int32_t>::max()) return NewWindowVerdict::kUntouched;
  ++state.intStopped;
  if (answer_block != nullptr) {
    (*answer_block)();
    host.ProcessPendingMessagesOnce();
    if (host.ReadOptions().chkSound) host.StartBlockSound();
    return NewWindowVerdict::kBlock;
  }
  // Internet Explorer waits for the answer before any window exists.
  host.ProcessPendingMessagesOnce();
  if (host.ReadOptions().chkSound) host.PlayBlockSound();
  return NewWindowVerdict::kBlock;
}

NewWindowVerdict AskUser(ProgramState& state, PopupHost& host, std::string_view site, AnswerBlock answer_block) {
  state.boolAnswered = false;
  state.boolAllowSite = false;
  state.strCurrentSite.assign(site);
  if (!host.ShowSetupPrompt()) return NewWindowVerdict::kUntouched;
  // Sleeps between messages: a waiting question costs no processor time.
  while (!state.boolAnswered) {
    if (!host.WaitForMessage()) return NewWindowVerdict::kUntouched;
  }
  return state.boolAllowSite ? NewWindowVerdict::kLetThrough : Block(state, host, answer_block);
}

NewWindowVerdict Decide(ProgramState& state, PopupHost& host, LocationSource& location_source,
                        AnswerBlock answer_block) {
  const PopupOptions options = host.ReadOptions();
  const bool over_link = options.chkLinks && IsLinkStatusText(state.strStatusText);

  const std::optional<std::string_view> location = location_source.Read();
  const SiteOfAddressBuffer site_buffer(location.value_or(std::string_view()));
  const std::string_view site = site_buffer.View();
  // The organisation's sites come before the link, the switches and
  // allow-next, which a blocked site leaves as it was.
  if (location) {
    if (state.strPolicyBlocked.Contains(site)) return Block(state, host, answer_block);
    if (state.strPolicyAllowed.Contains(site)) return NewWindowVerdict::kLetThrough;
  }

  if (over_link && !state.boolAllowNext) {
    state.boolAllowNext = true;
    host.AllowNextChanged();
  }
  if (!location) return NewWindowVerdict::kUntouched;

  if (!options.chkStopPop) return NewWindowVerdict::kUntouched;
  if (state.boolAllowNext) {
    state.boolAllowNext = false;
    host.AllowNextChanged();
    return NewWindowVerdict::kLetThrough;
  }
  if (state.strAllowed.Contains(site)) return NewWindowVerdict::kLetThrough;
  if (!options.chkAuto) return Block(state, host, answer_block);
  if (state.strDisallowed.Contains(site)) return Block(state, host, answer_block);
  return AskUser(state, host, site, answer_block);
}

}  // namespace

NewWindowVerdict DecideNewWindow(ProgramState& state, PopupHost& host, LocationSource& location_source) {
  return Decide(state, host, location_source, nullptr);
}

NewWindowVerdict DecideNewTab(ProgramState& state, PopupHost& host, LocationSource& location_source,
                              const std::function<void()>& answer_block) {
  return Decide(state, host, location_source, &answer_block);
}

}  // namespace quellix
