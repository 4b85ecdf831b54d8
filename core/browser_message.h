// The messages between the browser extension and the program, as the native
// messaging host relays them: JSON objects, each in a frame of its own (see
// message_frames.h). Every message is checked here before anything uses it;
// one that is not JSON or has the wrong shape is Invalid, and the answer to
// it leaves the window alone.
//
// From the extension (one per event):
//   {"type":"newWindow","id":"<request id>","tab":<opener tab id>,"url":"<opener's address>",
//    "target":"<the new window's address>"}
//       a page in tab <tab> has opened a new tab or window; answered by one
//       verdict. "target" may be absent (an older extension): then no link
//       lets the request through.
//   {"type":"status","tab":<tab id>,"text":"<link under the pointer, or empty>"}
//       the link that tab's user points at; it lets through only a request
//       of that tab for that very address
//   {"type":"tabClosed","tab":<tab id>}
//   {"type":"state","id":"<request id>","url":"<a tab's address>"}
//       the extension's panel asks how the program stands; answered by one state
//   {"type":"allowSite","id":"<request id>","url":"<a tab's address>"}
//       the user chose "Always allow" in the panel for the site of that
//       address; answered by one siteAllowed
//   {"type":"listen"}
//       this connection wants the program's news (a long-lived port; a
//       one-shot question never sends it, so its first answer is its own)
//   {"type":"popupRule","id":"<request id>","url":"<a top-level page's address>"}
//       would a pop-up of that page's site be let through now? Asked at
//       each top-level navigation; changes nothing; answered by one popupRule
// To the extension:
//   {"type":"verdict","id":"<request id>","verdict":"block"|"leave"}
//       "block": close the new tab; "leave": let it be. The id is null when
//       the message answered had none that could be read. A verdict
//       "leave" is also the answer to a panel request that is not served
//       (unreadable, or not from the host).
//   {"type":"state","id":"<request id>","running":true,"blocking":<bool>,
//    "setupMode":<bool>,"stopped":<blocked to date>,"site":"<site of the url>"}
//       or {"type":"state","id":"<request id>","running":false} from the host
//       itself when the program is not there
//   {"type":"siteAllowed","id":"<request id>","running":true,"ok":<bool>,
//    "site":"<the site>","problem":"<why not, when not ok>"}
//       or {"type":"siteAllowed","id":"<request id>","running":false}
//   {"type":"popupRule","id":"<request id>","running":true,"allow":<bool>}
//       allow: blocking is on and the site is on the allowed list;
//       or {"type":"popupRule","id":"<request id>","running":false}
// Told without being asked, to every connection that listens (no id):
//   {"type":"switches","blocking":<bool>,"setupMode":<bool>,"exceptions":<bool>}
//       when one of them changes, and as soon as a connection listens
//   {"type":"allowNext","set":<bool>}
//       the allow-next flag set or cleared (by the user, a link, or used);
//       also as soon as a connection listens
//   {"type":"listsChanged"}   an entry was added to or deleted from a list
//   {"type":"programGone"}    the program is ending (the host says the same
//                             when the program is not there or its pipe broke)
// Request ids are chosen by the extension (1 to 64 characters), unique to one
// request; a request asked again with the same id (after the extension's
// worker restarted) is answered once, not decided twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quellix::browser_message {

struct NewWindowRequest {
  std::string id;
  std::int64_t tab = 0;
  std::string url;
  std::string target{};  // empty: not sent
  bool operator==(const NewWindowRequest&) const = default;
};

struct StatusText {
  std::int64_t tab = 0;
  std::string text;
  bool operator==(const StatusText&) const = default;
};

struct TabClosed {
  std::int64_t tab = 0;
  bool operator==(const TabClosed&) const = default;
};

// A message that cannot be used; `id` is the request id when one could be read.
struct Invalid {
  std::optional<std::string> id;
  std::string reason;
  bool operator==(const Invalid&) const = default;
};

// The panel's question how the program stands, about the tab showing `url`.
struct StateQuery {
  std::string id;
  std::string url;
  bool operator==(const StateQuery&) const = default;
};

// The panel's "Always allow" for the site of `url`; `site` is the site the
// panel showed on its button (empty: not sent), added only when it is still
// the site of `url`.
struct AllowSiteRequest {
  std::string id;
  std::string url;
  std::string site{};
  bool operator==(const AllowSiteRequest&) const = default;
};

// Would a pop-up of the site of `url` be let through now? Changes nothing.
struct PopupRuleQuery {
  std::string id;
  std::string url;
  bool operator==(const PopupRuleQuery&) const = default;
};

// The connection wants the program's news.
struct Listen {
  bool operator==(const Listen&) const = default;
};

using Message = std::variant<Invalid, NewWindowRequest, StatusText, TabClosed, StateQuery, AllowSiteRequest,
                             PopupRuleQuery, Listen>;

enum class Verdict { kBlock, kLeave };

struct VerdictMessage {
  std::optional<std::string> id;
  Verdict verdict = Verdict::kLeave;
  bool operator==(const VerdictMessage&) const = default;
};

// The program's state for the panel. Without `running` the rest is not sent.
struct StateAnswer {
  std::string id;
  bool running = false;
  bool blocking = false;    // pop-up blocking is on
  bool setup_mode = false;  // setup mode is on
  std::int32_t stopped = 0; // intStopped
  std::string site;         // the site "Always allow" would add; empty: none
  bool operator==(const StateAnswer&) const = default;
};

// The outcome of "Always allow". Without `running` the rest is not sent.
struct AllowSiteAnswer {
  std::string id;
  bool running = false;
  bool ok = false;
  std::string site;
  std::string problem;  // only when not ok
  bool operator==(const AllowSiteAnswer&) const = default;
};

// Whether a pop-up of the asked site is let through now (blocking on, site
// on the allowed list). Without `running` the rest is not sent.
struct PopupRuleAnswer {
  std::string id;
  bool running = false;
  bool allow = false;
  bool operator==(const PopupRuleAnswer&) const = default;
};

// What the program sends the extension in answer to a request.
using Answer = std::variant<VerdictMessage, StateAnswer, AllowSiteAnswer, PopupRuleAnswer>;

// What the program tells every connected browser without being asked.
struct SwitchesNews {
  bool blocking = false;    // pop-up blocking
  bool setup_mode = false;  // setup mode
  bool exceptions = false;  // links under the pointer let a pop-up through
  bool operator==(const SwitchesNews&) const = default;
};
struct AllowNextNews {
  bool set = false;
  bool operator==(const AllowNextNews&) const = default;
};
struct ListsChangedNews {
  bool operator==(const ListsChangedNews&) const = default;
};
struct ProgramGoneNews {
  bool operator==(const ProgramGoneNews&) const = default;
};
using News = std::variant<SwitchesNews, AllowNextNews, ListsChangedNews, ProgramGoneNews>;

inline constexpr std::size_t kMaxIdLength = 64;
// Nested arrays or objects deeper than this are refused, not followed.
inline constexpr int kMaxDepth = 32;

// A message from the extension.
Message Parse(std::string_view json);
// The canonical text of a valid message; Parse(Serialize(m)) == m.
std::string Serialize(const NewWindowRequest& request);
std::string Serialize(const StatusText& status);
std::string Serialize(const TabClosed& closed);
std::string Serialize(const StateQuery& query);
std::string Serialize(const AllowSiteRequest& request);
std::string Serialize(const PopupRuleQuery& query);
std::string Serialize(const Listen& listen);
std::string Serialize(const Message& message);  // Invalid gives an empty text

// A verdict to the extension, and reading one back (the host checks what the
// program sends before passing it on).
std::string Serialize(const VerdictMessage& verdict);
std::optional<VerdictMessage> ParseVerdict(std::string_view json);

// The same for every answer; Parse(Serialize(a)) == a for an answer whose
// texts are valid UTF-8 and whose unsent parts are left at their defaults.
std::string Serialize(const StateAnswer& state);
std::string Serialize(const AllowSiteAnswer& allowed);
std::string Serialize(const PopupRuleAnswer& rule);
std::string Serialize(const Answer& answer);
std::optional<Answer> ParseAnswer(std::string_view json);

// News, and reading it back: the host passes on only news of exactly these
// shapes (no other members, no id).
std::string Serialize(const News& news);
std::optional<News> ParseNews(std::string_view json);

}  // namespace quellix::browser_message
