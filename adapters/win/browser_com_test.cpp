// The COM browser side under Wine: the event sinks' decoding of hand-made
// DISPPARAMS, and the window tracker running on the scripted COM server that
// the tests register under CLSID_ShellWindows, reached through the product's
// own CoCreateInstance, driven from this process and from another one.
#include "adapters/win/browser_com.h"

#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ie_windows.h"
#include "platform/win/dispatch_sink.h"
#include "platform/win/scoped_com.h"
#include "platform/win/scoped_handle.h"
#include "tests/scripted_com_browser/pumping_popup_host.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace quellix {
namespace {

using Microsoft::WRL::ComPtr;
using testing::PumpingPopupHost;
namespace sc = testing::scripted_com;

constexpr wchar_t kShellServerKey[] =
    L"Software\\Classes\\CLSID\\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\\InprocServer32";

std::wstring RegisteredShellServer() {
  wchar_t value[MAX_PATH] = L"";
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kShellServerKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS) {
    return L"";
  }
  return value;
}

// The apartment of the test thread and the scripted server registered in the
// prefix for the whole run; the system's own registration is back at the end.
class ScriptedComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    system_server_ = RegisteredShellServer();
    server_ = std::make_unique<sc::ScriptedComServer>(sc::WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
  }
  void TearDown() override {
    server_.reset();
    EXPECT_EQ(RegisteredShellServer(), system_server_);
    CoUninitialize();
  }
  static const sc::ScriptedComServer& Server() { return *server_; }

 private:
  static inline std::unique_ptr<sc::ScriptedComServer> server_;
  std::wstring system_server_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ScriptedComEnvironment);

// Work for this thread's message loop: each task runs from a posted message,
// inside whichever loop comes next, a nested wait of the program included.
class PostedTasks {
 public:
  PostedTasks() {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = Run;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"QuellixPostedTasks";
    RegisterClassExW(&window_class);
    window_.Reset(CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  window_class.hInstance, nullptr));
  }
  ~PostedTasks() {
    MSG message;
    while (PeekMessageW(&message, window_.Get(), kRunTask, kRunTask, PM_REMOVE)) {
      delete reinterpret_cast<std::function<void()>*>(message.lParam);
    }
  }
  void Post(std::function<void()> task) {
    PostMessageW(window_.Get(), kRunTask, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(task))));
  }

 private:
  static constexpr UINT kRunTask = WM_APP + 7;
  static LRESULT CALLBACK Run(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != kRunTask) return DefWindowProcW(window, message, wparam, lparam);
    std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lparam));
    (*task)();
    return 0;
  }
  win::ScopedWindow window_;
};

// ---------------------------------------------------------------------------
// The sinks, given events as a browser passes them.

class RecordingListener : public BrowserEvents, public ShellWindowsEvents {
 public:
  void OnStatusTextChange(const std::string& text) override {
    texts.push_back(text);
    if (fail) throw std::runtime_error("status text handler failed");
  }
  void OnNewWindow2(bool& cancel) override {
    seen.push_back(cancel);
    if (answer) cancel = *answer;
    if (during) during();
    if (fail) throw std::runtime_error("new window handler failed");
  }
  void OnWindowRegistered(long cookie) override { registered.push_back(cookie); }
  void OnWindowRevoked(long cookie) override { revoked.push_back(cookie); }

  std::vector<std::string> texts;
  std::vector<bool> seen;                // Cancel as each NewWindow2 reached the listener
  std::optional<bool> answer;            // what the listener writes to Cancel, if anything
  std::function<void()> during;          // runs inside NewWindow2
  bool fail = false;
  std::vector<long> registered;
  std::vector<long> revoked;
};

// Raises an event with its arguments in declaration order; DISPPARAMS takes them last first.
HRESULT Fire(IDispatch* sink, DISPID id, std::vector<VARIANT> arguments) {
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

VARIANT Bstr(BSTR value) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = value;
  return v;
}
VARIANT BoolRef(VARIANT_BOOL* value) {
  VARIANT v;
  v.vt = VT_BOOL | VT_BYREF;
  v.pboolVal = value;
  return v;
}
VARIANT VariantRef(VARIANT* value) {
  VARIANT v;
  v.vt = VT_VARIANT | VT_BYREF;
  v.pvarVal = value;
  return v;
}
VARIANT DispatchRef(IDispatch** value) {
  VARIANT v;
  v.vt = VT_DISPATCH | VT_BYREF;
  v.ppdispVal = value;
  return v;
}
VARIANT Long(long value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

class BrowserEventsSinkTest : public ::testing::Test {
 protected:
  std::shared_ptr<RecordingListener> listener = std::make_shared<RecordingListener>();
  ComPtr<IDispatch> sink = win::MakeBrowserEventsSink(listener);
};

TEST_F(BrowserEventsSinkTest, StatusTextChangeTakesItsBstrInEveryForm) {
  win::ScopedBstr accented(L"http://caf\u00e9.example/");
  win::ScopedBstr with_nul(std::wstring_view(L"a\0b", 3));
  win::ScopedBstr by_reference(L"by reference");
  BSTR by_reference_value = by_reference.Get();
  VARIANT referenced = Bstr(accented.Get());
  VARIANT by_reference_argument;
  by_reference_argument.vt = VT_BSTR | VT_BYREF;
  by_reference_argument.pbstrVal = &by_reference_value;

  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {Bstr(accented.Get())});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {Bstr(nullptr)});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {Bstr(with_nul.Get())});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {by_reference_argument});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {VariantRef(&referenced)});
  EXPECT_EQ(listener->texts, (std::vector<std::string>{"http://caf\xC3\xA9.example/", "", std::string("a\0b", 3),
                                                        "by reference", "http://caf\xC3\xA9.example/"}));

  // Not text, no argument, a null reference: not a status text at all.
  by_reference_argument.pbstrVal = nullptr;
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {Long(5)});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {by_reference_argument});
  Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {VariantRef(nullptr)});
  EXPECT_EQ(listener->texts.size(), 5u);
}

TEST_F(BrowserEventsSinkTest, NewWindow2WritesOnlyCancelAndOnlyWhenTheAnswerChangesIt) {
  IDispatch* new_window = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  listener->answer = true;
  EXPECT_EQ(Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(&cancel)}), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(new_window, nullptr);

  listener->answer = false;
  Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(&cancel)});
  EXPECT_EQ(cancel, VARIANT_FALSE);

  // Untouched: a browser's unusual "true" stays exactly as it was.
  listener->answer.reset();
  cancel = 1;
  Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(&cancel)});
  EXPECT_EQ(cancel, 1);
  EXPECT_EQ(listener->seen, (std::vector<bool>{false, true, true}));

  // Cancel inside the caller's VARIANT passed by reference is the caller's to see.
  VARIANT boxed;
  boxed.vt = VT_BOOL;
  boxed.boolVal = VARIANT_FALSE;
  listener->answer = true;
  Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), VariantRef(&boxed)});
  EXPECT_EQ(boxed.boolVal, VARIANT_TRUE);
  EXPECT_EQ(new_window, nullptr);
}

TEST_F(BrowserEventsSinkTest, NewWindow2WithoutAWritableCancelIsNotDecided) {
  IDispatch* new_window = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  listener->answer = true;
  VARIANT by_value;
  by_value.vt = VT_BOOL;
  by_value.boolVal = VARIANT_FALSE;
  Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), by_value});        // a copy: no answer can reach the browser
  Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(nullptr)});
  Fire(sink.Get(), DISPID_NEWWINDOW2, {BoolRef(&cancel)});                          // one argument only
  Fire(sink.Get(), DISPID_NEWWINDOW2, {BoolRef(&cancel), DispatchRef(&new_window)});  // not in reverse order
  Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), Long(0)});
  EXPECT_TRUE(listener->seen.empty());
  EXPECT_EQ(cancel, VARIANT_FALSE);
  EXPECT_EQ(new_window, nullptr);
}

TEST_F(BrowserEventsSinkTest, OtherEventsAndFailingHandlersLeaveTheArgumentsAsTheyCame) {
  listener->answer = true;
  for (const DISPID id : {DISPID_BEFORENAVIGATE2, DISPID_NEWWINDOW3, DISPID_FILEDOWNLOAD, DISPID_WINDOWCLOSING,
                          DISPID_NAVIGATEERROR}) {
    IDispatch* object = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    EXPECT_EQ(Fire(sink.Get(), id, {DispatchRef(&object), BoolRef(&cancel)}), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE) << id;
  }
  EXPECT_TRUE(listener->seen.empty());
  EXPECT_TRUE(listener->texts.empty());

  // A handler that throws, even after changing its answer, changes nothing.
  listener->fail = true;
  IDispatch* new_window = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(&cancel)}), S_OK);
  EXPECT_EQ(cancel, VARIANT_FALSE);
  win::ScopedBstr text(L"Done");
  EXPECT_EQ(Fire(sink.Get(), DISPID_STATUSTEXTCHANGE, {Bstr(text.Get())}), S_OK);
  EXPECT_EQ(sink->Invoke(DISPID_NEWWINDOW2, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);

  // A listener that has ended receives nothing.
  listener.reset();
  EXPECT_EQ(Fire(sink.Get(), DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(&cancel)}), S_OK);
  EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST_F(BrowserEventsSinkTest, AnswersItsEventInterfaceAndOutlivesItsLastReleaseDuringAnEvent) {
  ComPtr<IUnknown> as_events;
  ASSERT_EQ(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(as_events.GetAddressOf())), S_OK);
  ComPtr<IUnknown> as_unknown;
  ASSERT_EQ(sink.As(&as_unknown), S_OK);
  EXPECT_EQ(as_events.Get(), as_unknown.Get());
  ComPtr<IWebBrowser2> not_a_browser;
  EXPECT_EQ(sink.As(&not_a_browser), E_NOINTERFACE);
  UINT type_infos = 7;
  EXPECT_EQ(sink->GetTypeInfoCount(&type_infos), S_OK);
  EXPECT_EQ(type_infos, 0u);
  as_events.Reset();
  as_unknown.Reset();

  // The connection that held the sink ends inside its event: the event holds
  // it until it returns, and then lets go (the test's own reference, taken
  // during the event, is the last one left).
  IDispatch* const raw = sink.Get();
  ULONG references_during = 0;
  listener->during = [&] {
    sink.Reset();
    references_during = raw->AddRef();
  };
  listener->answer = true;
  IDispatch* new_window = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire(raw, DISPID_NEWWINDOW2, {DispatchRef(&new_window), BoolRef(&cancel)});
  EXPECT_EQ(references_during, 2u);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(raw->Release(), 0u);
}

TEST(ShellWindowsEventsSink, PassesRegisteredAndRevokedWithTheirCookies) {
  auto listener = std::make_shared<RecordingListener>();
  ComPtr<IDispatch> sink = win::MakeShellWindowsEventsSink(listener);
  ComPtr<IUnknown> as_events;
  EXPECT_EQ(sink->QueryInterface(DIID_DShellWindowsEvents, reinterpret_cast<void**>(as_events.GetAddressOf())), S_OK);

  long cookie = 9;
  VARIANT by_reference;
  by_reference.vt = VT_I4 | VT_BYREF;
  by_reference.plVal = &cookie;
  Fire(sink.Get(), DISPID_WINDOWREGISTERED, {Long(7)});
  Fire(sink.Get(), DISPID_WINDOWREVOKED, {by_reference});
  Fire(sink.Get(), DISPID_WINDOWREGISTERED, {});  // the cookie is not needed
  Fire(sink.Get(), DISPID_NEWWINDOW2, {Long(1)});
  EXPECT_EQ(listener->registered, (std::vector<long>{7, 0}));
  EXPECT_EQ(listener->revoked, (std::vector<long>{9}));
}

// ---------------------------------------------------------------------------
// The tracker on the scripted COM server, in this process.

class TrackerOverCom : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ScriptedComEnvironment::Server().Registered());
    ASSERT_EQ(RegisteredShellServer(), sc::WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
    control = ScriptedComEnvironment::Server().Control();
    ASSERT_TRUE(control);
    ASSERT_TRUE(control->Reset());
  }

  long Query(sc::Query what, int window = 0) const { return control->Query(what, window); }
  VARIANT_BOOL NewWindow2(int window, VARIANT_BOOL cancel) const {
    const auto answer = control->RaiseNewWindow2(window, cancel);
    EXPECT_TRUE(answer);
    if (!answer) return cancel;
    EXPECT_FALSE(answer->ppdisp_touched);
    return answer->cancel;
  }
  std::shared_ptr<cIEWindows> MakeTracker() { return cIEWindows::Create(shell, state, host); }

  // With the tracker gone: no scripted object held or over-released, no sink
  // left connected or alive.
  void ExpectAllReleased() const {
    EXPECT_EQ(Query(sc::Query::kLiveShells), 0);
    EXPECT_EQ(Query(sc::Query::kShellConnections), 0);
    EXPECT_EQ(Query(sc::Query::kHeldReferences), 0);
    EXPECT_EQ(Query(sc::Query::kLiveWindows), Query(sc::Query::kOpenWindows));
    EXPECT_EQ(Query(sc::Query::kOverReleases), 0);
    EXPECT_EQ(Query(sc::Query::kStrayUnadvises), 0);
    EXPECT_EQ(Query(sc::Query::kHeldSinks), 0);
  }

  std::optional<sc::ScriptedComBrowser> control;
  win::ComShellWindowsFactory shell;  // the program's own way to the shell
  ProgramState state;
  PumpingPopupHost host;
};

TEST_F(TrackerOverCom, OneSinkPerOpenWindowFollowingOpenAndClose) {
  const int first = control->OpenWindow(L"http://first.example/", false);
  const int second = control->OpenWindow(L"http://second.example/", false);
  ASSERT_GT(first, 0);
  EXPECT_EQ(Query(sc::Query::kReferences, first), 1);

  auto tracker = MakeTracker();
  EXPECT_EQ(tracker->Count(), 2);
  EXPECT_EQ(Query(sc::Query::kShellConnections), 1);  // subscribed to the shell's events
  EXPECT_EQ(Query(sc::Query::kConnections, first), 1);
  EXPECT_EQ(Query(sc::Query::kConnections, second), 1);
  EXPECT_EQ(Query(sc::Query::kLiveShells), 1);  // only the list whose events the tracker receives
  EXPECT_EQ(Query(sc::Query::kShellConnections), 1);

  const int third = control->OpenWindow(L"http://third.example/");  // WindowRegistered
  EXPECT_EQ(tracker->Count(), 3);
  for (const int window : {first, second, third}) EXPECT_EQ(Query(sc::Query::kConnections, window), 1);
  EXPECT_EQ(tracker->IE(3)->IE()->LocationURL(), "http://third.example/");

  ASSERT_TRUE(control->CloseWindow(first));  // WindowRevoked
  EXPECT_EQ(tracker->Count(), 2);
  EXPECT_EQ(tracker->IE(1)->IE()->LocationURL(), "http://second.example/");
  EXPECT_EQ(Query(sc::Query::kLiveWindows), 2);  // the closed window is released by every sink

  // However many rebuilds run, the window-list events are subscribed once.
  for (int i = 0; i < 5; ++i) control->RaiseWindowRegistered();
  control->RaiseWindowRevoked();
  EXPECT_EQ(Query(sc::Query::kShellsCreated), 9);
  EXPECT_EQ(Query(sc::Query::kShellAdvises), 1);
  EXPECT_EQ(Query(sc::Query::kShellConnections), 1);
  EXPECT_EQ(Query(sc::Query::kLiveShells), 1);
  EXPECT_EQ(tracker->Count(), 2);

  tracker.reset();
  EXPECT_EQ(Query(sc::Query::kConnections, second), 0);
  EXPECT_EQ(Query(sc::Query::kReferences, second), 1);
  EXPECT_EQ(Query(sc::Query::kReferences, third), 1);
  ExpectAllReleased();
}

TEST_F(TrackerOverCom, NewWindow2IsAnsweredBySwitchesListsAndLinks) {
  state.strAllowed.Assign("good.example\r\n");
  const int good = control->OpenWindow(L"http://good.example/page", false);
  const int bad = control->OpenWindow(L"http://www.bad.example/page?next=http://good.example/", false);
  auto tracker = MakeTracker();

  EXPECT_EQ(NewWindow2(bad, VARIANT_FALSE), VARIANT_TRUE);  // on no list: blocked and counted
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_EQ(NewWindow2(good, VARIANT_TRUE), VARIANT_FALSE);  // on the allowed list
  EXPECT_EQ(state.intStopped, 1);

  host.options.chkStopPop = false;  // blocking off: Cancel as the browser passed it
  EXPECT_EQ(NewWindow2(bad, VARIANT_TRUE), VARIANT_TRUE);
  EXPECT_EQ(NewWindow2(bad, VARIANT_FALSE), VARIANT_FALSE);
  EXPECT_EQ(state.intStopped, 1);
  host.options.chkStopPop = true;

  // A link under the pointer in any window lets the next request through.
  ASSERT_TRUE(control->RaiseStatusTextChange(good, L"http://elsewhere.example/link"));
  EXPECT_EQ(state.strStatusText, "http://elsewhere.example/link");
  EXPECT_EQ(NewWindow2(bad, VARIANT_TRUE), VARIANT_FALSE);
  EXPECT_FALSE(state.boolAllowNext);
  ASSERT_TRUE(control->RaiseStatusTextChange(good, L"Done"));
  EXPECT_EQ(NewWindow2(bad, VARIANT_FALSE), VARIANT_TRUE);
  EXPECT_EQ(state.intStopped, 2);

  // The asking page's address is read when the request comes.
  ASSERT_TRUE(control->Navigate(bad, L"https://GOOD.example/moved"));
  EXPECT_EQ(NewWindow2(bad, VARIANT_TRUE), VARIANT_FALSE);
  // An address that cannot be read ends the decision: the window opens.
  ASSERT_TRUE(control->SetFailure(sc::Failure::kLocationURL, true, bad));
  EXPECT_EQ(NewWindow2(bad, VARIANT_FALSE), VARIANT_FALSE);
  EXPECT_EQ(state.intStopped, 2);

  tracker.reset();
  ExpectAllReleased();
}

TEST_F(TrackerOverCom, OtherBrowserEventsReachTheSinksAndAreLeftAsTheyCame) {
  const int window = control->OpenWindow(L"http://page.example/", false);
  auto tracker = MakeTracker();
  for (const DISPID id : {DISPID_BEFORENAVIGATE2, DISPID_NEWWINDOW3, DISPID_FILEDOWNLOAD, DISPID_WINDOWCLOSING,
                          DISPID_NAVIGATEERROR, DISPID_DOCUMENTCOMPLETE, DISPID_TITLECHANGE}) {
    EXPECT_TRUE(control->RaiseOtherEvent(window, id)) << id;
  }
  EXPECT_EQ(state.intStopped, 0);
  EXPECT_EQ(state.strStatusText, "");
  tracker.reset();
  ExpectAllReleased();
}

TEST_F(TrackerOverCom, AWindowRegisteredWhileNewWindow2WaitsRebuildsAndTheWaitingHandlerStillAnswers) {
  host.options.chkAuto = true;  // a site on neither list: the decision waits for the prompt
  const int asking = control->OpenWindow(L"http://asking.example/", false);
  auto tracker = MakeTracker();
  PostedTasks tasks;
  int opened = 0;
  long count_meanwhile = -1;
  long asking_connections_meanwhile = -1;
  long sinks_meanwhile = -1;
  host.on_prompt = [&] {
    tasks.Post([&] { opened = control->OpenWindow(L"http://opened.example/"); });  // rebuild: the asking sink goes
    tasks.Post([&] {
      count_meanwhile = tracker->Count();
      asking_connections_meanwhile = Query(sc::Query::kConnections, asking);
      sinks_meanwhile = Query(sc::Query::kHeldSinks);
      state.boolAllowSite = false;  // the user blocks it
      state.boolAnswered = true;
    });
    return true;
  };

  EXPECT_EQ(NewWindow2(asking, VARIANT_FALSE), VARIANT_TRUE);
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_EQ(count_meanwhile, 2);
  EXPECT_EQ(asking_connections_meanwhile, 1);  // the old sink unadvised, a fresh one advised
  // The list's sink, the two fresh window sinks, and the one whose event was still running.
  EXPECT_EQ(sinks_meanwhile, 4);
  EXPECT_EQ(Query(sc::Query::kHeldSinks), 3);
  EXPECT_EQ(Query(sc::Query::kConnections, asking), 1);
  EXPECT_EQ(Query(sc::Query::kConnections, opened), 1);

  tracker.reset();
  ExpectAllReleased();
}

TEST_F(TrackerOverCom, TheTrackerReleasedWhileNewWindow2WaitsStillAnswers) {
  host.options.chkAuto = true;
  const int window = control->OpenWindow(L"http://asking.example/", false);
  auto tracker = MakeTracker();
  PostedTasks tasks;
  host.on_prompt = [&] {
    tasks.Post([&] { tracker.reset(); });  // the program ends its tracker meanwhile
    tasks.Post([&] {
      state.boolAllowSite = true;
      state.boolAnswered = true;
    });
    return true;
  };
  EXPECT_EQ(NewWindow2(window, VARIANT_TRUE), VARIANT_FALSE);
  EXPECT_EQ(tracker, nullptr);
  ExpectAllReleased();
}

TEST_F(TrackerOverCom, CloseIEAsksTheFirstWindowToQuitAndItsClosingIsFollowed) {
  const int first = control->OpenWindow(L"http://first.example/", false);
  control->OpenWindow(L"http://second.example/", false);
  auto tracker = MakeTracker();
  EXPECT_TRUE(tracker->closeIE());
  EXPECT_EQ(Query(sc::Query::kQuitRequests, first), 1);
  host.ProcessPendingMessagesOnce();  // the browser closes the window after the call
  EXPECT_EQ(tracker->Count(), 1);
  EXPECT_EQ(tracker->IE(1)->IE()->LocationURL(), "http://second.example/");
  tracker.reset();
  ExpectAllReleased();
}

TEST_F(TrackerOverCom, FailuresOfTheComSideStopWhereTheyShouldAndLeakNothing) {
  const int a = control->OpenWindow(L"http://a.example/", false);
  const int b = control->OpenWindow(L"http://b.example/", false);
  const int c = control->OpenWindow(L"http://c.example/", false);

  ASSERT_TRUE(control->SetFailure(sc::Failure::kCreate, true));
  auto tracker = MakeTracker();
  EXPECT_EQ(tracker->Count(), 0);
  EXPECT_EQ(Query(sc::Query::kShellConnections), 0);
  tracker.reset();
  ASSERT_TRUE(control->SetFailure(sc::Failure::kCreate, false));

  for (const auto failure : {sc::Failure::kCount, sc::Failure::kItem, sc::Failure::kShellAdvise}) {
    ASSERT_TRUE(control->SetFailure(failure, true));
    tracker = MakeTracker();
    EXPECT_EQ(Query(sc::Query::kShellConnections), 0);
    EXPECT_EQ(tracker->Count(), failure == sc::Failure::kShellAdvise ? 3 : 0);
    EXPECT_EQ(Query(sc::Query::kLiveShells), 0);  // the list of a failed rebuild is let go
    tracker.reset();
    ExpectAllReleased();
    ASSERT_TRUE(control->SetFailure(failure, false));
  }

  // A window that refuses the connection keeps a sink without events.
  ASSERT_TRUE(control->SetFailure(sc::Failure::kAdvise, true, b));
  tracker = MakeTracker();
  EXPECT_EQ(tracker->Count(), 3);
  EXPECT_EQ(Query(sc::Query::kShellConnections), 1);  // subscribed to the shell's events
  EXPECT_EQ(Query(sc::Query::kConnections, a), 1);
  EXPECT_EQ(Query(sc::Query::kConnections, b), 0);
  EXPECT_EQ(Query(sc::Query::kConnections, c), 1);
  EXPECT_EQ(NewWindow2(b, VARIANT_FALSE), VARIANT_FALSE);
  EXPECT_EQ(NewWindow2(c, VARIANT_FALSE), VARIANT_TRUE);
  tracker.reset();
  ExpectAllReleased();
}

// ---------------------------------------------------------------------------
// The scripted server driven from another process, as the end-to-end tests
// drive it while the program runs.

TEST(ScriptedComBrowserFromAnotherProcess, DrivesTheTrackerOfARunningProgram) {
  ASSERT_TRUE(ScriptedComEnvironment::Server().Registered());
  std::wstring command = L"\"" + sc::WindowsPath(QUELLIX_SCRIPTED_COM_HOST) + L"\" good.example";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &started));
  const win::ScopedHandle process(started.hProcess);
  const win::ScopedHandle thread(started.hThread);
  // A failed assertion must not leave the program running.
  struct EndIfRunning {
    HANDLE process;
    ~EndIfRunning() {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
    }
  } end_if_running{process.Get()};

  const auto control = sc::ScriptedComBrowser::Find(started.dwProcessId, 30000);
  ASSERT_TRUE(control);
  EXPECT_EQ(control->Query(sc::Query::kLiveShells), 1);
  const int good = control->OpenWindow(L"http://good.example/");
  const int bad = control->OpenWindow(L"http://bad.example/");
  EXPECT_EQ(control->Query(sc::Query::kConnections, good), 1);
  EXPECT_EQ(control->Query(sc::Query::kConnections, bad), 1);

  auto answer = control->RaiseNewWindow2(bad, VARIANT_FALSE);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->cancel, VARIANT_TRUE);
  EXPECT_EQ(control->RaiseNewWindow2(good, VARIANT_TRUE)->cancel, VARIANT_FALSE);
  ASSERT_TRUE(control->RaiseStatusTextChange(good, L"https://link.example/"));
  EXPECT_EQ(control->RaiseNewWindow2(bad, VARIANT_TRUE)->cancel, VARIANT_FALSE);
  ASSERT_TRUE(control->RaiseStatusTextChange(good, L"Done"));  // the pointer left the link
  EXPECT_EQ(control->RaiseNewWindow2(bad, VARIANT_FALSE)->cancel, VARIANT_TRUE);

  ASSERT_TRUE(control->CloseWindow(good));
  EXPECT_EQ(control->Query(sc::Query::kLiveWindows), 1);
  EXPECT_EQ(control->Query(sc::Query::kConnections, bad), 1);

  // A window event that comes in during one of a rebuild's calls runs a
  // rebuild nested in it; afterwards every window has exactly one sink, and
  // a request is decided and counted once.
  std::vector<int> open{bad};
  for (const sc::Stage stage : {sc::Stage::kWindowUnadvise, sc::Stage::kShellCreate, sc::Stage::kItem,
                                sc::Stage::kWindowAdvise}) {
    ASSERT_TRUE(control->RaiseDuringNextCall(stage));
    open.push_back(control->OpenWindow(L"http://nested.example/"));
    for (const int window : open) {
      EXPECT_EQ(control->Query(sc::Query::kConnections, window), 1) << "stage " << static_cast<int>(stage);
    }
  }
  EXPECT_EQ(control->RaiseNewWindow2(bad, VARIANT_FALSE)->cancel, VARIANT_TRUE);
  EXPECT_EQ(control->Query(sc::Query::kShellConnections), 1);

  ASSERT_TRUE(PostThreadMessageW(control->ThreadId(), WM_QUIT, 0, 0));
  ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
  DWORD exit_code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process.Get(), &exit_code));
  EXPECT_EQ(exit_code, 3u);  // three blocked, each once, and everything released at its end
}

}  // namespace
}  // namespace quellix
