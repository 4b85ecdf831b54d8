#include "core/browser_message.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace quellix::browser_message {
namespace {

// Just enough of a JSON document to check a message's shape.
struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  bool boolean = false;
  std::optional<std::int64_t> integer;  // set for a whole number that fits exactly
  std::string text;
  // An object's members, names and values at the same positions.
  std::vector<std::string> keys;
  std::vector<Json> values;
  std::vector<Json> items;

  const Json* Member(std::string_view name) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == name) return &values[i];
    return nullptr;
  }
};

// Strict JSON (RFC 8259): no comments, no trailing commas, valid UTF-8,
// no duplicate keys (which would make the message mean two things).
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Json> Document() {
    Json value;
    SkipSpace();
    if (!Value(value, 0)) return std::nullopt;
    SkipSpace();
    if (pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++pos_;
  }
  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool Value(Json& out, int depth) {
    if (depth > kMaxDepth) return false;
    switch (Peek()) {
      case '{': return Object(out, depth);
      case '[': return Array(out, depth);
      case '"': out.kind = Json::Kind::kString; return String(out.text);
      case 't': out.kind = Json::Kind::kBool; out.boolean = true; return Literal("true");
      case 'f': out.kind = Json::Kind::kBool; return Literal("false");
      case 'n': out.kind = Json::Kind::kNull; return Literal("null");
      default: return Number(out);
    }
  }

  bool Object(Json& out, int depth) {
    out.kind = Json::Kind::kObject;
    ++pos_;
    SkipSpace();
    if (Peek() == '}') { ++pos_; return true; }
    for (;;) {
      SkipSpace();
      std::string key;
      if (Peek() != '"' || !String(key)) return false;
      if (out.Member(key) != nullptr) return false;
      SkipSpace();
      if (Peek() != ':') return false;
      ++pos_;
      SkipSpace();
      Json value;
      if (!Value(value, depth + 1)) return false;
      out.keys.push_back(std::move(key));
      out.values.push_back(std::move(value));
      SkipSpace();
      if (Peek() == ',') { ++pos_; continue; }
      if (Peek() == '}') { ++pos_; return true; }
      return false;
    }
  }

  bool Array(Json& out, int depth) {
    out.kind = Json::Kind::kArray;
    ++pos_;
    SkipSpace();
    if (Peek() == ']') { ++pos_; return true; }
    for (;;) {
      SkipSpace();
      Json value;
      if (!Value(value, depth + 1)) return false;
      out.items.push_back(std::move(value));
      SkipSpace();
      if (Peek() == ',') { ++pos_; continue; }
      if (Peek() == ']') { ++pos_; return true; }
      return false;
    }
  }

  bool Digits() {
    const std::size_t start = pos_;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++pos_;
    return pos_ > start;
  }

  bool Number(Json& out) {
    out.kind = Json::Kind::kNumber;
    const std::size_t start = pos_;
    const bool negative = Peek() == '-';
    if (negative) ++pos_;
    if (Peek() == '0') {
      ++pos_;
    } else if (!Digits()) {
      return false;
    }
    bool whole = true;
    if (Peek() == '.') {
      ++pos_;
      if (!Digits()) return false;
      whole = false;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (!Digits()) return false;
      whole = false;
    }
    const std::string_view digits = text_.substr(start + (negative ? 1 : 0), pos_ - start - (negative ? 1 : 0));
    if (whole && digits.size() <= 16) {
      std::int64_t value = 0;
      for (char c : digits) value = value * 10 + (c - '0');
      out.integer = negative ? -value : value;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  bool Hex4(std::uint32_t& code) {
    if (text_.size() - pos_ < 4) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      code <<= 4;
      if (c >= '0' && c <= '9') code |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') code |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') code |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  // One UTF-8 sequence of the raw text, checked (no overlong forms, no surrogates).
  bool RawUtf8(std::string& out) {
    const auto lead = static_cast<unsigned char>(text_[pos_]);
    int extra = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) { extra = 1; code = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { extra = 2; code = lead & 0x0F; }
    else if (lead >= 0xF0 && lead <= 0xF4) { extra = 3; code = lead & 0x07; }
    else return false;
    if (text_.size() - pos_ <= static_cast<std::size_t>(extra)) return false;
    for (int i = 1; i <= extra; ++i) {
      const auto next = static_cast<unsigned char>(text_[pos_ + static_cast<std::size_t>(i)]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    out.append(text_.substr(pos_, static_cast<std::size_t>(extra) + 1));
    pos_ += static_cast<std::size_t>(extra) + 1;
    return true;
  }

  bool String(std::string& out) {
    ++pos_;  // the opening quote
    for (;;) {
      if (AtEnd()) return false;
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') { ++pos_; return true; }
      if (c < 0x20) return false;
      if (c >= 0x80) {
        if (!RawUtf8(out)) return false;
        continue;
      }
      ++pos_;
      if (c != '\\') { out.push_back(static_cast<char>(c)); continue; }
      if (AtEnd()) return false;
      const char escape = text_[pos_++];
      switch (escape) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          std::uint32_t code = 0;
          if (!Hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
            const std::size_t before = pos_;
            pos_ += 2;
            std::uint32_t low = 0;
            if (Hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
              code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else {
              pos_ = before;  // not a pair: the high half stands alone
            }
          }
          // A lone surrogate (JavaScript strings may hold one) becomes U+FFFD.
          if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
          AppendUtf8(out, code);
          break;
        }
        default: return false;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          // By hand: the C library's formatting would bring its whole printf
          // (some 20 KB) into the program for this one escape.
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out.push_back(kHex[(static_cast<unsigned char>(c) >> 4) & 0xF]);
          out.push_back(kHex[static_cast<unsigned char>(c) & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

// A browser's tab id: a whole number from 0 to 2^53 - 1 (JavaScript's exact range).
std::optional<std::int64_t> TabId(const Json& message) {
  const Json* tab = message.Member("tab");
  if (tab == nullptr || tab->kind != Json::Kind::kNumber || !tab->integer) return std::nullopt;
  if (*tab->integer < 0 || *tab->integer > (std::int64_t{1} << 53) - 1) return std::nullopt;
  return tab->integer;
}

const std::string* TextMember(const Json& message, std::string_view name) {
  const Json* member = message.Member(name);
  return member != nullptr && member->kind == Json::Kind::kString ? &member->text : nullptr;
}

bool OnlyMembers(const Json& message, std::initializer_list<std::string_view> names) {
  for (const std::string& key : message.keys) {
    bool known = false;
    for (std::string_view name : names) known = known || key == name;
    if (!known) return false;
  }
  return true;
}

std::optional<std::string> RequestId(const Json& message) {
  const std::string* id = TextMember(message, "id");
  if (id == nullptr || id->empty() || id->size() > kMaxIdLength) return std::nullopt;
  return *id;
}

}  // namespace

Message Parse(std::string_view json) {
  const std::optional<Json> document = Parser(json).Document();
  if (!document) return Invalid{std::nullopt, "not JSON"};
  if (document->kind != Json::Kind::kObject) return Invalid{std::nullopt, "not an object"};
  const std::string* type = TextMember(*document, "type");
  const std::optional<std::string> id = RequestId(*document);
  if (type == nullptr) return Invalid{id, "no type"};
  const std::optional<std::int64_t> tab = TabId(*document);

  if (*type == "newWindow") {
    const std::string* url = TextMember(*document, "url");
    // The new window's own address; an older extension does not send it.
    const Json* target_member = document->Member("target");
    const std::string* target = TextMember(*document, "target");
    if (!id || !tab || url == nullptr || (target_member != nullptr && target == nullptr) ||
        !OnlyMembers(*document, {"type", "id", "tab", "url", "target"}))
      return Invalid{id, "wrong newWindow"};
    return NewWindowRequest{*id, *tab, *url, target != nullptr ? *target : std::string()};
  }
  if (*type == "status") {
    const std::string* text = TextMember(*document, "text");
    if (!tab || text == nullptr || !OnlyMembers(*document, {"type", "tab", "text"})) return Invalid{id, "wrong status"};
    return StatusText{*tab, *text};
  }
  if (*type == "tabClosed") {
    if (!tab || !OnlyMembers(*document, {"type", "tab"})) return Invalid{id, "wrong tabClosed"};
    return TabClosed{*tab};
  }
  if (*type == "state") {
    const std::string* url = TextMember(*document, "url");
    if (!id || url == nullptr || !OnlyMembers(*document, {"type", "id", "url"})) return Invalid{id, "wrong state"};
    return StateQuery{*id, *url};
  }
  if (*type == "allowSite") {
    const std::string* url = TextMember(*document, "url");
    const std::string* site = TextMember(*document, "site");
    const bool has_site = document->Member("site") != nullptr;
    if (!id || url == nullptr || (has_site && (site == nullptr || site->empty())) ||
        !OnlyMembers(*document, {"type", "id", "url", "site"})) {
      return Invalid{id, "wrong allowSite"};
    }
    return AllowSiteRequest{*id, *url, has_site ? *site : std::string()};
  }
  if (*type == "popupRule") {
    const std::string* url = TextMember(*document, "url");
    if (!id || url == nullptr || !OnlyMembers(*document, {"type", "id", "url"})) return Invalid{id, "wrong popupRule"};
    return PopupRuleQuery{*id, *url};
  }
  if (*type == "listen") {
    if (!OnlyMembers(*document, {"type"})) return Invalid{id, "wrong listen"};
    return Listen{};
  }
  return Invalid{id, "unknown type"};
}

std::string Serialize(const NewWindowRequest& request) {
  std::string out = "{\"type\":\"newWindow\",\"id\":";
  AppendQuoted(out, request.id);
  out += ",\"tab\":" + std::to_string(request.tab) + ",\"url\":";
  AppendQuoted(out, request.url);
  if (!request.target.empty()) {
    out += ",\"target\":";
    AppendQuoted(out, request.target);
  }
  out += '}';
  return out;
}

std::string Serialize(const StatusText& status) {
  std::string out = "{\"type\":\"status\",\"tab\":" + std::to_string(status.tab) + ",\"text\":";
  AppendQuoted(out, status.text);
  out += '}';
  return out;
}

std::string Serialize(const TabClosed& closed) {
  return "{\"type\":\"tabClosed\",\"tab\":" + std::to_string(closed.tab) + "}";
}

namespace {

std::string UrlRequest(std::string_view type, const std::string& id, const std::string& url) {
  std::string out = "{\"type\":";
  AppendQuoted(out, type);
  out += ",\"id\":";
  AppendQuoted(out, id);
  out += ",\"url\":";
  AppendQuoted(out, url);
  out += '}';
  return out;
}

}  // namespace

std::string Serialize(const StateQuery& query) { return UrlRequest("state", query.id, query.url); }
std::string Serialize(const PopupRuleQuery& query) { return UrlRequest("popupRule", query.id, query.url); }
std::string Serialize(const Listen&) { return "{\"type\":\"listen\"}"; }

std::string Serialize(const AllowSiteRequest& request) {
  std::string out = "{\"type\":\"allowSite\",\"id\":";
  AppendQuoted(out, request.id);
  out += ",\"url\":";
  AppendQuoted(out, request.url);
  if (!request.site.empty()) {
    out += ",\"site\":";
    AppendQuoted(out, request.site);
  }
  out += '}';
  return out;
}

std::string Serialize(const Message& message) {
  return std::visit(
      [](const auto& m) -> std::string {
        if constexpr (std::is_same_v<std::decay_t<decltype(m)>, Invalid>) {
          return {};
        } else {
          return Serialize(m);
        }
      },
      message);
}

std::string Serialize(const VerdictMessage& verdict) {
  std::string out = "{\"type\":\"verdict\",\"id\":";
  if (verdict.id) {
    AppendQuoted(out, *verdict.id);
  } else {
    out += "null";
  }
  out += verdict.verdict == Verdict::kBlock ? ",\"verdict\":\"block\"}" : ",\"verdict\":\"leave\"}";
  return out;
}

std::optional<VerdictMessage> ParseVerdict(std::string_view json) {
  const std::optional<Json> document = Parser(json).Document();
  if (!document || document->kind != Json::Kind::kObject) return std::nullopt;
  const std::string* type = TextMember(*document, "type");
  const std::string* verdict = TextMember(*document, "verdict");
  const Json* id = document->Member("id");
  if (type == nullptr || *type != "verdict" || verdict == nullptr || id == nullptr ||
      !OnlyMembers(*document, {"type", "id", "verdict"}))
    return std::nullopt;
  VerdictMessage result;
  if (*verdict == "block") result.verdict = Verdict::kBlock;
  else if (*verdict != "leave") return std::nullopt;
  if (id->kind == Json::Kind::kString) {
    result.id = RequestId(*document);
    if (!result.id) return std::nullopt;
  } else if (id->kind != Json::Kind::kNull) {
    return std::nullopt;
  }
  return result;
}

namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

std::optional<bool> BoolMember(const Json& message, std::string_view name) {
  const Json* member = message.Member(name);
  if (member == nullptr || member->kind != Json::Kind::kBool) return std::nullopt;
  return member->boolean;
}

// The answers' common start: their type, their id (a request's, never null)
// and whether the program was there to answer.
struct AnswerHead {
  std::string id;
  bool running = false;
};

// `members`: what an answer of a running program holds besides the head.
std::optional<AnswerHead> ReadAnswerHead(const Json& document, std::string_view type,
                                         std::initializer_list<std::string_view> members) {
  const std::string* kind = TextMember(document, "type");
  const std::optional<std::string> id = RequestId(document);
  const std::optional<bool> running = BoolMember(document, "running");
  if (kind == nullptr || *kind != type || !id || !running) return std::nullopt;
  for (const std::string& key : document.keys) {
    const bool head = key == "type" || key == "id" || key == "running";
    const bool more = *running && std::find(members.begin(), members.end(), key) != members.end();
    if (!head && !more) return std::nullopt;
  }
  return AnswerHead{*id, *running};
}

}  // namespace

namespace {

// `{"type":…,"id":…,"running":…`: how every answer to a question begins.
std::string AnswerHead(std::string_view type, const std::string& id, bool running) {
  std::string out = "{\"type\":";
  AppendQuoted(out, type);
  out += ",\"id\":";
  AppendQuoted(out, id);
  out += ",\"running\":";
  out += Bool(running);
  return out;
}

}  // namespace

std::string Serialize(const StateAnswer& state) {
  std::string out = AnswerHead("state", state.id, state.running);
  if (state.running) {
    out += ",\"blocking\":";
    out += Bool(state.blocking);
    out += ",\"setupMode\":";
    out += Bool(state.setup_mode);
    out += ",\"stopped\":" + std::to_string(state.stopped) + ",\"site\":";
    AppendQuoted(out, state.site);
  }
  out += '}';
  return out;
}

std::string Serialize(const AllowSiteAnswer& allowed) {
  std::string out = AnswerHead("siteAllowed", allowed.id, allowed.running);
  if (allowed.running) {
    out += ",\"ok\":";
    out += Bool(allowed.ok);
    out += ",\"site\":";
    AppendQuoted(out, allowed.site);
    out += ",\"problem\":";
    AppendQuoted(out, allowed.problem);
  }
  out += '}';
  return out;
}

std::string Serialize(const PopupRuleAnswer& rule) {
  std::string out = AnswerHead("popupRule", rule.id, rule.running);
  if (rule.running) {
    out += ",\"allow\":";
    out += Bool(rule.allow);
  }
  out += '}';
  return out;
}

std::string Serialize(const Answer& answer) {
  return std::visit([](const auto& a) { return Serialize(a); }, answer);
}

std::optional<Answer> ParseAnswer(std::string_view json) {
  if (std::optional<VerdictMessage> verdict = ParseVerdict(json)) return Answer(std::move(*verdict));
  const std::optional<Json> document = Parser(json).Document();
  if (!document || document->kind != Json::Kind::kObject) return std::nullopt;
  const std::string* type = TextMember(*document, "type");
  if (type == nullptr) return std::nullopt;

  if (*type == "state") {
    const auto head = ReadAnswerHead(*document, "state", {"blocking", "setupMode", "stopped", "site"});
    if (!head) return std::nullopt;
    StateAnswer state;
    state.id = head->id;
    state.running = head->running;
    if (!head->running) return Answer(std::move(state));
    const std::optional<bool> blocking = BoolMember(*document, "blocking");
    const std::optional<bool> setup_mode = BoolMember(*document, "setupMode");
    const Json* stopped = document->Member("stopped");
    const std::string* site = TextMember(*document, "site");
    if (!blocking || !setup_mode || site == nullptr || stopped == nullptr || !stopped->integer ||
        *stopped->integer < std::numeric_limits<std::int32_t>::min() ||
        *stopped->integer > std::numeric_limits<std::int32_t>::max())
      return std::nullopt;
    state.blocking = *blocking;
    state.setup_mode = *setup_mode;
    state.stopped = static_cast<std::int32_t>(*stopped->integer);
    state.site = *site;
    return Answer(std::move(state));
  }
  if (*type == "siteAllowed") {
    const auto head = ReadAnswerHead(*document, "siteAllowed", {"ok", "site", "problem"});
    if (!head) return std::nullopt;
    AllowSiteAnswer allowed;
    allowed.id = head->id;
    allowed.running = head->running;
    if (!head->running) return Answer(std::move(allowed));
    const std::optional<bool> ok = BoolMember(*document, "ok");
    const std::string* site = TextMember(*document, "site");
    const std::string* problem = TextMember(*document, "problem");
    if (!ok || site == nullptr || problem == nullptr) return std::nullopt;
    allowed.ok = *ok;
    allowed.site = *site;
    allowed.problem = *problem;
    return Answer(std::move(allowed));
  }
  if (*type == "popupRule") {
    const auto head = ReadAnswerHead(*document, "popupRule", {"allow"});
    if (!head) return std::nullopt;
    PopupRuleAnswer rule;
    rule.id = head->id;
    rule.running = head->running;
    if (!head->running) return Answer(std::move(rule));
    const std::optional<bool> allow = BoolMember(*document, "allow");
    if (!allow) return std::nullopt;
    rule.allow = *allow;
    return Answer(std::move(rule));
  }
  return std::nullopt;
}

std::string Serialize(const News& news) {
  if (const auto* switches = std::get_if<SwitchesNews>(&news)) {
    return std::string("{\"type\":\"switches\",\"blocking\":") + Bool(switches->blocking) +
           ",\"setupMode\":" + Bool(switches->setup_mode) + ",\"exceptions\":" + Bool(switches->exceptions) + "}";
  }
  if (const auto* allow_next = std::get_if<AllowNextNews>(&news))
    return std::string("{\"type\":\"allowNext\",\"set\":") + Bool(allow_next->set) + "}";
  if (std::holds_alternative<ListsChangedNews>(news)) return "{\"type\":\"listsChanged\"}";
  return "{\"type\":\"programGone\"}";
}

std::optional<News> ParseNews(std::string_view json) {
  const std::optional<Json> document = Parser(json).Document();
  if (!document || document->kind != Json::Kind::kObject) return std::nullopt;
  const std::string* type = TextMember(*document, "type");
  if (type == nullptr) return std::nullopt;
  if (*type == "switches") {
    const std::optional<bool> blocking = BoolMember(*document, "blocking");
    const std::optional<bool> setup_mode = BoolMember(*document, "setupMode");
    const std::optional<bool> exceptions = BoolMember(*document, "exceptions");
    if (!blocking || !setup_mode || !exceptions ||
        !OnlyMembers(*document, {"type", "blocking", "setupMode", "exceptions"}))
      return std::nullopt;
    return News(SwitchesNews{*blocking, *setup_mode, *exceptions});
  }
  if (*type == "allowNext") {
    const std::optional<bool> set = BoolMember(*document, "set");
    if (!set || !OnlyMembers(*document, {"type", "set"})) return std::nullopt;
    return News(AllowNextNews{*set});
  }
  if (!OnlyMembers(*document, {"type"})) return std::nullopt;
  if (*type == "listsChanged") return News(ListsChangedNews{});
  if (*type == "programGone") return News(ProgramGoneNews{});
  return std::nullopt;
}

}  // namespace quellix::browser_message
