#include "adapters/win/browser_pipe_server_win.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/message_frames.h"
#include "platform/win/browser_pipe_win.h"
#include "platform/win/window_binding.h"

namespace quellix::win {
namespace {

constexpr UINT kEventQueued = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"Quellix.BrowserPipe";
constexpr DWORD kPipeBufferBytes = 64 * 1024;
// An answer the other end does not take within this time ends the connection,
// and so do more unsent answers than this: a browser that stops reading its
// host holds up nobody else. What it had not taken is lost with the
// connection; the decisions are remembered, and answered from memory when
// its extension asks again.
constexpr DWORD kWriteTimeoutMs = 5000;
constexpr std::size_t kMaxUnsentBytes = 1u << 20;
// How often answers under way are looked at while a host is slow to take them.
constexpr DWORD kPollWritesMs = 10;
// At the program's end a host that does not take its last message at once is not waited for.
constexpr DWORD kFinalWriteTimeoutMs = 200;
// What one connection may have waiting for the user-interface thread; an
// event counts its payload and this much besides. Past the bound its pipe is
// not read until the user-interface thread has handled half of it: a
// browser that floods the program waits (its host's writes wait) rather than
// growing the queue. One message read past it is still queued whole.
constexpr std::size_t kMaxQueuedBytesPerConnection = 256 * 1024;
constexpr std::size_t kQueuedEventBytes = 64;
// The worker waits on its two events, the listening pipe and one read per
// connection; Windows waits on at most MAXIMUM_WAIT_OBJECTS at once. A client
// past the limit is still accepted, and closed at once: its host then answers
// for itself instead of waiting on a connection that nobody reads.
constexpr std::size_t kMaxConnections = MAXIMUM_WAIT_OBJECTS - 3;
constexpr DWORD kRetryListeningMs = 1000;
// A wake-up that could not be posted (the thread's message queue is full) is
// tried again this often until it is.
constexpr DWORD kRetryWakeUpMs = 20;
// Browser requests handled inside each other (a decision lets messages run
// while it blocks or waits for the prompt) nest at most this deep; more wait
// in the queue until a level returns.
constexpr int kMaxNesting = 4;
// Of a status text (the link under the pointer) the program keeps this much.
constexpr std::size_t kMaxStatusTextBytes = 8 * 1024;

// Cut at a character's start, so that what is kept is still UTF-8.
std::string CutStatusText(std::string text) {
  if (text.size() <= kMaxStatusTextBytes) return text;
  std::size_t end = kMaxStatusTextBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

struct Connection {
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  // Nothing of the system's may still write into what is freed.
  ~Connection() {
    if (!reading && !writing) return;
    CancelIoEx(pipe.Get(), nullptr);
    DWORD ignored = 0;
    if (reading) GetOverlappedResult(pipe.Get(), &read, &ignored, TRUE);
    if (writing) GetOverlappedResult(pipe.Get(), &write, &ignored, TRUE);
  }

  ScopedHandle pipe;
  ScopedHandle read_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  ScopedHandle write_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED read{};
  bool reading = false;
  std::vector<char> buffer = std::vector<char>(kPipeBufferBytes);
  MessageFrameReader frames{kMaxPipeMessage};
  OVERLAPPED write{};
  bool writing = false;
  ULONGLONG write_began = 0;
  std::string sending;  // the write under way
  std::string unsent;   // answers behind it, in order
};

ScopedHandle CreateListeningPipe(const std::wstring& name, PipeSecurity& security, bool first) {
  const DWORD open_mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  return ScopedHandle(CreateNamedPipeW(name.c_str(), open_mode,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                       PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0,
                                       security.Attributes()));
}

// True when something already serves the pipe's name. Wine creates a "first"
// instance beside another program's, so the name is opened as a client
// first: only "not found" means it is free.
bool NameServedElsewhere(const std::wstring& name) {
  ScopedHandle probe(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (probe) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// Starts an overlapped read; false when the connection has ended.
bool StartRead(Connection& connection) {
  connection.read = OVERLAPPED{};
  connection.read.hEvent = connection.read_event.Get();
  ResetEvent(connection.read_event.Get());
  if (!ReadFile(connection.pipe.Get(), connection.buffer.data(), static_cast<DWORD>(connection.buffer.size()),
                nullptr, &connection.read) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  connection.reading = true;
  return true;
}

void StopRead(Connection& connection) {
  if (!connection.reading) return;
  CancelIoEx(connection.pipe.Get(), &connection.read);
  DWORD ignored = 0;
  GetOverlappedResult(connection.pipe.Get(), &connection.read, &ignored, TRUE);
  connection.reading = false;
}

// Notes a finished write and starts writing all that waits, in one; false
// when the connection has ended or does not take its answers.
bool ContinueWrite(Connection& connection) {
  if (connection.writing) {
    if (!HasOverlappedIoCompleted(&connection.write)) {
      return GetTickCount64() - connection.write_began < kWriteTimeoutMs &&
             connection.unsent.size() <= kMaxUnsentBytes;
    }
    connection.writing = false;
    DWORD written = 0;
    if (!GetOverlappedResult(connection.pipe.Get(), &connection.write, &written, FALSE)) return false;
    connection.sending.erase(0, written);
    connection.unsent.insert(0, connection.sending);
    connection.sending.clear();
  }
  if (connection.unsent.empty()) return true;
  connection.sending.swap(connection.unsent);
  connection.write = OVERLAPPED{};
  connection.write.hEvent = connection.write_event.Get();
  ResetEvent(connection.write_event.Get());
  if (!WriteFile(connection.pipe.Get(), connection.sending.data(), static_cast<DWORD>(connection.sending.size()),
                 nullptr, &connection.write) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  connection.writing = true;
  connection.write_began = GetTickCount64();
  return true;
}

}  // namespace

BrowserPipeServer::BrowserPipeServer(ProgramState& state, PopupHost& host, Module1* lists, WakeUp wake)
    : tabs_(state, host, [this](BrowserTabs::ConnectionId to, const std::string& message) { Send(to, message); },
            lists),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      wake_up_(wake ? std::move(wake) : [](HWND window, UINT message) {
        return PostMessageW(window, message, 0, 0) != FALSE;
      }) {
  const std::wstring name = BrowserPipeName();
  if (name.empty() || !stop_ || !wake_) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &WindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);  // fails harmlessly when already registered
  window_.Reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), this));
  if (!window_) return;
  // The first instance is made here, so that a listening server can be
  // reached as soon as it is constructed.
  std::optional<PipeSecurity> security = PipeSecurity::ForSession();
  if (!security) return;
  if (NameServedElsewhere(name)) {
    name_taken_ = true;
    return;
  }
  ScopedHandle first = CreateListeningPipe(name, *security, true);
  if (!first) {
    name_taken_ = GetLastError() == ERROR_ACCESS_DENIED;  // Windows: another's first instance
    return;
  }
  // Without a thread the program runs on without the browsers' pipe.
  auto listening = std::make_shared<ScopedHandle>(std::move(first));
  auto session = std::make_shared<PipeSecurity>(std::move(*security));
  worker_ = WorkerThread([this, name, session, listening] { RunWorker(name, *session, std::move(*listening)); });
}

BrowserPipeServer::~BrowserPipeServer() {
  if (worker_.Running()) {
    tabs_.ProgramGoing();
    SetEvent(stop_.Get());
    worker_.Join();
  }
  window_.Reset();
}

LRESULT CALLBACK BrowserPipeServer::WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  static constexpr win::WindowBinding<BrowserPipeServer> kServerWindows{L"Quellix.BrowserPipeServer"};
  BrowserPipeServer* server = kServerWindows.ForMessage(window, message, lparam);
  if (message == kEventQueued) {
    if (server != nullptr) {
      try {
        server->HandleQueued();
      } catch (...) {
        // Out of memory in a decision: that request goes unanswered (its
        // window stays open); nothing may cross the window procedure.
      }
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void BrowserPipeServer::Post(Event event) {
  if (event.kind == Event::Kind::kMessage) {
    const browser_message::Message message = browser_message::Parse(event.payload);
    if (const auto* status = std::get_if<browser_message::StatusText>(&message)) {
      event.status_tab = status->tab;
      if (status->text.size() > kMaxStatusTextBytes)
        event.payload = browser_message::Serialize(browser_message::StatusText{status->tab, CutStatusText(status->text)});
    } else if (const auto* request = std::get_if<browser_message::NewWindowRequest>(&message)) {
      // A later text of the opener's must come after this request.
      const std::lock_guard lock(mutex_);
      waiting_status_.erase({event.connection, request->tab});
    } else if (const auto* closed = std::get_if<browser_message::TabClosed>(&message)) {
      const std::lock_guard lock(mutex_);
      waiting_status_.erase({event.connection, closed->tab});
    }
  }
  {
    const std::lock_guard lock(mutex_);
    if (event.status_tab) {
      // A page that moves its pointer over links, or forges it, in a loop
      // leaves one text per tab waiting: the latest.
      const TabKey key{event.connection, *event.status_tab};
      const auto waiting = waiting_status_.find(key);
      if (waiting != waiting_status_.end() && waiting->second >= inbox_start_) {
        std::string& replaced = inbox_[waiting->second - inbox_start_].payload;
        std::size_t& queued = queued_bytes_[event.connection];
        queued = queued - replaced.size() + event.payload.size();
        replaced = std::move(event.payload);
        return;
      }
      waiting_status_[key] = inbox_start_ + inbox_.size();
    } else if (event.kind == Event::Kind::kDisconnected) {
      waiting_status_.erase(waiting_status_.lower_bound({event.connection, INT64_MIN}),
                            waiting_status_.upper_bound({event.connection, INT64_MAX}));
    }
    CountQueued(event, true);
    inbox_.push_back(std::move(event));
  }
  WakeUserInterface();
}

bool BrowserPipeServer::CountQueued(const Event& event, bool added) {
  const std::size_t bytes = event.payload.size() + kQueuedEventBytes;
  std::size_t& queued = queued_bytes_[event.connection];
  if (added) {
    queued += bytes;
    return false;
  }
  queued -= std::min(queued, bytes);
  const bool resume = queued <= kMaxQueuedBytesPerConnection / 2 && paused_.erase(event.connection) > 0;
  if (queued == 0) queued_bytes_.erase(event.connection);
  return resume;
}

bool BrowserPipeServer::WakeUserInterface() {
  {
    const std::lock_guard lock(mutex_);
    if (wake_up_posted_ || inbox_.empty()) return true;
    wake_up_posted_ = true;
  }
  if (wake_up_(window_.Get(), kEventQueued)) return true;
  {
    const std::lock_guard lock(mutex_);
    wake_up_posted_ = false;
  }
  // The worker tries again shortly; it is woken in case it waits without end.
  wake_up_failed_ = true;
  SetEvent(wake_.Get());
  return false;
}

void BrowserPipeServer::HandleQueued() {
  {
    const std::lock_guard lock(mutex_);
    wake_up_posted_ = false;  // this one has come
  }
  // Too deep: the levels below go on draining once they return.
  if (depth_ >= kMaxNesting) return;
  ++depth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth_};
  // The deepest level handles everything queued before it returns (a level
  // above would not), so it needs no wake-up, and none is posted while it
  // runs; the worker posts one again once it has found the queue empty.
  const bool deepest = depth_ == kMaxNesting;
  for (;;) {
    Event event;
    bool resume_reading = false;
    {
      const std::lock_guard lock(mutex_);
      if (inbox_.empty()) {
        if (deepest) wake_up_posted_ = false;
        return;
      }
      if (deepest) wake_up_posted_ = true;
      event = std::move(inbox_.front());
      inbox_.pop_front();
      ++inbox_start_;
      resume_reading = CountQueued(event, false);
      if (event.status_tab) {
        const auto waiting = waiting_status_.find({event.connection, *event.status_tab});
        if (waiting != waiting_status_.end() && waiting->second < inbox_start_) waiting_status_.erase(waiting);
      }
    }
    if (resume_reading) SetEvent(wake_.Get());
    // A decision may let messages run (blocking, or waiting for the prompt):
    // what is queued behind it is then handled one level up, each in turn.
    if (!deepest) WakeUserInterface();
    switch (event.kind) {
      case Event::Kind::kConnected: tabs_.Connected(event.connection, event.from_host); break;
      case Event::Kind::kMessage: tabs_.Received(event.connection, event.payload); break;
      case Event::Kind::kTooLong: tabs_.ReceivedTooLong(event.connection); break;
      case Event::Kind::kDisconnected: tabs_.Disconnected(event.connection); break;
    }
  }
}

void BrowserPipeServer::Send(BrowserTabs::ConnectionId connection, const std::string& message) {
  bool first = false;
  {
    const std::lock_guard lock(mutex_);
    first = outbox_.empty();
    outbox_.emplace_back(connection, FrameMessage(message));
  }
  // Answers behind one the worker has not yet taken go with it.
  if (first) SetEvent(wake_.Get());
}

void BrowserPipeServer::RunWorker(const std::wstring& pipe_name, PipeSecurity& security, ScopedHandle first) {
  std::map<BrowserTabs::ConnectionId, std::unique_ptr<Connection>> connections;
  BrowserTabs::ConnectionId next_id = 1;

  ScopedHandle connect_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ScopedHandle listening = std::move(first);
  OVERLAPPED connect{};
  bool connected_at_once = false;  // the client came before ConnectNamedPipe: no I/O to wait for
  // A listening instance waits for the next client while there is room.
  auto listen = [&] {
    if (!listening) listening = CreateListeningPipe(pipe_name, security, false);
    connect = OVERLAPPED{};
    connect.hEvent = connect_event.Get();
    ResetEvent(connect_event.Get());
    if (!listening) return;
    if (!ConnectNamedPipe(listening.Get(), &connect)) {
      const DWORD error = GetLastError();
      connected_at_once = error == ERROR_PIPE_CONNECTED;
      if (connected_at_once) SetEvent(connect_event.Get());
      else if (error != ERROR_IO_PENDING) listening.Reset();
    }
  };
  auto close = [&](BrowserTabs::ConnectionId id) {
    const auto found = connections.find(id);
    if (found == connections.end()) return;
    connections.erase(found);
    {
      const std::lock_guard lock(mutex_);
      paused_.erase(id);
    }
    Post(Event{Event::Kind::kDisconnected, id, {}, false, {}});
  };
  // Queues the answers behind each connection's and writes what each takes;
  // true while some are still under way.
  auto write_answers = [&] {
    std::deque<std::pair<BrowserTabs::ConnectionId, std::string>> answers;
    {
      const std::lock_guard lock(mutex_);
      answers.swap(outbox_);
    }
    for (auto& [id, frame] : answers) {
      const auto found = connections.find(id);
      if (found != connections.end()) found->second->unsent += frame;  // else gone: the answer is dropped
    }
    std::vector<BrowserTabs::ConnectionId> ended;
    bool under_way = false;
    for (auto& [id, connection] : connections) {
      if (!ContinueWrite(*connection)) ended.push_back(id);
      else under_way = under_way || connection->writing;
    }
    for (const BrowserTabs::ConnectionId id : ended) close(id);
    return under_way;
  };
  // Reads again from each connection that is not paused.
  auto read_unpaused = [&] {
    std::vector<BrowserTabs::ConnectionId> ended;
    for (auto& [id, connection] : connections) {
      if (connection->reading) continue;
      {
        const std::lock_guard lock(mutex_);
        if (paused_.contains(id)) continue;
      }
      if (!StartRead(*connection)) ended.push_back(id);
    }
    for (const BrowserTabs::ConnectionId id : ended) close(id);
  };
  listen();

  for (;;) {
    const bool writing = write_answers();
    read_unpaused();
    std::vector<HANDLE> waits{stop_.Get(), wake_.Get()};
    std::vector<BrowserTabs::ConnectionId> order;
    const bool can_accept = static_cast<bool>(listening);
    if (can_accept) waits.push_back(connect_event.Get());
    for (const auto& [id, connection] : connections) {
      if (!connection->reading) continue;
      waits.push_back(connection->read_event.Get());
      order.push_back(id);
    }
    // Without a listening instance (creating one failed), try again each
    // second; a wake-up that failed, and answers under way, sooner.
    const bool retry_wake_up = wake_up_failed_.load();
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                                              writing         ? kPollWritesMs
                                              : retry_wake_up ? kRetryWakeUpMs
                                              : listening     ? INFINITE
                                                              : kRetryListeningMs);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
    if (woke == WAIT_TIMEOUT) {
      if (retry_wake_up) {
        wake_up_failed_ = false;
        WakeUserInterface();
      }
      if (!listening) listen();
      continue;
    }
    if (woke == WAIT_OBJECT_0 + 1) continue;  // answers to write, or a paused connection to read again

    const DWORD base = WAIT_OBJECT_0 + 2 + (can_accept ? 1 : 0);
    if (can_accept && woke == WAIT_OBJECT_0 + 2) {
      DWORD ignored = 0;
      const bool connected =
          connected_at_once || GetOverlappedResult(listening.Get(), &connect, &ignored, FALSE) ||
          GetLastError() == ERROR_PIPE_CONNECTED;
      connected_at_once = false;
      if (connected && connections.size() >= kMaxConnections) {
        DisconnectNamedPipe(listening.Get());
        listening.Reset();
      } else if (connected) {
        auto connection = std::make_unique<Connection>();
        connection->pipe.Reset(listening.Release());
        const BrowserTabs::ConnectionId id = next_id++;
        const bool from_host = lstrcmpiW(PipePeerImageName(connection->pipe.Get(), true).c_str(),
                                         kBrowserHostImageName) == 0;
        Post(Event{Event::Kind::kConnected, id, {}, from_host, {}});
        if (StartRead(*connection)) {
          connections.emplace(id, std::move(connection));
        } else {
          Post(Event{Event::Kind::kDisconnected, id, {}, false, {}});
        }
      }
      listen();
      continue;
    }

    if (woke < base || woke >= base + order.size()) continue;
    const BrowserTabs::ConnectionId id = order[woke - base];
    Connection& connection = *connections.at(id);
    DWORD read = 0;
    connection.reading = false;
    if (!GetOverlappedResult(connection.pipe.Get(), &connection.read, &read, FALSE) || read == 0) {
      close(id);
      continue;
    }
    connection.frames.Feed(std::string_view(connection.buffer.data(), read), [&](MessageFrameReader::Frame frame) {
      if (frame.too_long) Post(Event{Event::Kind::kTooLong, id, {}, false, {}});
      else Post(Event{Event::Kind::kMessage, id, std::move(frame.payload), false, {}});
    });
    {
      // Too much of it waits: read on once the user-interface thread has handled half.
      const std::lock_guard lock(mutex_);
      const auto queued = queued_bytes_.find(id);
      if (queued != queued_bytes_.end() && queued->second >= kMaxQueuedBytesPerConnection) {
        paused_.insert(id);
        continue;
      }
    }
    if (!StartRead(connection)) close(id);
  }

  // What was said last (the program going) still reaches every browser
  // that takes it at once.
  const ULONGLONG final_deadline = GetTickCount64() + kFinalWriteTimeoutMs;
  while (write_answers() && GetTickCount64() < final_deadline) Sleep(kPollWritesMs);
  for (auto& [id, connection] : connections) StopRead(*connection);
  if (listening) {
    CancelIoEx(listening.Get(), &connect);
    DWORD ignored = 0;
    GetOverlappedResult(listening.Get(), &connect, &ignored, TRUE);
  }
}

}  // namespace quellix::win
