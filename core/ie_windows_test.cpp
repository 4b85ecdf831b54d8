#include "core/ie_windows.h"

#include <gtest/gtest.h>

#include "core/testing/scripted_popup_host.h"
#include "tests/scripted_browser/scripted_browser.h"

namespace quellix {
namespace {

using testing::ScriptedBrowserWindow;
using testing::ScriptedPopupHost;
using testing::ScriptedShell;

class Tracker : public ::testing::Test {
 protected:
  std::shared_ptr<ScriptedShell> shell = std::make_shared<ScriptedShell>();
  ProgramState state;
  ScriptedPopupHost host{state, {.chkStopPop = true, .chkLinks = true}};
};

TEST_F(Tracker, OneSinkPerWindowFollowingOpenAndClose) {
  auto first = shell->AddWindowSilently("http://first.example/");
  auto tracker = cIEWindows::Create(*shell, state, host);
  EXPECT_EQ(tracker->Count(), 1);
  EXPECT_EQ(first->Subscribers(), 1);

  auto second = shell->OpenWindow("http://second.example/");
  EXPECT_EQ(tracker->Count(), 2);
  EXPECT_EQ(first->Subscribers(), 1);  // old sink gone, fresh one attached
  EXPECT_EQ(second->Subscribers(), 1);
  EXPECT_EQ(tracker->IE(2)->IE(), second);
  EXPECT_EQ(tracker->IE(3), nullptr);
  EXPECT_EQ(tracker->IE(0), nullptr);

  shell->CloseWindow(first);
  EXPECT_EQ(tracker->Count(), 1);
  EXPECT_EQ(first->Subscribers(), 0);
  EXPECT_EQ(tracker->IE(1)->IE(), second);

  // Rebuilds subscribe to the window list's events once only.
  for (int i = 0; i < 5; ++i) shell->RaiseWindowRegistered();
  EXPECT_EQ(shell->event_subscriptions_made, 1);
  EXPECT_EQ(shell->EventSubscribers(), 1);
  EXPECT_EQ(shell->lists_created, 8);

  tracker.reset();
  EXPECT_EQ(second->Subscribers(), 0);
  EXPECT_EQ(shell->EventSubscribers(), 0);
}

TEST_F(Tracker, NoWindowsAtStart) {
  auto tracker = cIEWindows::Create(*shell, state, host);
  EXPECT_EQ(tracker->Count(), 0);
  EXPECT_FALSE(tracker->closeIE());
  auto window = shell->OpenWindow("http://late.example/");
  EXPECT_EQ(tracker->Count(), 1);
  EXPECT_TRUE(tracker->closeIE());
  EXPECT_EQ(window->QuitRequests(), 1);
}

TEST_F(Tracker, CloseIEKeepsTheBrowserWhileItsQuitRuns) {
  std::weak_ptr<ScriptedBrowserWindow> first = shell->AddWindowSilently("http://first.example/");
  auto tracker = cIEWindows::Create(*shell, state, host);
  // The window closes while Quit still runs: the rebuild drops its sink.
  first.lock()->on_quit = [&] { shell->CloseWindow(first.lock()); };
  EXPECT_TRUE(tracker->closeIE());
  EXPECT_EQ(tracker->Count(), 0);
  EXPECT_TRUE(first.expired());
}

TEST_F(Tracker, SinksDecideTheirWindowsRequests) {
  state.strAllowed.Assign("good.example\r\n");
  auto good = shell->AddWindowSilently("http://good.example/page");
  auto bad = shell->AddWindowSilently("http://bad.example/page");
  auto tracker = cIEWindows::Create(*shell, state, host);

  EXPECT_FALSE(good->RaiseNewWindow2(false));
  EXPECT_TRUE(bad->RaiseNewWindow2(false));
  EXPECT_EQ(state.intStopped, 1);
  // One status text for the whole program: a link seen in one window lets the
  // next request of another through.
  good->RaiseStatusTextChange("http://good.example/link");
  EXPECT_EQ(state.strStatusText, "http://good.example/link");
  EXPECT_FALSE(bad->RaiseNewWindow2(true));
  host.options.chkStopPop = false;
  EXPECT_TRUE(bad->RaiseNewWindow2(true));  // untouched
  EXPECT_FALSE(bad->RaiseNewWindow2(false));
}

TEST_F(Tracker, FailuresStopTheRebuildWhereItStands) {
  shell->AddWindowSilently("http://a.example/");
  shell->AddWindowSilently("http://b.example/");
  shell->AddWindowSilently("http://c.example/");
  shell->not_a_browser_at = 1;
  auto tracker = cIEWindows::Create(*shell, state, host);
  EXPECT_EQ(tracker->Count(), 1);
  EXPECT_EQ(shell->EventSubscribers(), 0);  // stopped before subscribing

  shell->not_a_browser_at = -1;
  shell->fail_create = true;
  shell->RaiseWindowRegistered();  // nobody listens yet: nothing happens
  EXPECT_EQ(tracker->Count(), 1);

  // A window whose events cannot be subscribed still gets its sink.
  shell->fail_create = false;
  shell->Windows()[0]->FailSubscribe(true);
  auto again = cIEWindows::Create(*shell, state, host);
  EXPECT_EQ(again->Count(), 3);
  EXPECT_EQ(shell->EventSubscribers(), 1);
  shell->fail_enumeration_after = 2;
  shell->RaiseWindowRevoked();
  EXPECT_EQ(again->Count(), 2);
}

TEST_F(Tracker, ASinkReleasedInsideItsOwnEventFinishesItsAnswer) {
  host.options.chkAuto = true;
  auto asking = shell->AddWindowSilently("http://asking.example/");
  auto tracker = cIEWindows::Create(*shell, state, host);
  // While the prompt waits, a window opens (rebuild: the asking sink is
  // dropped from the collection) and then the user answers "block".
  host.on_prompt = [&] {
    host.Post([&] { shell->OpenWindow("http://other.example/"); });
    host.Post([&] {
      state.boolAllowSite = false;
      state.boolAnswered = true;
    });
  };
  EXPECT_TRUE(asking->RaiseNewWindow2(false));
  EXPECT_EQ(state.intStopped, 1);
  EXPECT_EQ(tracker->Count(), 2);
  EXPECT_EQ(asking->Subscribers(), 1);  // only the fresh sink remains
}

TEST_F(Tracker, ASinkDroppedWhileItsEventWaitsReceivesNothingMore) {
  host.options.chkAuto = true;
  auto asking = shell->AddWindowSilently("http://asking.example/");
  auto tracker = cIEWindows::Create(*shell, state, host);
  int subscribers_meanwhile = -1;
  bool second_cancel = false;
  host.on_prompt = [&] {
    host.Post([&] { shell->OpenWindow("http://other.example/"); });
    host.Post([&] {
      subscribers_meanwhile = asking->Subscribers();
      // A second request of the same window, decided without a question,
      // reaches the fresh sink only: it is decided and counted once.
      host.options.chkAuto = false;
      second_cancel = asking->RaiseNewWindow2(false);
      state.boolAllowSite = false;
      state.boolAnswered = true;
    });
  };
  EXPECT_TRUE(asking->RaiseNewWindow2(false));
  EXPECT_EQ(subscribers_meanwhile, 1);
  EXPECT_TRUE(second_cancel);
  EXPECT_EQ(state.intStopped, 2);  // one for each request
}

TEST_F(Tracker, ReleasingTheTrackerInsideAnEvent) {
  host.options.chkAuto = true;
  auto window = shell->AddWindowSilently("http://asking.example/");
  auto tracker = cIEWindows::Create(*shell, state, host);
  host.on_prompt = [&] {
    host.Post([&] { tracker.reset(); });  // the main window closes meanwhile
    host.Post([&] {
      state.boolAllowSite = true;
      state.boolAnswered = true;
    });
  };
  EXPECT_FALSE(window->RaiseNewWindow2(true));
  EXPECT_EQ(window->Subscribers(), 0);
  EXPECT_EQ(shell->EventSubscribers(), 0);
}

}  // namespace
}  // namespace quellix
