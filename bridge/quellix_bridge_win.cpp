// QuellixBridge.exe: the native messaging host that a browser starts for the
// extension (host name "quellix.popup_blocker"). It reads the extension's
// messages on standard input, checks each, and passes it to the running
// program over the session's pipe; the program's verdicts and answers come
// back the same way, and so does what the program tells unasked (its news),
// passed on only when well formed. It connects to the program as soon as it
// starts, and looks for it again every second while it is not there. It
// keeps no state of the decision: when the program is not running, or the
// pipe breaks (and asking the program again on a new connection fails or
// breaks too), it answers every request itself -- a new window "leave", so
// the window stays open; the others, that the program is not running -- and
// tells the browser that the program has gone.
//
// It talks only to the program installed in its own folder: whatever else
// serves the pipe's name (another program of the user's that took it first)
// gets nothing, and the host says why on its standard error, which the
// browser keeps in its log.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "core/browser_message.h"
#include "core/message_frames.h"
#include "platform/win/browser_pipe_win.h"
#include "platform/win/scoped_handle.h"

namespace quellix::bridge {
namespace {

using namespace browser_message;
using win::ScopedHandle;

constexpr DWORD kPipeWriteTimeoutMs = 5000;
constexpr DWORD kBusyPipeWaitMs = 1000;
// How often the program is looked for while it is not running: a failed open
// of a pipe name costs next to nothing.
constexpr DWORD kLookForProgramMs = 1000;

// What a request waits for: a verdict answers any (a request the program
// does not serve), the panel's answers only their own kind.
enum class RequestKind { kNewWindow, kState, kAllowSite, kPopupRule };

std::optional<std::pair<std::string, RequestKind>> RequestOf(const Message& message) {
  if (const auto* request = std::get_if<NewWindowRequest>(&message)) return {{request->id, RequestKind::kNewWindow}};
  if (const auto* query = std::get_if<StateQuery>(&message)) return {{query->id, RequestKind::kState}};
  if (const auto* allow = std::get_if<AllowSiteRequest>(&message)) return {{allow->id, RequestKind::kAllowSite}};
  if (const auto* rule = std::get_if<PopupRuleQuery>(&message)) return {{rule->id, RequestKind::kPopupRule}};
  return std::nullopt;
}

const std::string& IdOf(const Answer& answer) {
  static const std::string none;
  if (const auto* verdict = std::get_if<VerdictMessage>(&answer)) return verdict->id ? *verdict->id : none;
  if (const auto* state = std::get_if<StateAnswer>(&answer)) return state->id;
  if (const auto* rule = std::get_if<PopupRuleAnswer>(&answer)) return rule->id;
  return std::get<AllowSiteAnswer>(answer).id;
}

bool Answers(const Answer& answer, RequestKind kind) {
  if (std::holds_alternative<VerdictMessage>(answer)) return true;
  if (std::holds_alternative<StateAnswer>(answer)) return kind == RequestKind::kState;
  if (std::holds_alternative<PopupRuleAnswer>(answer)) return kind == RequestKind::kPopupRule;
  return kind == RequestKind::kAllowSite;
}

// The host's own answer while the program is not there.
Answer WithoutProgram(const std::string& id, RequestKind kind) {
  switch (kind) {
    case RequestKind::kState: {
      StateAnswer state;
      state.id = id;
      return state;
    }
    case RequestKind::kAllowSite: {
      AllowSiteAnswer allowed;
      allowed.id = id;
      return allowed;
    }
    case RequestKind::kPopupRule: {
      PopupRuleAnswer rule;
      rule.id = id;
      return rule;
    }
    case RequestKind::kNewWindow: break;
  }
  return VerdictMessage{id, Verdict::kLeave};
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// The program this host serves: the one in the host's own folder.
std::wstring ProgramBesideHost() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash + 1) + win::kProgramImageName;
}

// Why the server at the other end of `pipe` gets nothing from this host;
// empty when it is the program beside it.
std::string WhyNotTheProgram(HANDLE pipe) {
  // The owner first: a pipe of another user's is refused whatever it runs.
  const std::wstring owner = win::OwnerSidText(pipe);
  if (owner.empty()) return "the pipe closed before its owner could be read (the program may be serving all it can)";
  if (owner != win::UserSidText()) return "the pipe belongs to another user";
  const std::wstring server = win::PipePeerImagePath(pipe, false);
  if (server.empty()) return "the program serving the pipe cannot be identified";
  const std::wstring program = ProgramBesideHost();
  if (!win::SameFilePath(server, program))
    return "the pipe is served by " + Utf8(server) + ", not by " + Utf8(program);
  return {};
}

class Bridge {
 public:
  Bridge()
      : browser_out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        write_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  // Until the browser closes standard input. The program is looked for at
  // once and every second while it is not there, so whatever it says reaches
  // the browser without the extension having to ask first.
  void Run() {
    link_ = std::thread([this] { KeepLinked(); });
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    MessageFrameReader frames(kMaxMessageToHost);
    std::string buffer(64 * 1024, '\0');
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) || read == 0) break;
      frames.Feed(std::string_view(buffer.data(), read), [this](const MessageFrameReader::Frame& frame) {
        if (frame.too_long) {
          ToBrowser(Serialize(VerdictMessage{}));
        } else {
          FromBrowser(frame.payload);
        }
      });
      // What one read brought goes to the program in one write: a flood of
      // small messages costs the program one wake-up per read, not one each.
      SendBatch();
    }
    SetEvent(stop_.Get());
    link_.join();
  }

 private:
  void FromBrowser(const std::string& payload) {
    const Message message = Parse(payload);
    if (const auto* invalid = std::get_if<Invalid>(&message)) {
      ToBrowser(Serialize(VerdictMessage{invalid->id, Verdict::kLeave}));
      return;
    }
    const std::string canonical = Serialize(message);
    const auto request = RequestOf(message);
    if (canonical.size() > kMaxPipeMessage) {
      if (request) ToBrowser(Serialize(VerdictMessage{request->first, Verdict::kLeave}));
      return;
    }
    if (request) {
      std::string frame = FrameMessage(canonical);
      batch_ += frame;
      {
        const std::lock_guard lock(mutex_);
        in_flight_[request->first] = Waiting{request->second, std::move(frame), next_order_++};
      }
      batch_requests_.push_back(*request);
      return;
    }
    // A port that listens hears the news from every program it is linked to
    // from now on (each new link starts by saying so); a one-shot question
    // never asks, so its answer is the first thing it gets.
    if (std::holds_alternative<Listen>(message)) {
      SendBatch();
      listening_ = true;
      const std::lock_guard lock(pipe_mutex_);
      if (!pipe_) {
        ConnectLocked();
      } else if (!win::WriteAllOverlapped(pipe_.Get(), FrameMessage(canonical), write_event_.Get(),
                                          kPipeWriteTimeoutMs)) {
        CancelIoEx(pipe_.Get(), nullptr);
      }
      return;
    }
    batch_ += FrameMessage(canonical);  // status texts and closed tabs: lost with the program, harmlessly
  }

  // Sends what the browser said since the last batch, in order; the
  // requests in it are answered by the host when the program is not there.
  void SendBatch() {
    if (batch_.empty()) return;
    const bool sent = ToProgram(batch_);
    batch_.clear();
    if (!sent) {
      for (const auto& [id, kind] : batch_requests_) Pass(WithoutProgram(id, kind));
    }
    batch_requests_.clear();
  }

  // Sends framed messages to the program, connecting first when not
  // connected; false when the program is not there or the pipe broke.
  bool ToProgram(const std::string& frames) {
    const std::lock_guard lock(pipe_mutex_);
    if (!pipe_ && !ConnectLocked()) return false;
    if (win::WriteAllOverlapped(pipe_.Get(), frames, write_event_.Get(), kPipeWriteTimeoutMs)) return true;
    CancelIoEx(pipe_.Get(), nullptr);  // the reader ends the connection
    return false;
  }

  // With pipe_mutex_ held. A new connection wakes the link thread to read it.
  bool ConnectLocked() {
    const std::wstring name = win::BrowserPipeName();
    if (name.empty()) return false;
    ScopedHandle pipe;
    for (int attempt = 0; attempt < 2; ++attempt) {
      pipe.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
      if (pipe || GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(name.c_str(), kBusyPipeWaitMs)) break;
    }
    if (!pipe) return false;
    // Whoever got the name first would receive what the user browses and
    // could close any new tab: nothing is sent before the server is known.
    if (const std::string refusal = WhyNotTheProgram(pipe.Get()); !refusal.empty()) {
      Complain("QuellixBridge: not connecting to the program: " + refusal);
      return false;
    }
    if (listening_ && !win::WriteAllOverlapped(pipe.Get(), FrameMessage(Serialize(Message(Listen{}))),
                                               write_event_.Get(), kPipeWriteTimeoutMs))
      return false;
    pipe_ = std::move(pipe);
    SetEvent(wake_.Get());
    return true;
  }

  // On the link thread: connects, reads what the program sends until the
  // pipe breaks, tells the browser the program has gone, and starts over.
  void KeepLinked() {
    for (;;) {
      HANDLE pipe = nullptr;
      {
        const std::lock_guard lock(pipe_mutex_);
        if (!pipe_) ConnectLocked();
        pipe = pipe_.Get();
      }
      if (pipe == nullptr) {
        const HANDLE waits[] = {stop_.Get(), wake_.Get()};
        if (WaitForMultipleObjects(2, waits, FALSE, kLookForProgramMs) == WAIT_OBJECT_0) return;
        continue;
      }
      ReadProgram(pipe);
      {
        // Writers hold the lock while they use the handle.
        const std::lock_guard lock(pipe_mutex_);
        pipe_.Reset();
      }
      if (!said_gone_ && AskAgain()) continue;
      ProgramGone();
      if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) return;
    }
  }

  // The program's answers and news, checked, to the browser.
  void ReadProgram(HANDLE pipe) {
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    MessageFrameReader frames(kMaxMessageFromHost);
    std::string buffer(16 * 1024, '\0');
    said_gone_ = false;
    for (;;) {
      const DWORD read =
          win::ReadSomeOverlapped(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), event.Get(), stop_.Get());
      if (read == 0) break;
      // What one read brought reaches the browser in one write.
      std::string to_browser;
      frames.Feed(std::string_view(buffer.data(), read), [&](const MessageFrameReader::Frame& frame) {
        if (frame.too_long) return;
        if (const std::optional<Answer> answer = ParseAnswer(frame.payload)) {
          if (Expected(*answer)) to_browser += FrameMessage(Serialize(*answer));
        } else if (const std::optional<News> news = ParseNews(frame.payload)) {
          said_gone_ = said_gone_ || std::holds_alternative<ProgramGoneNews>(*news);
          if (listening_) to_browser += FrameMessage(Serialize(*news));
        }
      });
      WriteToBrowser(to_browser);
    }
  }

  // One answer per request: an answer for a request not (or no longer)
  // waiting, or not of its kind, is not passed on.
  bool Expected(const Answer& answer) {
    const std::lock_guard lock(mutex_);
    const auto waiting = in_flight_.find(IdOf(answer));
    if (waiting == in_flight_.end() || !Answers(answer, waiting->second.kind)) return false;
    in_flight_.erase(waiting);
    return true;
  }
  void Pass(const Answer& answer) {
    if (Expected(answer)) ToBrowser(Serialize(answer));
  }

  // The connection ended without the program saying it is going: the
  // program ended this one (its answers waited too long, as when the
  // browser stops reading this host). What it had not answered is asked
  // again, once, in the order asked, on a new connection; the program
  // answers what it had decided from memory. False when there is nothing to
  // ask again or no program to ask.
  bool AskAgain() {
    std::vector<std::pair<std::uint64_t, std::string>> again;
    {
      const std::lock_guard lock(mutex_);
      for (auto& [id, waiting] : in_flight_) {
        if (waiting.asked_again) continue;
        waiting.asked_again = true;
        again.emplace_back(waiting.order, waiting.frame);
      }
    }
    if (again.empty()) return false;
    std::sort(again.begin(), again.end());
    std::string frames;
    for (const auto& [order, frame] : again) frames += frame;
    return ToProgram(frames);
  }

  // Whatever the program had not answered is left alone, and the browser
  // hears that it has gone (once, if the program said so itself).
  void ProgramGone() {
    std::map<std::string, Waiting> left;
    {
      const std::lock_guard lock(mutex_);
      left.swap(in_flight_);
    }
    for (const auto& [id, waiting] : left) ToBrowser(Serialize(WithoutProgram(id, waiting.kind)));
    if (!said_gone_ && listening_) ToBrowser(Serialize(News(ProgramGoneNews{})));
  }

  // To standard error, once for each new reason rather than at every
  // request that finds the pipe the same.
  void Complain(const std::string& text) {
    if (text == last_complaint_) return;
    last_complaint_ = text;
    const std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  void ToBrowser(const std::string& message) { WriteToBrowser(FrameMessage(message)); }
  // Framed messages. A browser that stops reading holds this (and whatever
  // waits to write) until it reads again or closes the host.
  void WriteToBrowser(const std::string& frames) {
    if (frames.empty()) return;
    const std::lock_guard lock(output_mutex_);
    DWORD written = 0;
    WriteFile(browser_out_, frames.data(), static_cast<DWORD>(frames.size()), &written, nullptr);
  }

  HANDLE browser_out_;
  ScopedHandle stop_;         // set: the browser has gone, the link thread ends
  ScopedHandle wake_;         // set: a connection was made for the link thread to read
  std::mutex pipe_mutex_;     // the pipe's handle and every write to it
  ScopedHandle pipe_;
  ScopedHandle write_event_;
  std::thread link_;
  bool said_gone_ = false;    // the link thread's own: the program said it is going
  std::atomic<bool> listening_{false};  // the browser's port asked for the news
  // A request the program has not answered yet: its message as sent, and
  // its place among the browser's.
  struct Waiting {
    RequestKind kind;
    std::string frame;
    std::uint64_t order = 0;
    bool asked_again = false;
  };
  std::mutex mutex_;
  std::map<std::string, Waiting> in_flight_;
  std::uint64_t next_order_ = 0;
  std::mutex output_mutex_;
  std::string last_complaint_;
  // The reading thread's own: framed messages for the program, and the requests among them.
  std::string batch_;
  std::vector<std::pair<std::string, RequestKind>> batch_requests_;
};

}  // namespace
}  // namespace quellix::bridge

int wmain() {
  quellix::bridge::Bridge bridge;
  bridge.Run();
  return 0;
}
