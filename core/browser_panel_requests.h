// The requests of the browser extension: how the program stands (blocking,
// setup mode, the count to date), "Always allow" for the site of the tab the
// panel is about, which takes the setup-mode prompt's own way onto the
// allowed list, and whether a site's pop-ups are let through now.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/browser_message.h"
#include "core/popup_host.h"
#include "core/program_state.h"
#include "core/site_list_store.h"

namespace quellix {

// Longer sites are not offered or stored: an answer naming one must stay far
// below what a browser takes from its host.
inline constexpr std::size_t kMaxPanelSiteLength = 2048;

// The site that "Always allow" puts on the allowed list for a page at `url`
// (the site the decision takes from that page); nothing when it has none
// that can stand as a line of the list file (empty, too long, or holding a
// control character).
std::optional<std::string> AllowableSite(std::string_view url);

browser_message::StateAnswer AnswerStateQuery(const browser_message::StateQuery& query, const ProgramState& state,
                                              PopupHost& host);

// Would a pop-up of the page at `url` be let through now by its site: on the
// organisation's allowed sites, or blocking on and the site on the allowed
// list (and not on the organisation's blocked sites). Reads only; the
// allow-next flag and links, which let one pop-up through, play no part.
browser_message::PopupRuleAnswer AnswerPopupRule(const browser_message::PopupRuleQuery& query,
                                                 const ProgramState& state, PopupHost& host);

// The switches as the extension is told them.
browser_message::SwitchesNews SwitchesNow(PopupHost& host);

// `lists` null: the program has no lists to change (not started yet).
browser_message::AllowSiteAnswer AllowSiteAlways(const browser_message::AllowSiteRequest& request, Module1* lists);

}  // namespace quellix
