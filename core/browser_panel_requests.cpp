#include "core/browser_panel_requests.h"

#include <algorithm>

#include "core/allow_always.h"
#include "core/site_of_address.h"

namespace quellix {

std::optional<std::string> AllowableSite(std::string_view url) {
  std::string site = SiteOfAddress(url);
  const bool control = std::any_of(site.begin(), site.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (site.empty() || site.size() > kMaxPanelSiteLength || control) return std::nullopt;
  return site;
}

browser_message::StateAnswer AnswerStateQuery(const browser_message::StateQuery& query, const ProgramState& state,
                                              PopupHost& host) {
  const PopupOptions options = host.ReadOptions();
  return {query.id, true, options.chkStopPop, options.chkAuto, state.intStopped,
          AllowableSite(query.url).value_or("")};
}

browser_message::PopupRuleAnswer AnswerPopupRule(const browser_message::PopupRuleQuery& query,
                                                 const ProgramState& state, PopupHost& host) {
  const std::string site = SiteOfAddress(query.url);
  // As the decision takes them: the organisation's sites first, whatever the switches.
  const bool allow = !state.strPolicyBlocked.Contains(site) &&
                     (state.strPolicyAllowed.Contains(site) ||
                      (host.ReadOptions().chkStopPop && state.strAllowed.Contains(site)));
  return {query.id, true, allow};
}

browser_message::SwitchesNews SwitchesNow(PopupHost& host) {
  const PopupOptions options = host.ReadOptions();
  return {options.chkStopPop, options.chkAuto, options.chkLinks};
}

browser_message::AllowSiteAnswer AllowSiteAlways(const browser_message::AllowSiteRequest& request, Module1* lists) {
  browser_message::AllowSiteAnswer answer{request.id, true, false, {}, {}};
  const std::optional<std::string> site = AllowableSite(request.url);
  if (!site) {
    answer.problem = "This page has no site that can be put on the allowed list.";
    return answer;
  }
  answer.site = *site;
  // The panel's button names the site it showed; the tab may have moved on
  // since, and the user agreed to that site, not to this one.
  if (!request.site.empty() && request.site != *site) {
    answer.problem = "This tab is now on " + *site + ", not on " + request.site +
                     ": nothing was added. Open the panel again to allow " + *site + ".";
    return answer;
  }
  if (lists == nullptr) {
    answer.problem = "The allowed list is not open yet.";
    return answer;
  }
  const AllowAlwaysResult result = AllowAlways(*lists, *site);
  answer.ok = result.ok();
  answer.problem = result.Problem(*site);
  return answer;
}

}  // namespace quellix
