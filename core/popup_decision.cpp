#include "core/popup_decision.h"

#include <limits>

#include "core/site_of_address.h"

namespace quellix {
namespace {

// Counts the block, lets other handlers run, sounds it. Fails (kUntouched)
// when the count is already at its largest value.
NewWindowVerdict Block(ProgramState& state, PopupHost& host) {
  if (state.intStopped == std::numeric_limits<std::int32_t>::max()) return NewWindowVerdict::kUntouched;
  ++state.intStopped;
  host.ProcessPendingMessagesOnce();
  if (host.ReadOptions().chkSound) host.PlayBlockSound();
  return NewWindowVerdict::kBlock;
}

NewWindowVerdict AskUser(ProgramState& state, PopupHost& host, std::string_view site) {
  state.boolAnswered = false;
  state.boolAllowSite = false;
  state.strCurrentSite.assign(site);
  if (!host.ShowSetupPrompt()) return NewWindowVerdict::kUntouched;
  // Sleeps between messages: a waiting question costs no processor time.
  while (!state.boolAnswered) {
    if (!host.WaitForMessage()) return NewWindowVerdict::kUntouched;
  }
  return state.boolAllowSite ? NewWindowVerdict::kLetThrough : Block(state, host);
}

}  // namespace

NewWindowVerdict DecideNewWindow(ProgramState& state, PopupHost& host, LocationSource& location_source) {
  const PopupOptions options = host.ReadOptions();
  const bool over_link = options.chkLinks && IsLinkStatusText(state.strStatusText);

  const std::optional<std::string_view> location = location_source.Read();
  const SiteOfAddressBuffer site_buffer(location.value_or(std::string_view()));
  const std::string_view site = site_buffer.View();
  // The organisation's sites come before the link, the switches and
  // allow-next, which a blocked site leaves as it was.
  if (location) {
    if (state.strPolicyBlocked.Contains(site)) return Block(state, host);
    if (state.strPolicyAllowed.Contains(site)) return NewWindowVerdict::kLetThrough;
  }

  if (over_link) state.boolAllowNext = true;
  if (!location) return NewWindowVerdict::kUntouched;

  if (!options.chkStopPop) return NewWindowVerdict::kUntouched;
  if (state.boolAllowNext) {
    state.boolAllowNext = false;
    return NewWindowVerdict::kLetThrough;
  }
  if (state.strAllowed.Contains(site)) return NewWindowVerdict::kLetThrough;
  if (!options.chkAuto) return Block(state, host);
  if (state.strDisallowed.Contains(site)) return Block(state, host);
  return AskUser(state, host, site);
}

}  // namespace quellix
