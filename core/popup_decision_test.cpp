#include "core/popup_decision.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/testing/scripted_popup_host.h"

namespace quellix {
namespace {

class PopupDecision : public ::testing::Test {
 protected:
  NewWindowVerdict Decide(const std::string& url) {
    return DecideNewWindow(state, host, [&]() -> std::optional<std::string> { return url; });
  }
  ProgramState state;
  testing::ScriptedPopupHost host{state, {.chkStopPop = true, .chkSound = true}};
};

TEST_F(PopupDecision, BlockingOffTouchesNothingAndKeepsTheAllowNextFlag) {
  host.options.chkStopPop = false;
  host.options.chkLinks = true;
  state.strStatusText = "http://link.example/";
  EXPECT_EQ(Decide("http://popper.example/"), NewWindowVerdict::kUntouched);
  EXPECT_TRUE(state.boolAllowNext);
  EXPECT_EQ(state.intStopped, 0);
  EXPECT_EQ(host.sounds, 0);
  // The flag's changes are told (the browsers follow them); the same link
  // again changes nothing.
  EXPECT_EQ(Decide("http://popper.example/"), NewWindowVerdict::kUntouched);
  EXPECT_EQ(host.allow_next_changes, 1);
  // Blocking switched on: the first request uses the flag, the second is decided.
  host.options.chkStopPop = true;
  host.options.chkLinks = false;
  EXPECT_EQ(Decide("http://popper.example/"), NewWindowVerdict::kLetThrough);
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_EQ(host.allow_next_changes, 2);
  EXPECT_EQ(Decide("http://popper.example/"), NewWindowVerdict::kBlock);
  EXPECT_EQ(host.allow_next_changes, 2);
  EXPECT_EQ(host.started_sounds, 0);  // Internet Explorer's blocks play it through
}

TEST_F(PopupDecision, LinkStatusTextLetsOneRequestThrough) {
  host.options.chkLinks = true;
  state.strStatusText = "HTTPS://SHOP.EXAMPLE/item";
  EXPECT_EQ(Decide("http://shop.example/"), NewWindowVerdict::kLetThrough);
  EXPECT_FALSE(state.boolAllowNext);
  // Not links: 7 characters, a browser word, or the switch off.
  for (const char* text : {"http://", "Done"}) {
    state.strStatusText = text;
    EXPECT_EQ(Decide("http://shop.example/"), NewWindowVerdict::kBlock) << text;
  }
  host.options.chkLinks = false;
  state.strStatusText = "http://shop.example/";
  EXPECT_EQ(Decide("http://shop.example/"), NewWindowVerdict::kBlock);
}

TEST_F(PopupDecision, AllowedListOutsideSetupMode) {
  state.strAllowed.Assign("friendly.example\r\n");
  state.strDisallowed.Assign("enemy.example\r\n");
  EXPECT_EQ(Decide("https://FRIENDLY.example/any/path?x=1"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(Decide("http://friendly.example"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(state.intStopped, 0);
  // Not on the allowed list: blocked, counted, sounded once; the disallowed
  // list plays no part outside setup mode.
  EXPECT_EQ(Decide("http://other.example/"), NewWindowVerdict::kBlock);
  EXPECT_EQ(Decide("http://enemy.example/"), NewWindowVerdict::kBlock);
  EXPECT_EQ(state.intStopped, 2);
  EXPECT_EQ(host.sounds, 2);
  EXPECT_EQ(host.prompts, 0);
  host.options.chkSound = false;
  EXPECT_EQ(Decide("http://other.example/"), NewWindowVerdict::kBlock);
  EXPECT_EQ(host.sounds, 2);
  EXPECT_EQ(host.pumped, 3);  // once per block, before the sound
}

TEST_F(PopupDecision, AllowNextIsUsedOnce) {
  state.boolAllowNext = true;
  EXPECT_EQ(Decide("http://x.example/"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(Decide("http://x.example/"), NewWindowVerdict::kBlock);
}

TEST_F(PopupDecision, SetupModeConsultsAllowedThenDisallowedThenAsks) {
  host.options.chkAuto = true;
  state.strAllowed.Assign("both.example\r\n");
  state.strDisallowed.Assign("both.example\r\nbad.example\r\n");
  EXPECT_EQ(Decide("http://both.example/"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(Decide("http://bad.example/"), NewWindowVerdict::kBlock);
  EXPECT_EQ(host.prompts, 0);

  host.answer = true;
  EXPECT_EQ(Decide("http://new.example/page"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(state.strCurrentSite, "new.example");
  host.answer = false;  // "Block Now", or the close button
  EXPECT_EQ(Decide("http://new.example/page"), NewWindowVerdict::kBlock);
  EXPECT_EQ(host.prompts, 2);
  EXPECT_EQ(state.intStopped, 2);
}

TEST_F(PopupDecision, TheOrganisationsSitesComeBeforeEverythingElse) {
  state.strPolicyBlocked.Assign("ads.example\r\nboth.example\r\n");
  state.strPolicyAllowed.Assign("portal.example\r\nboth.example\r\n");
  state.strAllowed.Assign("ads.example\r\n");
  host.options.chkAuto = true;
  host.options.chkLinks = true;
  state.strStatusText = "http://link.example/";
  state.boolAllowNext = true;
  // Blocked despite allow-next, the link, setup mode and the user's allowed
  // list, without a question; the flag is left for the next request.
  EXPECT_EQ(Decide("http://ADS.example/pop"), NewWindowVerdict::kBlock);
  EXPECT_EQ(Decide("https://both.example/"), NewWindowVerdict::kBlock);  // blocked wins
  EXPECT_TRUE(state.boolAllowNext);
  EXPECT_EQ(state.intStopped, 2);
  EXPECT_EQ(host.sounds, 2);
  EXPECT_EQ(host.prompts, 0);
  // Blocking off changes nothing for the blocked list.
  host.options.chkStopPop = false;
  EXPECT_EQ(Decide("http://ads.example/"), NewWindowVerdict::kBlock);
  host.options.chkStopPop = true;
  // Allowed without a question; the flag and the link stay unused.
  state.boolAllowNext = false;
  EXPECT_EQ(Decide("http://portal.example/start"), NewWindowVerdict::kLetThrough);
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_EQ(host.prompts, 0);
  // Any other site goes the usual way: the link lets it through.
  EXPECT_EQ(Decide("http://elsewhere.example/"), NewWindowVerdict::kLetThrough);
  EXPECT_FALSE(state.boolAllowNext);
  // An address that cannot be read still opens the window, the link noted.
  EXPECT_EQ(DecideNewWindow(state, host, [] { return std::optional<std::string>(); }), NewWindowVerdict::kUntouched);
  EXPECT_TRUE(state.boolAllowNext);
  EXPECT_EQ(state.intStopped, 3);
}

TEST_F(PopupDecision, FailuresLeaveCancelAsTheBrowserPassedIt) {
  // The page address cannot be read.
  EXPECT_EQ(DecideNewWindow(state, host, [] { return std::optional<std::string>(); }),
            NewWindowVerdict::kUntouched);
  // The prompt cannot be shown.
  host.options.chkAuto = true;
  host.prompt_fails = true;
  EXPECT_EQ(Decide("http://new.example/"), NewWindowVerdict::kUntouched);
  // No answer can ever come (the program is ending): the wait ends too.
  host.prompt_fails = false;
  host.answer.reset();
  EXPECT_EQ(Decide("http://new.example/"), NewWindowVerdict::kUntouched);
  EXPECT_EQ(state.intStopped, 0);
}

TEST_F(PopupDecision, TheCountStopsAtItsLargestValue) {
  state.intStopped = std::numeric_limits<std::int32_t>::max() - 1;
  EXPECT_EQ(Decide("http://a.example/"), NewWindowVerdict::kBlock);
  EXPECT_EQ(state.intStopped, std::numeric_limits<std::int32_t>::max());
  // The next block would overflow: the decision ends there and the window opens.
  EXPECT_EQ(Decide("http://a.example/"), NewWindowVerdict::kUntouched);
  EXPECT_EQ(state.intStopped, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(host.sounds, 1);
}

TEST_F(PopupDecision, AQuestionAskedWhileThePromptIsOpen) {
  host.options.chkAuto = true;
  // The first question waits; inside its wait a second request asks too, and
  // the one answer ends both decisions.
  NewWindowVerdict second = NewWindowVerdict::kUntouched;
  host.on_prompt = [&] {
    if (host.prompts == 1) host.Post([&] { second = Decide("http://second.example/"); });
    if (host.prompts == 2) {
      host.Post([&] {
        state.boolAllowSite = true;
        state.boolAnswered = true;
      });
    }
  };
  EXPECT_EQ(Decide("http://first.example/"), NewWindowVerdict::kLetThrough);
  EXPECT_EQ(second, NewWindowVerdict::kLetThrough);
  EXPECT_EQ(host.prompts, 2);
  EXPECT_EQ(state.strCurrentSite, "second.example");
}

}  // namespace
}  // namespace quellix
