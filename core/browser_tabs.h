// The tabs of the browsers that are connected through the native messaging
// host (QuellixBridge.exe). Each tab that reports something is one more
// browser window to the popup interception, with its own IE_Class sink: a new
// tab or window that a page in it opened arrives as NewWindow2, with the
// opener's address as LocationURL. So the sink, the decision and the
// setup-mode prompt run as they do for Internet Explorer windows.
//
// The link under a tab's pointer is that tab's own: it lets through only a
// request of that tab whose new window goes to that very address, and never
// sets the program-wide allow-next flag, so a link in one tab (or a page's
// forged hover) cannot let another tab's or an Internet Explorer window's
// pop-up through.
//
// Everything here runs on the user-interface thread. A decision may wait for
// the prompt, processing messages, and so other messages (other tabs, other
// connections) are served inside it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "core/browser.h"
#include "core/browser_message.h"
#include "core/ie_class.h"
#include "core/popup_host.h"
#include "core/program_state.h"
#include "core/site_list_store.h"

namespace quellix {

// One browser tab as a browser window. It closes nothing itself (Quit fails):
// the extension closes tabs by the verdicts it is sent.
class BrowserTabWindow final : public BrowserWindow {
 public:
  std::optional<std::string> LocationURL() override { return url_; }
  bool Quit() override { return false; }
  // One listener at a time: the tab's sink.
  std::unique_ptr<Subscription> Subscribe(std::weak_ptr<BrowserEvents> listener) override;

  void SetLocation(std::string url) { url_ = std::move(url); }
  // `cancel` as the browser passes it (false) and as the sink leaves it; a
  // block may be told through `answer_block` before the sink returns.
  void RaiseNewWindow2(bool& cancel, const std::function<void()>& answer_block);

 private:
  using ListenerRecord = std::weak_ptr<BrowserEvents>;
  std::string url_;
  std::shared_ptr<ListenerRecord> listener_;
};

class BrowserTabs {
 public:
  using ConnectionId = std::uint64_t;
  // Sends one message to one connection.
  using Send = std::function<void(ConnectionId, const std::string&)>;

  // A hostile or runaway connection cannot make the program keep more tabs
  // than this for it; past it, its tabs (which hold no state) are dropped.
  static constexpr std::size_t kMaxTabsPerConnection = 4096;
  // Answers kept for requests asked again after the extension restarted:
  // more than the extension ever keeps waiting (its MAX_PENDING), so that a
  // request asked again is never decided, counted or sounded twice. Each
  // costs its id (at most 64 bytes) and a verdict.
  static constexpr std::size_t kRememberedAnswers = 4096;

  // `lists`: where the panel's "Always allow" goes; null: refused.
  BrowserTabs(ProgramState& state, PopupHost& host, Send send, Module1* lists = nullptr);
  ~BrowserTabs();
  BrowserTabs(const BrowserTabs&) = delete;
  BrowserTabs& operator=(const BrowserTabs&) = delete;

  // `from_host`: the other end is the native messaging host. Anything else
  // that connects is answered "leave", never decided for and never told
  // anything. A host's connection hears the news once it asks to listen.
  void Connected(ConnectionId connection, bool from_host);
  void Received(ConnectionId connection, std::string_view message);
  // A message over the size limit, skipped unread.
  void ReceivedTooLong(ConnectionId connection);
  // Its tabs go; an answer still being decided for it is dropped when it comes.
  void Disconnected(ConnectionId connection);

  // Tell every host's connection that listens what changed, as it changes.
  void SwitchesChanged();
  void AllowNextChanged();
  void ListsChanged();
  void ProgramGoing();

 private:
  struct Tab {
    std::shared_ptr<BrowserTabWindow> window;
    std::shared_ptr<IE_Class> sink;
    std::string link_text;  // the link under this tab's pointer, or empty
  };
  using TabKey = std::pair<ConnectionId, std::int64_t>;

  Tab& TabFor(ConnectionId connection, std::int64_t tab);
  void DropTabs(ConnectionId connection);
  void DropTab(ConnectionId connection, std::int64_t tab);
  void Decide(ConnectionId connection, const browser_message::NewWindowRequest& request);
  bool FromLinkOfItsTab(ConnectionId connection, const browser_message::NewWindowRequest& request);
  // The verdict on a request being decided, to the connection that asked last.
  void Conclude(ConnectionId asked, const std::string& id, browser_message::Verdict verdict);
  void Answer(ConnectionId connection, std::optional<std::string> id, browser_message::Verdict verdict);
  void Remember(const std::string& id, browser_message::Verdict verdict);
  void Reply(ConnectionId connection, const browser_message::Answer& answer);
  void Tell(ConnectionId connection, const browser_message::News& news);
  void TellAll(const browser_message::News& news);

  ProgramState& state_;
  PopupHost& host_;
  Send send_;
  Module1* lists_;
  struct Connection {
    bool from_host = false;
    bool listening = false;  // wants the news
  };
  std::unordered_map<ConnectionId, Connection> connections_;  // the open ones
  std::map<TabKey, Tab> tabs_;
  // Requests being decided, by id: the connection the answer goes to (the
  // latest that asked).
  std::unordered_map<std::string, ConnectionId> deciding_;
  std::unordered_map<std::string, browser_message::Verdict> answered_;
  std::deque<std::string> answered_order_;
};

}  // namespace quellix
