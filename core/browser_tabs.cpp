#include "core/browser_tabs.h"

#include "core/browser_panel_requests.h"
#include "core/site_of_address.h"

#include <variant>

namespace quellix {
namespace {

class ListenerSubscription final : public Subscription {
 public:
  explicit ListenerSubscription(std::shared_ptr<std::weak_ptr<BrowserEvents>> record) : record_(std::move(record)) {}
  ~ListenerSubscription() override { record_->reset(); }

 private:
  std::shared_ptr<std::weak_ptr<BrowserEvents>> record_;
};

}  // namespace

std::unique_ptr<Subscription> BrowserTabWindow::Subscribe(std::weak_ptr<BrowserEvents> listener) {
  listener_ = std::make_shared<ListenerRecord>(std::move(listener));
  return std::make_unique<ListenerSubscription>(listener_);
}

void BrowserTabWindow::RaiseNewWindow2(bool& cancel, const std::function<void()>& answer_block) {
  if (!listener_) return;
  if (const auto listener = listener_->lock()) listener->OnNewTabWindow2(cancel, answer_block);
}

BrowserTabs::BrowserTabs(ProgramState& state, PopupHost& host, Send send, Module1* lists)
    : state_(state), host_(host), send_(std::move(send)), lists_(lists) {}

BrowserTabs::~BrowserTabs() {
  for (auto& [key, tab] : tabs_) tab.sink->End();
}

void BrowserTabs::Connected(ConnectionId connection, bool from_host) { connections_[connection] = {from_host, false}; }

void BrowserTabs::SwitchesChanged() { TellAll(SwitchesNow(host_)); }
void BrowserTabs::AllowNextChanged() { TellAll(browser_message::AllowNextNews{state_.boolAllowNext}); }
void BrowserTabs::ListsChanged() { TellAll(browser_message::ListsChangedNews{}); }
void BrowserTabs::ProgramGoing() { TellAll(browser_message::ProgramGoneNews{}); }

void BrowserTabs::Tell(ConnectionId connection, const browser_message::News& news) {
  send_(connection, browser_message::Serialize(news));
}

void BrowserTabs::TellAll(const browser_message::News& news) {
  const std::string text = browser_message::Serialize(news);
  for (const auto& [connection, open] : connections_)
    if (open.listening) send_(connection, text);
}

void BrowserTabs::Disconnected(ConnectionId connection) {
  connections_.erase(connection);
  DropTabs(connection);
}

void BrowserTabs::ReceivedTooLong(ConnectionId connection) {
  Answer(connection, std::nullopt, browser_message::Verdict::kLeave);
}

void BrowserTabs::Received(ConnectionId connection, std::string_view text) {
  using namespace browser_message;
  const auto open = connections_.find(connection);
  const bool from_host = open != connections_.end() && open->second.from_host;
  Message message = Parse(text);
  if (const auto* invalid = std::get_if<Invalid>(&message)) {
    Answer(connection, invalid->id, Verdict::kLeave);
    return;
  }
  if (const auto* request = std::get_if<NewWindowRequest>(&message)) {
    if (!from_host) {
      Answer(connection, request->id, Verdict::kLeave);
      return;
    }
    Decide(connection, *request);
    return;
  }
  if (const auto* query = std::get_if<StateQuery>(&message)) {
    if (from_host) Reply(connection, AnswerStateQuery(*query, state_, host_));
    else Answer(connection, query->id, Verdict::kLeave);
    return;
  }
  if (const auto* allow = std::get_if<AllowSiteRequest>(&message)) {
    if (from_host) Reply(connection, AllowSiteAlways(*allow, lists_));
    else Answer(connection, allow->id, Verdict::kLeave);
    return;
  }
  if (const auto* rule = std::get_if<PopupRuleQuery>(&message)) {
    if (from_host) Reply(connection, AnswerPopupRule(*rule, state_, host_));
    else Answer(connection, rule->id, Verdict::kLeave);
    return;
  }
  if (!from_host) return;
  if (std::holds_alternative<Listen>(message)) {
    // Told where things stand now, then each change.
    open->second.listening = true;
    Tell(connection, SwitchesNow(host_));
    Tell(connection, browser_message::AllowNextNews{state_.boolAllowNext});
    return;
  }
  if (const auto* status = std::get_if<StatusText>(&message)) {
    TabFor(connection, status->tab).link_text = status->text;
    return;
  }
  if (const auto* closed = std::get_if<TabClosed>(&message)) DropTab(connection, closed->tab);
}

void BrowserTabs::Decide(ConnectionId connection, const browser_message::NewWindowRequest& request) {
  // Asked again (the extension's worker restarted and lost its connection):
  // answered once, from what was or is being decided.
  if (const auto done = answered_.find(request.id); done != answered_.end()) {
    Answer(connection, request.id, done->second);
    return;
  }
  if (const auto running = deciding_.find(request.id); running != deciding_.end()) {
    running->second = connection;
    return;
  }
  if (FromLinkOfItsTab(connection, request)) {
    Remember(request.id, browser_message::Verdict::kLeave);
    Answer(connection, request.id, browser_message::Verdict::kLeave);
    return;
  }
  deciding_.emplace(request.id, connection);

  const std::shared_ptr<BrowserTabWindow> window = TabFor(connection, request.tab).window;
  window->SetLocation(request.url);
  // A block goes back the moment it is counted, before the decision lets
  // other messages run and sounds it: the new tab is on screen until then.
  bool answered = false;
  const std::string id = request.id;
  bool cancel = false;
  window->RaiseNewWindow2(cancel, [&] {
    answered = true;
    Conclude(connection, id, browser_message::Verdict::kBlock);
  });
  if (!answered) Conclude(connection, id, cancel ? browser_message::Verdict::kBlock : browser_message::Verdict::kLeave);
}

void BrowserTabs::Conclude(ConnectionId asked, const std::string& id, browser_message::Verdict verdict) {
  // The decision may have waited for the prompt: by now the connection may
  // be gone (then the answer is dropped) or another may have asked instead.
  const auto running = deciding_.find(id);
  const ConnectionId reply_to = running != deciding_.end() ? running->second : asked;
  if (running != deciding_.end()) deciding_.erase(running);
  Remember(id, verdict);
  Answer(reply_to, id, verdict);
}

// The Exceptions switch for a browser tab: the request goes to the link its
// own user points at. That one request goes through; the allow-next flag is
// left as it is.
bool BrowserTabs::FromLinkOfItsTab(ConnectionId connection, const browser_message::NewWindowRequest& request) {
  const PopupOptions options = host_.ReadOptions();
  if (!options.chkStopPop || !options.chkLinks || request.target.empty()) return false;
  const auto tab = tabs_.find(TabKey{connection, request.tab});
  return tab != tabs_.end() && IsLinkStatusText(tab->second.link_text) && tab->second.link_text == request.target;
}

void BrowserTabs::Answer(ConnectionId connection, std::optional<std::string> id, browser_message::Verdict verdict) {
  if (!connections_.contains(connection)) return;
  send_(connection, browser_message::Serialize(browser_message::VerdictMessage{std::move(id), verdict}));
}

void BrowserTabs::Reply(ConnectionId connection, const browser_message::Answer& answer) {
  if (!connections_.contains(connection)) return;
  send_(connection, browser_message::Serialize(answer));
}

void BrowserTabs::Remember(const std::string& id, browser_message::Verdict verdict) {
  if (answered_.emplace(id, verdict).second) answered_order_.push_back(id);
  while (answered_order_.size() > kRememberedAnswers) {
    answered_.erase(answered_order_.front());
    answered_order_.pop_front();
  }
}

BrowserTabs::Tab& BrowserTabs::TabFor(ConnectionId connection, std::int64_t tab) {
  const TabKey key{connection, tab};
  if (const auto found = tabs_.find(key); found != tabs_.end()) return found->second;
  const auto first = tabs_.lower_bound(TabKey{connection, 0});
  std::size_t count = 0;
  for (auto it = first; it != tabs_.end() && it->first.first == connection; ++it) ++count;
  if (count >= kMaxTabsPerConnection) DropTabs(connection);

  Tab entry{std::make_shared<BrowserTabWindow>(), std::make_shared<IE_Class>(state_, host_), {}};
  entry.sink->SetIEctl(entry.window);
  return tabs_.emplace(key, std::move(entry)).first->second;
}

void BrowserTabs::DropTab(ConnectionId connection, std::int64_t tab) {
  const auto found = tabs_.find(TabKey{connection, tab});
  if (found == tabs_.end()) return;
  found->second.sink->End();
  tabs_.erase(found);
}

void BrowserTabs::DropTabs(ConnectionId connection) {
  auto it = tabs_.lower_bound(TabKey{connection, 0});
  while (it != tabs_.end() && it->first.first == connection) {
    it->second.sink->End();
    it = tabs_.erase(it);
  }
}

}  // namespace quellix
