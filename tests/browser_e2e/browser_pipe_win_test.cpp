// The browsers' pipe under Wine with hostile input: the real QuellixBridge.exe
// fed bytes that are not JSON, of the wrong shape or too long, and another
// program of the user's on the pipe itself. Every such message gets its
// defined answer (the window is left alone), nothing is decided for it, and
// the program's end goes on serving the host afterwards. A pipe name that
// another program took first is found by the program, and the host gives
// that program nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/browser_message.h"
#include "core/message_frames.h"
#include "adapters/win/browser_pipe_server_win.h"
#include "platform/win/browser_pipe_win.h"
#include "tests/scripted_com_browser/pumping_popup_host.h"

namespace quellix {
namespace {

using namespace browser_message;
using win::ScopedHandle;

// Switches as the program would read them (blocking on, no setup mode, unless
// a test sets them otherwise); the block sound, when switched on, takes a second, as a long wave file would
// (Wine here has no sound device): played, it holds its caller that long;
// started, it plays on by itself, and a start while it plays is dropped.
class BlockingHost : public PopupHost {
 public:
  static constexpr ULONGLONG kSoundMs = 1000;

  PopupOptions ReadOptions() override { return options; }
  PopupOptions options{.chkStopPop = true};
  void ProcessPendingMessagesOnce() override {}
  bool WaitForMessage() override { return false; }
  void PlayBlockSound() override { Sleep(kSoundMs); }
  void StartBlockSound() override {
    const ULONGLONG now = GetTickCount64();
    if (now < sound_ends) return;
    sound_ends = now + kSoundMs;
    if (first_sound_ends == 0) first_sound_ends = sound_ends;
  }
  void AllowNextChanged() override {}
  bool ShowSetupPrompt() override { return false; }

  ULONGLONG sound_ends = 0;
  ULONGLONG first_sound_ends = 0;
};

// Handles this thread's messages (the server's hand-over) until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

// Collects the frames that arrive on a handle, on a thread of its own: the
// answers apart from the news told unasked.
class FrameCollector {
 public:
  FrameCollector(HANDLE source, bool overlapped) : thread_([this, source, overlapped] { Run(source, overlapped); }) {}
  ~FrameCollector() { Finish(); }
  // Waits for the end of the stream.
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }
  std::vector<std::string> Frames() { return Kept(false); }
  std::vector<std::string> News() { return Kept(true); }
  std::size_t Count() { return Frames().size(); }
  // When the last answer arrived (GetTickCount64).
  ULONGLONG LastAnswerTime() {
    const std::lock_guard lock(mutex_);
    return last_answer_time_;
  }

 private:
  std::vector<std::string> Kept(bool news) {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> kept;
    for (const std::string& frame : frames_)
      if (ParseNews(frame).has_value() == news) kept.push_back(frame);
    return kept;
  }
  void Run(HANDLE source, bool overlapped) {
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    MessageFrameReader reader(kMaxMessageFromHost);
    char buffer[4096];
    for (;;) {
      DWORD read = 0;
      if (overlapped) {
        read = win::ReadSomeOverlapped(source, buffer, sizeof buffer, event.Get());
      } else if (!ReadFile(source, buffer, sizeof buffer, &read, nullptr)) {
        read = 0;
      }
      if (read == 0) return;
      reader.Feed(std::string_view(buffer, read), [this](const MessageFrameReader::Frame& frame) {
        const std::lock_guard lock(mutex_);
        frames_.push_back(frame.too_long ? "<too long>" : frame.payload);
        if (!ParseNews(frames_.back())) last_answer_time_ = GetTickCount64();
      });
    }
  }
  std::mutex mutex_;
  std::vector<std::string> frames_;
  ULONGLONG last_answer_time_ = 0;
  std::thread thread_;
};

// QuellixBridge.exe as a browser starts it: its standard input and output
// are ours, and so is its standard error when `keep_errors`. By default the
// copy beside this test, which plays the program.
class BridgeProcess {
 public:
  explicit BridgeProcess(const wchar_t* exe = QUELLIX_BRIDGE_EXE, bool keep_errors = false) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE child_in = nullptr;
    HANDLE child_out = nullptr;
    HANDLE child_errors = GetStdHandle(STD_ERROR_HANDLE);
    CreatePipe(&child_in, to_bridge_.Put(), &inherit, 1 << 16);
    CreatePipe(from_bridge_.Put(), &child_out, &inherit, 1 << 16);
    SetHandleInformation(to_bridge_.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(from_bridge_.Get(), HANDLE_FLAG_INHERIT, 0);
    if (keep_errors) {
      CreatePipe(errors_from_bridge_.Put(), &child_errors, &inherit, 1 << 16);
      SetHandleInformation(errors_from_bridge_.Get(), HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in;
    startup.hStdOutput = child_out;
    startup.hStdError = child_errors;
    std::wstring command = L"\"" + std::wstring(exe) + L"\" chrome-extension://test/";
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
      CloseHandle(info.hThread);
      process_.Reset(info.hProcess);
    }
    CloseHandle(child_in);
    CloseHandle(child_out);
    if (keep_errors) CloseHandle(child_errors);
    output_ = std::make_unique<FrameCollector>(from_bridge_.Get(), false);
  }
  // All the host wrote to its standard error, once it has ended.
  std::string Errors() {
    std::string text;
    char buffer[1024];
    DWORD read = 0;
    while (errors_from_bridge_ && ReadFile(errors_from_bridge_.Get(), buffer, sizeof buffer, &read, nullptr) &&
           read > 0) {
      text.append(buffer, read);
    }
    return text;
  }
  ~BridgeProcess() {
    End();
    output_.reset();
  }
  // The browser closes the port: the host ends, and all it said is collected.
  void End() {
    to_bridge_.Reset();
    if (process_ && WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process_.Get(), 1);
    output_->Finish();
  }

  bool Started() const { return process_.IsValid(); }
  void Write(std::string_view bytes) {
    DWORD written = 0;
    WriteFile(to_bridge_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  void Send(std::string_view message) { Write(FrameMessage(message)); }
  FrameCollector& Output() { return *output_; }
  bool Exited(DWORD ms) { return WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0; }

 private:
  ScopedHandle to_bridge_;
  ScopedHandle from_bridge_;
  ScopedHandle errors_from_bridge_;
  ScopedHandle process_;
  std::unique_ptr<FrameCollector> output_;
};

std::string Ask(const std::string& id) { return Serialize(NewWindowRequest{id, 4, "http://popper.example/"}); }
std::string Said(std::optional<std::string> id, Verdict verdict) {
  return Serialize(VerdictMessage{std::move(id), verdict});
}

class BrowserPipe : public ::testing::Test {
 protected:
  ProgramState state;
  BlockingHost host;
};

TEST_F(BrowserPipe, TheHostAnswersBadMessagesItselfAndTheProgramKeepsDeciding) {
  win::BrowserPipeServer server(state, host);
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());

  bridge.Send(Ask("first"));
  bridge.Send("not json");
  bridge.Send("{\"type\":\"newWindow\",\"id\":\"shape\",\"tab\":\"4\"}");
  bridge.Send(std::string(300, '['));
  // Over the 64 MiB a browser may send: skipped as it streams past.
  const std::uint32_t too_long = kMaxMessageToHost + 1;
  bridge.Write(std::string(reinterpret_cast<const char*>(&too_long), 4));
  const std::string chunk(1 << 20, 'x');
  for (std::uint32_t left = too_long; left > 0;) {
    const std::uint32_t n = std::min<std::uint32_t>(left, static_cast<std::uint32_t>(chunk.size()));
    bridge.Write(std::string_view(chunk).substr(0, n));
    left -= n;
  }
  bridge.Send(Ask("last"));

  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 6; }, 60000)) << bridge.Output().Count();
  const std::vector<std::string> answers = bridge.Output().Frames();
  // The host's own answers come at once; the program's once it has decided.
  for (const std::string& expected : {Said(std::nullopt, Verdict::kLeave), Said("shape", Verdict::kLeave),
                                      Said("first", Verdict::kBlock), Said("last", Verdict::kBlock)}) {
    EXPECT_NE(std::find(answers.begin(), answers.end(), expected), answers.end()) << expected;
  }
  EXPECT_EQ(std::count(answers.begin(), answers.end(), Said(std::nullopt, Verdict::kLeave)), 3);
  EXPECT_EQ(state.intStopped, 2);
}

TEST_F(BrowserPipe, TheOrganisationsSitesAreDecidedFirstForBrowserTabsToo) {
  state.strPolicyBlocked.Assign("popper.example\r\n");
  state.strPolicyAllowed.Assign("portal.example\r\n");
  win::BrowserPipeServer server(state, host);
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());
  host.options.chkStopPop = false;  // blocking off: the organisation's blocked site still is
  bridge.Send(Ask("blocked"));
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 1; }, 20000));
  host.options.chkStopPop = true;
  bridge.Send(Serialize(NewWindowRequest{"allowed", 4, "https://portal.example/news"}));
  bridge.Send(Serialize(NewWindowRequest{"other", 4, "https://other.example/"}));
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 3; }, 20000));
  EXPECT_EQ(bridge.Output().Frames(), (std::vector<std::string>{Said("blocked", Verdict::kBlock),
                                                                Said("allowed", Verdict::kLeave),
                                                                Said("other", Verdict::kBlock)}));
  EXPECT_EQ(state.intStopped, 2);
}

// Setup mode with the program's own message loop: each prompt is answered
// from another thread, as the user's click arrives, by a message to a window
// of this thread. Each answer must reach the browser by itself, whatever the
// browser says while the prompt waits, without a further message to wake the
// program.
TEST_F(BrowserPipe, EachAnsweredPromptIsDecidedAtOnce) {
  testing::PumpingPopupHost prompting;
  prompting.options.chkAuto = true;
  std::atomic<int> prompts{0};
  constexpr UINT kBlockNow = WM_APP + 7;
  WNDCLASSEXW answer_class{};
  answer_class.cbSize = sizeof answer_class;
  answer_class.lpszClassName = L"Quellix.PipeTestPrompt";
  answer_class.hInstance = GetModuleHandleW(nullptr);
  answer_class.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (message != kBlockNow) return DefWindowProcW(window, message, wparam, lparam);
    auto* answered = reinterpret_cast<ProgramState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    ShowWindow(window, SW_HIDE);
    answered->boolAllowSite = false;
    answered->boolAnswered = true;
    return 0;
  };
  RegisterClassExW(&answer_class);
  std::atomic<HWND> prompt_window{nullptr};
  prompting.on_prompt = [&] {
    // As the program's prompt: the last one destroyed, a new one shown on top.
    if (HWND open = prompt_window.load(); open != nullptr && IsWindowVisible(open)) {
      ++prompts;
      return true;  // still open: only shown again
    }
    if (HWND old = prompt_window.exchange(nullptr)) DestroyWindow(old);
    HWND made = CreateWindowExW(WS_EX_TOPMOST, answer_class.lpszClassName, L"Popup Detected!", WS_OVERLAPPEDWINDOW,
                                100, 100, 400, 200, nullptr, nullptr, answer_class.hInstance, nullptr);
    SetWindowLongPtrW(made, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    HWND button = CreateWindowExW(0, L"BUTTON", L"Block Now", WS_CHILD | WS_VISIBLE, 10, 10, 100, 30, made, nullptr,
                                  answer_class.hInstance, nullptr);
    ShowWindow(made, SW_SHOW);
    SetFocus(button);
    prompt_window = made;
    ++prompts;
    return true;
  };

  win::BrowserPipeServer server(state, prompting);
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());

  std::vector<std::string> late;  // answers that were acted on only after a further message
  std::thread user([&] {
    auto wait_prompts = [&](int n) {
      const ULONGLONG deadline = GetTickCount64() + 20000;
      while (prompts < n && GetTickCount64() < deadline) Sleep(10);
    };
    auto block_now = [&](std::size_t verdicts, const std::string& name) {
      Sleep(200);
      PostMessageW(prompt_window, kBlockNow, 0, 0);
      const ULONGLONG due = GetTickCount64() + 3000;
      while (bridge.Output().Count() < verdicts && GetTickCount64() < due) Sleep(10);
      if (bridge.Output().Count() < verdicts) {
        late.push_back(name);
        PostMessageW(prompt_window, WM_NULL, 0, 0);
      }
    };
    const std::string names[] = {"ask1", "ask2", "ask3", "ask4"};
    // Three prompts in a row, the user clicking in each new tab before answering.
    for (int i = 1; i <= 3; ++i) {
      wait_prompts(i);
      bridge.Send(Serialize(StatusText{4, ""}));
      block_now(static_cast<std::size_t>(i), names[i - 1]);
      bridge.Send(Ask(names[i]));
    }
    // Another window while the prompt waits: asked inside the first's wait, one answer ends both.
    wait_prompts(4);
    bridge.Send(Ask("ask5"));
    wait_prompts(5);
    block_now(5, "ask4 and ask5");
  });
  bridge.Send(Ask("ask1"));
  const bool all = PumpUntil([&] { return bridge.Output().Count() >= 5; }, 60000);
  user.join();
  EXPECT_TRUE(all) << bridge.Output().Count();
  EXPECT_EQ(late, std::vector<std::string>{});
  EXPECT_EQ(bridge.Output().Frames(),
            (std::vector<std::string>{Said("ask1", Verdict::kBlock), Said("ask2", Verdict::kBlock),
                                      Said("ask3", Verdict::kBlock), Said("ask5", Verdict::kBlock),
                                      Said("ask4", Verdict::kBlock)}));
  EXPECT_EQ(state.intStopped, 5);
  EXPECT_EQ(prompts, 5);
  DestroyWindow(prompt_window);
}

TEST_F(BrowserPipe, BlocksInARowAllGoBackBeforeTheFirstBlockSoundEndsAndTheEndIsToldOnce) {
  host.options.chkSound = true;
  std::optional<win::BrowserPipeServer> server(std::in_place, state, host);
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());
  // Each asked once the one before is answered, as one page's pop-ups come;
  // the news only once the port listens (after the first).
  const std::vector<std::string> ids{"one", "two", "three", "four"};
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i == 1) bridge.Send(Serialize(Message(Listen{})));
    bridge.Send(Ask(ids[i]));
    ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() > i; }, 20000)) << ids[i];
  }
  std::vector<std::string> expected;
  expected.reserve(ids.size());
  for (const std::string& id : ids) expected.push_back(Said(id, Verdict::kBlock));
  EXPECT_EQ(bridge.Output().Frames(), expected);
  ASSERT_NE(host.first_sound_ends, 0u);
  EXPECT_LT(bridge.Output().LastAnswerTime(), host.first_sound_ends);
  EXPECT_EQ(state.intStopped, 4);

  // Told the switches and the flag when it listened (never before), and once that the program went.
  server.reset();
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().News().size() >= 3; }, 10000));
  Sleep(300);
  bridge.End();
  EXPECT_EQ(bridge.Output().News(),
            (std::vector<std::string>{Serialize(News(SwitchesNews{true, false, false})),
                                      Serialize(News(AllowNextNews{false})), Serialize(News(ProgramGoneNews{}))}));
}

// The program's end of the pipe as this test plays it, to say what the
// program never would.
class ProgramEnd {
 public:
  ProgramEnd() {
    std::optional<win::PipeSecurity> security = win::PipeSecurity::ForSession();
    if (!security) return;
    pipe_.Reset(CreateNamedPipeW(win::BrowserPipeName().c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 1 << 16, 1 << 16, 0,
                                 security->Attributes()));
  }
  // Waits for the host to connect by itself.
  bool AwaitHost(DWORD ms) {
    OVERLAPPED connect{};
    connect.hEvent = event_.Get();
    if (ConnectNamedPipe(pipe_.Get(), &connect) || GetLastError() == ERROR_PIPE_CONNECTED) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(event_.Get(), ms) == WAIT_OBJECT_0) return true;
    CancelIoEx(pipe_.Get(), &connect);
    DWORD ignored = 0;
    GetOverlappedResult(pipe_.Get(), &connect, &ignored, TRUE);
    return false;
  }
  bool Say(std::string_view payload) {
    return win::WriteAllOverlapped(pipe_.Get(), FrameMessage(payload), event_.Get(), 5000);
  }
  void Leave() { pipe_.Reset(); }

 private:
  ScopedHandle pipe_;
  ScopedHandle event_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(BrowserPipe, TheHostFindsAProgramStartedLaterAndPassesOnOnlyWellFormedNews) {
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());
  bridge.Send(Serialize(Message(Listen{})));
  Sleep(300);  // the host has looked for the program and not found it
  const std::string switches = Serialize(News(SwitchesNews{true, false, true}));
  const std::string lists = Serialize(News(ListsChangedNews{}));
  const std::string gone = Serialize(News(ProgramGoneNews{}));
  {
    ProgramEnd program;
    ASSERT_TRUE(program.AwaitHost(5000));  // with nothing asked of the host
    for (const std::string& said :
         {switches, std::string("{\"type\":\"switches\",\"blocking\":true}"),
          std::string("{\"type\":\"allowNext\",\"set\":true,\"tab\":1}"), std::string("{\"type\":\"allowNext\"}"),
          std::string("{\"type\":\"listsChanged\",\"id\":\"x\"}"), Said("nobody", Verdict::kBlock),
          std::string("\xFF not json"), lists})
      ASSERT_TRUE(program.Say(said));
    ASSERT_TRUE(PumpUntil([&] { return bridge.Output().News().size() >= 2; }, 10000));
    program.Leave();  // ends without a word: the host says it has gone
    ASSERT_TRUE(PumpUntil([&] { return bridge.Output().News().size() >= 3; }, 10000));
  }
  {
    // Found again; this time the program says it is going, and the host
    // does not say it twice.
    ProgramEnd program;
    ASSERT_TRUE(program.AwaitHost(5000));
    ASSERT_TRUE(program.Say(gone));
    ASSERT_TRUE(PumpUntil([&] { return bridge.Output().News().size() >= 4; }, 10000));
    program.Leave();
    Sleep(300);
  }
  bridge.End();
  EXPECT_EQ(bridge.Output().News(), (std::vector<std::string>{switches, lists, gone, gone}));
  EXPECT_TRUE(bridge.Output().Frames().empty());  // the verdict for nobody's request went nowhere
}

TEST_F(BrowserPipe, AnotherProgramOnThePipeIsAnsweredButNeverDecidedFor) {
  win::BrowserPipeServer server(state, host);
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  ScopedHandle pipe(CreateFileW(win::BrowserPipeName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  ASSERT_TRUE(pipe.IsValid()) << GetLastError();
  EXPECT_EQ(win::OwnerSidText(pipe.Get()), win::UserSidText());
  FrameCollector answers(pipe.Get(), true);
  // However the test ends, the collector's read is cancelled before it is joined.
  struct CancelReads {
    HANDLE pipe;
    ~CancelReads() { CancelIoEx(pipe, nullptr); }
  } cancel_reads{pipe.Get()};
  ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  auto send = [&](std::string_view bytes) { return win::WriteAllOverlapped(pipe.Get(), bytes, event.Get(), 30000); };

  ASSERT_TRUE(send(FrameMessage(Ask("stranger"))));
  ASSERT_TRUE(send(FrameMessage("\xFF\xFE garbage")));
  // A frame over the pipe's limit, streamed past.
  const std::uint32_t too_long = kMaxPipeMessage + 1;
  ASSERT_TRUE(send(std::string(reinterpret_cast<const char*>(&too_long), 4) + std::string(too_long, 'y')));
  ASSERT_TRUE(send(FrameMessage(Serialize(StatusText{4, "http://link.example/"}))));
  ASSERT_TRUE(PumpUntil([&] { return answers.Count() >= 3; }, 30000));
  EXPECT_EQ(answers.Frames(), (std::vector<std::string>{Said("stranger", Verdict::kLeave),
                                                        Said(std::nullopt, Verdict::kLeave),
                                                        Said(std::nullopt, Verdict::kLeave)}));
  EXPECT_EQ(state.intStopped, 0);
  EXPECT_EQ(state.strStatusText, "");
}

TEST_F(BrowserPipe, WithoutTheProgramTheHostLeavesEveryWindowAlone) {
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());
  bridge.Send(Ask("a"));
  bridge.Send(Serialize(StatusText{4, "http://link.example/"}));
  bridge.Send(Ask("b"));
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 2; }, 20000));
  EXPECT_EQ(bridge.Output().Frames(),
            (std::vector<std::string>{Said("a", Verdict::kLeave), Said("b", Verdict::kLeave)}));
}

// Lets messages run when a block asks it to, as the main window does, and
// notes how deep those runs nest; Exceptions on, so a tab's link counts.
class PumpingHost : public BlockingHost {
 public:
  PopupOptions ReadOptions() override { return {.chkStopPop = true, .chkLinks = true}; }
  void ProcessPendingMessagesOnce() override {
    deepest = std::max(deepest, ++depth);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    --depth;
  }
  int depth = 0;
  int deepest = 0;
};

TEST_F(BrowserPipe, ABurstIsAnsweredOnceWithBoundedNestingThoughWakeUpsFail) {
  PumpingHost pumping;
  // Every wake-up fails for a while now and then, as in a thread whose
  // message queue is full.
  int wake_ups = 0;
  int failed = 0;
  int fail_next = 0;
  win::BrowserPipeServer server(state, pumping, nullptr, [&](HWND window, UINT message) {
    if (++wake_ups % 50 < 5 || fail_next-- > 0) return ++failed, false;
    return PostMessageW(window, message, 0, 0) != FALSE;
  });
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  BridgeProcess bridge;
  ASSERT_TRUE(bridge.Started());

  // Each request follows texts of its opener's: the last before it is the
  // link it came from for every third, and a long one for the others.
  constexpr int kRequests = 500;
  std::string burst;
  std::vector<std::string> expected;
  for (int i = 0; i < kRequests; ++i) {
    const std::string link = "http://link.example/" + std::to_string(i);
    burst += FrameMessage(Serialize(StatusText{4, "http://other.example/"}));
    burst += FrameMessage(Serialize(StatusText{4, i % 3 == 0 ? link : link + std::string(20000, 'z')}));
    const std::string id = "r" + std::to_string(i);
    burst += FrameMessage(Serialize(NewWindowRequest{id, 4, "http://popper.example/", link}));
    expected.push_back(Said(id, i % 3 == 0 ? Verdict::kLeave : Verdict::kBlock));
  }
  bridge.Write(burst);
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= kRequests; }, 60000)) << bridge.Output().Count();
  PumpUntil([] { return false; }, 300);  // nothing more comes
  std::vector<std::string> answers = bridge.Output().Frames();
  std::sort(answers.begin(), answers.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(answers, expected);
  EXPECT_EQ(state.intStopped, kRequests - (kRequests + 2) / 3);
  EXPECT_GT(failed, 0);
  EXPECT_LE(pumping.deepest, 4);

  // A lone request whose wake-up fails three times is still answered.
  fail_next = 3;
  wake_ups = 0;
  bridge.Send(Ask("lone"));
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() > kRequests; }, 10000));
  EXPECT_EQ(bridge.Output().Frames().back(), Said("lone", Verdict::kBlock));
}

TEST_F(BrowserPipe, AClientOverTheConnectionLimitIsRefusedAtOnceAndItsHostLeavesEverything) {
  win::BrowserPipeServer server(state, host);
  ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << "the server is not listening";
  // As many connections as the program serves, each seen served: its question answered.
  constexpr int kServed = MAXIMUM_WAIT_OBJECTS - 3;
  std::vector<ScopedHandle> clients;
  for (int i = 0; i < kServed; ++i) {
    ASSERT_TRUE(WaitNamedPipeW(win::BrowserPipeName().c_str(), 5000)) << i;
    clients.emplace_back(CreateFileW(win::BrowserPipeName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(clients.back().IsValid()) << i << " " << GetLastError();
    const std::string frame = FrameMessage(Ask("client" + std::to_string(i)));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(clients.back().Get(), frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr));
  }
  auto waiting_bytes = [](HANDLE pipe) {
    DWORD waiting = 0;
    PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr);
    return waiting;
  };
  ASSERT_TRUE(PumpUntil(
      [&] { return std::all_of(clients.begin(), clients.end(), [&](auto& c) { return waiting_bytes(c.Get()) > 0; }); },
      30000));

  // One more: its host hears at once that there is no program for it.
  {
    BridgeProcess bridge;
    ASSERT_TRUE(bridge.Started());
    bridge.Send(Ask("over"));
    bridge.Send(Ask("over again"));
    ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 2; }, 15000)) << bridge.Output().Count();
    EXPECT_EQ(bridge.Output().Frames(),
              (std::vector<std::string>{Said("over", Verdict::kLeave), Said("over again", Verdict::kLeave)}));
  }
  EXPECT_EQ(state.intStopped, 0);

  // Once one has gone, a host is served again.
  clients.pop_back();
  PumpUntil([] { return false; }, 500);  // the program sees it go
  BridgeProcess bridge;
  bridge.Send(Ask("room"));
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 1; }, 15000));
  EXPECT_EQ(bridge.Output().Frames(), std::vector<std::string>{Said("room", Verdict::kBlock)});
}

// An instance of the browsers' pipe that this test serves, as another
// program of the user's could before the program starts.
ScopedHandle ServeThePipesName() {
  std::optional<win::PipeSecurity> security = win::PipeSecurity::ForSession();
  if (!security) return {};
  return ScopedHandle(CreateNamedPipeW(win::BrowserPipeName().c_str(), PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, security->Attributes()));
}

TEST_F(BrowserPipe, ANameTakenFirstIsFoundAndTheHostGivesItsServerNothing) {
  // Two instances: one for the program's look, one for the host's.
  const ScopedHandle taken[] = {ServeThePipesName(), ServeThePipesName()};
  ASSERT_TRUE(taken[0].IsValid() && taken[1].IsValid());
  {
    const win::BrowserPipeServer server(state, host);
    EXPECT_TRUE(server.NameTaken());
  }

  // The host installed beside the real program: this test is a program of the
  // same name and user, but not that one.
  BridgeProcess bridge(QUELLIX_INSTALLED_BRIDGE_EXE, true);
  ASSERT_TRUE(bridge.Started());
  bridge.Send(Ask("squatted"));
  bridge.Send(Serialize(StatusText{4, "http://secret.example/"}));
  bridge.Send(Ask("again"));
  ASSERT_TRUE(PumpUntil([&] { return bridge.Output().Count() >= 2; }, 20000));
  EXPECT_EQ(bridge.Output().Frames(),
            (std::vector<std::string>{Said("squatted", Verdict::kLeave), Said("again", Verdict::kLeave)}));
  bridge.End();
  const std::string errors = bridge.Errors();
  EXPECT_NE(errors.find("not connecting to the program: the pipe is served by "), std::string::npos) << errors;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;  // said once
  // Nothing reached either instance: a pipe whose client has gone is broken
  // only once it is empty.
  for (const ScopedHandle& instance : taken) {
    DWORD waiting = 0;
    const bool peeked = PeekNamedPipe(instance.Get(), nullptr, 0, nullptr, &waiting, nullptr);
    EXPECT_TRUE(peeked ? waiting == 0 : GetLastError() == ERROR_BROKEN_PIPE) << waiting;
  }
}

}  // namespace
}  // namespace quellix
