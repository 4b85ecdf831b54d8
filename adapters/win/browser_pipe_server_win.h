// The program's end of the browsers' pipe. A worker thread accepts the
// native messaging host's connections and moves bytes; every message it
// reads is handed to the user-interface thread (through a message-only
// window), where the browser tabs decide it, so the deciding stays on that
// one thread and a waiting prompt keeps serving other tabs.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "core/browser_tabs.h"
#include "core/program_news.h"
#include "platform/win/browser_pipe_win.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/worker_thread_win.h"

namespace quellix::win {

// The only program that is decided for: anything else on the pipe is
// answered "leave" (see BrowserTabs::Connected).
inline constexpr const wchar_t* kBrowserHostImageName = L"QuellixBridge.exe";

class BrowserPipeServer final : public ProgramNews {
 public:
  // Starts listening at once; when that fails the program simply guards no
  // browser through the extension.
  // `lists`: the main window's, for the extension panel's "Always allow".
  // `wake`: posts the message that has the user-interface thread handle what
  // is queued (PostMessageW); it may fail, as a full message queue does, and
  // is then tried again until it succeeds.
  using WakeUp = std::function<bool(HWND window, UINT message)>;
  BrowserPipeServer(ProgramState& state, PopupHost& host, Module1* lists = nullptr, WakeUp wake = {});
  // Tells every browser that the program is going, stops the worker once
  // that is written, and closes every connection.
  ~BrowserPipeServer();
  BrowserPipeServer(const BrowserPipeServer&) = delete;
  BrowserPipeServer& operator=(const BrowserPipeServer&) = delete;

  // Not listening because another program already served the pipe's name
  // when this one started: the browsers cannot reach the program.
  bool NameTaken() const { return name_taken_; }

  // Told to every connected browser (on the user-interface thread).
  void SwitchesChanged() override { tabs_.SwitchesChanged(); }
  void AllowNextChanged() override { tabs_.AllowNextChanged(); }
  void ListsChanged() override { tabs_.ListsChanged(); }

 private:
  struct Event {
    enum class Kind { kConnected, kMessage, kTooLong, kDisconnected } kind;
    BrowserTabs::ConnectionId connection;
    std::string payload;    // kMessage
    bool from_host = false; // kConnected
    std::optional<std::int64_t> status_tab;  // kMessage: a status text, of this tab
  };
  // Where a tab's status text waits in inbox_, by its place counted from the
  // first event ever queued; a later text replaces it there until anything
  // else of that connection is queued after it.
  using TabKey = std::pair<BrowserTabs::ConnectionId, std::int64_t>;
  void RunWorker(const std::wstring& pipe_name, PipeSecurity& security, ScopedHandle first);

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // On the worker: queues an event for the user-interface thread.
  void Post(Event event);
  // Posts the wake-up unless one is on its way; false when posting failed.
  bool WakeUserInterface();
  // With mutex_ held: counts what `event` adds to (or, handled, takes from)
  // its connection's share of inbox_; true when that connection may be read
  // again.
  bool CountQueued(const Event& event, bool added);
  // On the user-interface thread: handles what is queued, in order, unless
  // browser requests are already nested this deep in each other.
  void HandleQueued();
  // From the user-interface thread: queues an answer for the worker to write.
  void Send(BrowserTabs::ConnectionId connection, const std::string& message);

  BrowserTabs tabs_;
  ScopedWindow window_;
  ScopedHandle stop_;   // set: the worker ends
  ScopedHandle wake_;   // set: answers are waiting in outbox_
  SlimLock mutex_;
  std::deque<Event> inbox_;
  std::uint64_t inbox_start_ = 0;          // the place of inbox_.front()
  std::map<TabKey, std::uint64_t> waiting_status_;
  // What each connection has waiting in inbox_ (payload bytes and a share
  // for each event), and the connections whose reading is paused because it
  // was too much: they are read again once the user-interface thread has
  // handled most of it.
  std::map<BrowserTabs::ConnectionId, std::size_t> queued_bytes_;
  std::set<BrowserTabs::ConnectionId> paused_;
  WakeUp wake_up_;
  bool wake_up_posted_ = false;  // under mutex_
  std::atomic<bool> wake_up_failed_{false};
  int depth_ = 0;                // the user-interface thread's nesting of HandleQueued
  std::deque<std::pair<BrowserTabs::ConnectionId, std::string>> outbox_;
  WorkerThread worker_;
  bool name_taken_ = false;
};

}  // namespace quellix::win
