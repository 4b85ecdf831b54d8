#include "adapters/win/browser_pipe_server_win.h"

#include <cstdint>
#include <map>
#include <memory>
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
// An answer the other end does not take within this time ends the connection.
constexpr DWORD kWriteTimeoutMs = 5000;
// At the program's end a host that does not take its last message at once is not waited for.
constexpr DWORD kFinalWriteTimeoutMs = 200;
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
  ScopedHandle pipe;
  ScopedHandle read_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  ScopedHandle write_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED read{};
  bool reading = false;
  std::vector<char> buffer = std::vector<char>(kPipeBufferBytes);
  MessageFrameReader frames{kMaxPipeMessage};
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
        inbox_[waiting->second - inbox_start_].payload = std::move(event.payload);
        return;
      }
      waiting_status_[key] = inbox_start_ + inbox_.size();
    } else if (event.kind == Event::Kind::kDisconnected) {
      waiting_status_.erase(waiting_status_.lower_bound({event.connection, INT64_MIN}),
                            waiting_status_.upper_bound({event.connection, INT64_MAX}));
    }
    inbox_.push_back(std::move(event));
  }
  WakeUserInterface();
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
  for (;;) {
    Event event;
    {
      const std::lock_guard lock(mutex_);
      if (inbox_.empty()) return;
      event = std::move(inbox_.front());
      inbox_.pop_front();
      ++inbox_start_;
      if (event.status_tab) {
        const auto waiting = waiting_status_.find({event.connection, *event.status_tab});
        if (waiting != waiting_status_.end() && waiting->second < inbox_start_) waiting_status_.erase(waiting);
      }
    }
    // A decision may let messages run (blocking, or waiting for the prompt):
    // what is queued behind it is then handled one level up, each in turn.
    WakeUserInterface();
    switch (event.kind) {
      case Event::Kind::kConnected: tabs_.Connected(event.connection, event.from_host); break;
      case Event::Kind::kMessage: tabs_.Received(event.connection, event.payload); break;
      case Event::Kind::kTooLong: tabs_.ReceivedTooLong(event.connection); break;
      case Event::Kind::kDisconnected: tabs_.Disconnected(event.connection); break;
    }
  }
}

void BrowserPipeServer::Send(BrowserTabs::ConnectionId connection, const std::string& message) {
  {
    const std::lock_guard lock(mutex_);
    outbox_.emplace_back(connection, FrameMessage(message));
  }
  SetEvent(wake_.Get());
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
    StopRead(*found->second);
    connections.erase(found);
    Post(Event{Event::Kind::kDisconnected, id, {}, false, {}});
  };
  auto write_outbox = [&](DWORD timeout_ms) {
    std::deque<std::pair<BrowserTabs::ConnectionId, std::string>> answers;
    {
      const std::lock_guard lock(mutex_);
      answers.swap(outbox_);
    }
    for (const auto& [id, frame] : answers) {
      const auto found = connections.find(id);
      if (found == connections.end()) continue;  // gone: the answer is dropped
      if (!WriteAllOverlapped(found->second->pipe.Get(), frame, found->second->write_event.Get(), timeout_ms))
        close(id);
    }
  };
  listen();

  for (;;) {
    std::vector<HANDLE> waits{stop_.Get(), wake_.Get()};
    std::vector<BrowserTabs::ConnectionId> order;
    const bool can_accept = static_cast<bool>(listening);
    if (can_accept) waits.push_back(connect_event.Get());
    for (const auto& [id, connection] : connections) {
      waits.push_back(connection->read_event.Get());
      order.push_back(id);
    }
    // Without a listening instance (creating one failed), try again each
    // second; a wake-up that failed, sooner.
    const bool retry_wake_up = wake_up_failed_.load();
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                                              retry_wake_up ? kRetryWakeUpMs
                                              : listening   ? INFINITE
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

    if (woke == WAIT_OBJECT_0 + 1) {
      write_outbox(kWriteTimeoutMs);
      continue;
    }

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
    if (!StartRead(connection)) close(id);
  }

  // What was said last (the program going) still reaches every browser
  // that takes it at once.
  write_outbox(kFinalWriteTimeoutMs);
  for (auto& [id, connection] : connections) StopRead(*connection);
  if (listening) {
    CancelIoEx(listening.Get(), &connect);
    DWORD ignored = 0;
    GetOverlappedResult(listening.Get(), &connect, &ignored, TRUE);
  }
}

}  // namespace quellix::win
