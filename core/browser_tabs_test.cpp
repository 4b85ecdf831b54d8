// The messages from the extension, their framing, and the browser tabs as
// windows of the popup interception: hostile input, two connections at once,
// answers that come after their connection has gone, requests asked again.
#include "core/browser_tabs.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/message_frames.h"
#include "core/testing/scripted_popup_host.h"

namespace quellix {
namespace {

using namespace browser_message;

TEST(BrowserMessage, HostileTextsAreInvalidAndKeepTheirIdWhenOneCanBeRead) {
  const std::string deep = std::string(kMaxDepth + 2, '[') + std::string(kMaxDepth + 2, ']');
  const struct {
    std::string text;
    std::optional<std::string> id;
  } cases[] = {
      {"", std::nullopt},
      {"not json", std::nullopt},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"x\"", std::nullopt},  // cut short
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"x\"} {}", std::nullopt},
      {"[1,2]", std::nullopt},
      {"{\"a\":" + deep + "}", std::nullopt},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"\xC3\"}", std::nullopt},      // broken UTF-8
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"\xED\xA0\x80\"}", std::nullopt},  // raw surrogate
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"a\x01\"}", std::nullopt},  // raw control character
      {"{\"type\":\"newWindow\",\"type\":\"status\",\"id\":\"a\",\"tab\":1,\"url\":\"x\"}", std::nullopt},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":-1,\"url\":\"x\"}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1.5,\"url\":\"x\"}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":\"1\",\"url\":\"x\"}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":9007199254740992,\"url\":\"x\"}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"x\",\"more\":1}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"a\",\"tab\":1,\"url\":\"x\",\"target\":null}", "a"},
      {"{\"type\":\"newWindow\",\"id\":\"" + std::string(kMaxIdLength + 1, 'i') + "\",\"tab\":1,\"url\":\"x\"}",
       std::nullopt},
      {"{\"type\":\"newWindow\",\"id\":7,\"tab\":1,\"url\":\"x\"}", std::nullopt},
      {"{\"type\":\"open\",\"id\":\"a\"}", "a"},
      {"{\"id\":\"a\"}", "a"},
      {"{\"type\":\"status\",\"tab\":1}", std::nullopt},
      {"{\"type\":\"tabClosed\"}", std::nullopt},
      {"{\"type\":\"listen\",\"id\":\"l\"}", "l"},
  };
  for (const auto& c : cases) {
    const Message message = Parse(c.text);
    ASSERT_TRUE(std::holds_alternative<Invalid>(message)) << c.text;
    EXPECT_EQ(std::get<Invalid>(message).id, c.id) << c.text;
  }
}

TEST(BrowserMessage, ValidMessagesReadAsTheyWereMeantAndSurviveARoundTrip) {
  EXPECT_EQ(Parse(" { \"url\" : \"http://a.example/\\u00e9\\ud83d\\ude00\\ud800x\\n\\\"\" , \"tab\":0,"
                  "\"id\":\"r1\",\"type\":\"newWindow\"}\r\n"),
            Message(NewWindowRequest{"r1", 0, "http://a.example/\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDx\n\""}));
  EXPECT_EQ(Parse("{\"type\":\"status\",\"tab\":9007199254740991,\"text\":\"\"}"),
            Message(StatusText{9007199254740991, ""}));
  EXPECT_EQ(Parse("{\"type\":\"tabClosed\",\"tab\":12}"), Message(TabClosed{12}));

  EXPECT_EQ(Parse("{\"type\":\"newWindow\",\"id\":\"r\",\"tab\":1,\"url\":\"u\",\"target\":\"t\"}"),
            Message(NewWindowRequest{"r", 1, "u", "t"}));
  const Message messages[] = {NewWindowRequest{"id \"1\"", 5, "a\x01\x1f\\/\t\r\xE2\x82\xAC"},
                              NewWindowRequest{"t", 5, "http://a.example/", "https://b.example/?q=\"x\""},
                              StatusText{3, "https://link.example/?q=\"x\""}, TabClosed{0}};
  for (const auto& message : messages) EXPECT_EQ(Parse(Serialize(message)), message);

  for (const auto& verdict : {VerdictMessage{"r\\1", Verdict::kBlock}, VerdictMessage{std::nullopt, Verdict::kLeave}})
    EXPECT_EQ(ParseVerdict(Serialize(verdict)), verdict);
  EXPECT_EQ(ParseVerdict("{\"type\":\"verdict\",\"id\":\"a\",\"verdict\":\"maybe\"}"), std::nullopt);
  EXPECT_EQ(ParseVerdict("{\"type\":\"verdict\",\"id\":1,\"verdict\":\"block\"}"), std::nullopt);

  EXPECT_EQ(Parse(Serialize(Message(Listen{}))), Message(Listen{}));
  EXPECT_EQ(Parse("{\"type\":\"popupRule\",\"id\":\"p\",\"url\":\"https://a.example/\"}"),
            Message(PopupRuleQuery{"p", "https://a.example/"}));
  for (const auto& rule : {PopupRuleAnswer{"p", true, true}, PopupRuleAnswer{"p", true, false}, PopupRuleAnswer{"p"}})
    EXPECT_EQ(ParseAnswer(Serialize(rule)), Answer(rule));
}

TEST(BrowserMessage, NewsReadsBackOnlyInItsExactShapeAndIsNeverAnAnswer) {
  const News all[] = {SwitchesNews{true, false, true}, SwitchesNews{}, AllowNextNews{true}, AllowNextNews{false},
                      ListsChangedNews{}, ProgramGoneNews{}};
  for (const News& news : all) {
    EXPECT_EQ(ParseNews(Serialize(news)), news) << Serialize(news);
    EXPECT_EQ(ParseAnswer(Serialize(news)), std::nullopt) << Serialize(news);
  }
  EXPECT_EQ(Serialize(News(SwitchesNews{true, false, true})),
            "{\"type\":\"switches\",\"blocking\":true,\"setupMode\":false,\"exceptions\":true}");
  // What the host must not pass on: wrong members, wrong kinds, extras, an
  // answer's shape, or something that is no news at all.
  for (const char* text : {"{\"type\":\"switches\",\"blocking\":true,\"setupMode\":false}",
                           "{\"type\":\"switches\",\"blocking\":1,\"setupMode\":false,\"exceptions\":true}",
                           "{\"type\":\"allowNext\",\"set\":\"true\"}", "{\"type\":\"allowNext\",\"set\":true,\"id\":\"x\"}",
                           "{\"type\":\"listsChanged\",\"lists\":[]}", "{\"type\":\"programGone\",\"running\":false}",
                           "{\"type\":\"verdict\",\"id\":null,\"verdict\":\"leave\"}", "{\"type\":\"news\"}",
                           "[\"programGone\"]", "{\"type\":\"programGone\"", ""})
    EXPECT_EQ(ParseNews(text), std::nullopt) << text;
}

TEST(MessageFrames, MessagesComeWholeFromAnyPiecesAndTooLongOnesAreSkipped) {
  const std::string stream = FrameMessage("first") + FrameMessage("") + FrameMessage(std::string(40, 'x')) +
                             FrameMessage("last");
  for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
    MessageFrameReader reader(10);
    std::vector<MessageFrameReader::Frame> frames;
    for (std::size_t at = 0; at < stream.size(); at += piece)
      reader.Feed(std::string_view(stream).substr(at, piece), [&](auto frame) { frames.push_back(std::move(frame)); });
    ASSERT_EQ(frames.size(), 4u) << piece;
    EXPECT_EQ(frames[0].payload, "first");
    EXPECT_FALSE(frames[1].too_long);
    EXPECT_EQ(frames[1].payload, "");
    EXPECT_TRUE(frames[2].too_long);
    EXPECT_EQ(frames[2].payload, "");
    EXPECT_EQ(frames[3].payload, "last");
    EXPECT_TRUE(reader.AtBoundary());
  }
  // A length of 4 GiB - 1 is skipped, not allocated.
  MessageFrameReader reader(kMaxPipeMessage);
  int frames = 0;
  reader.Feed(std::string("\xFF\xFF\xFF\xFF", 4) + std::string(1000, 'y'), [&](auto) { ++frames; });
  EXPECT_EQ(frames, 0);
  EXPECT_FALSE(reader.AtBoundary());
}

class BrowserTabsTest : public ::testing::Test {
 protected:
  BrowserTabsTest() { state.strAllowed = SiteListText("allowed.example\r\n"); }

  static std::string Ask(const std::string& id, int tab, const std::string& url) {
    return Serialize(NewWindowRequest{id, tab, url});
  }
  // The answers sent to a connection, and apart from them what it was told unasked.
  std::vector<std::string> SentTo(BrowserTabs::ConnectionId connection) const { return Sent(connection, false); }
  std::vector<std::string> ToldTo(BrowserTabs::ConnectionId connection) const { return Sent(connection, true); }
  std::vector<std::string> Sent(BrowserTabs::ConnectionId connection, bool news) const {
    std::vector<std::string> texts;
    for (const auto& [to, text] : sent)
      if (to == connection && ParseNews(text).has_value() == news) texts.push_back(text);
    return texts;
  }
  static std::string Said(const std::string& id, Verdict verdict) { return Serialize(VerdictMessage{id, verdict}); }

  ProgramState state;
  testing::ScriptedPopupHost host{state, {.chkStopPop = true, .chkLinks = true}};
  std::vector<std::pair<BrowserTabs::ConnectionId, std::string>> sent;
  BrowserTabs tabs{state, host, [this](BrowserTabs::ConnectionId to, const std::string& text) {
                     sent.emplace_back(to, text);
                   }};
};

TEST_F(BrowserTabsTest, EachTabIsDecidedAsABrowserWindowAndStrangersAreNeverDecidedFor) {
  tabs.Connected(1, true);
  tabs.Received(1, Ask("a", 7, "http://Popper.example/page"));
  tabs.Received(1, Ask("b", 7, "https://allowed.example/x"));
  const std::string link = "http://link.example/";
  const auto ask_for_link = [&](const std::string& id) {
    tabs.Received(1, Serialize(NewWindowRequest{id, 8, "http://popper.example/", link}));
  };
  tabs.Received(1, Serialize(StatusText{8, link}));
  ask_for_link("c");
  tabs.Received(1, Serialize(TabClosed{8}));
  ask_for_link("d");  // the closed tab's link went with it
  EXPECT_EQ(SentTo(1), (std::vector<std::string>{Said("a", Verdict::kBlock), Said("b", Verdict::kLeave),
                                                 Said("c", Verdict::kLeave), Said("d", Verdict::kBlock)}));
  EXPECT_EQ(state.intStopped, 2);

  // Something else of the user's on the pipe: a defined answer, no decision.
  tabs.Connected(2, false);
  tabs.Received(2, Ask("e", 1, "http://popper.example/"));
  tabs.Received(2, Serialize(StatusText{1, "http://link.example/"}));
  tabs.Received(2, "\x01garbage");
  tabs.ReceivedTooLong(2);
  EXPECT_EQ(SentTo(2), (std::vector<std::string>{Said("e", Verdict::kLeave), Serialize(VerdictMessage{}),
                                                 Serialize(VerdictMessage{})}));
  EXPECT_EQ(state.intStopped, 2);
  EXPECT_EQ(state.strStatusText, "");
}

// With Exceptions on, the link under a tab's pointer lets through only that
// tab's request for that very address, once per request, and never touches
// the program-wide status text or allow-next flag that Internet Explorer
// windows share.
TEST_F(BrowserTabsTest, ALinkLetsThroughOnlyItsOwnTabsRequestForItsAddress) {
  tabs.Connected(1, true);
  const std::string link = "https://link.example/page";
  const auto ask = [&](const std::string& id, int tab, const std::string& target) {
    tabs.Received(1, Serialize(NewWindowRequest{id, tab, "http://popper.example/", target}));
  };
  tabs.Received(1, Serialize(StatusText{8, link}));
  ask("other tab", 7, link);
  ask("other address", 8, "https://ad.example/");
  ask("no address", 8, "");
  ask("its link", 8, link);
  ask("its link again", 8, link);
  EXPECT_FALSE(state.boolAllowNext);
  EXPECT_EQ(state.strStatusText, "");

  // Allow Next set by the user is neither used nor set by a link.
  state.boolAllowNext = true;
  ask("link with allow-next", 8, link);
  EXPECT_TRUE(state.boolAllowNext);
  ask("allow-next", 7, "https://ad.example/");
  EXPECT_FALSE(state.boolAllowNext);

  host.options.chkLinks = false;
  ask("Exceptions off", 8, link);
  host.options.chkLinks = true;
  tabs.Received(1, Serialize(StatusText{8, "http://"}));
  ask("not a link", 8, "http://");
  tabs.Received(1, Serialize(StatusText{8, ""}));
  ask("pointer gone", 8, link);
  EXPECT_EQ(SentTo(1), (std::vector<std::string>{
                           Said("other tab", Verdict::kBlock), Said("other address", Verdict::kBlock),
                           Said("no address", Verdict::kBlock), Said("its link", Verdict::kLeave),
                           Said("its link again", Verdict::kLeave), Said("link with allow-next", Verdict::kLeave),
                           Said("allow-next", Verdict::kLeave), Said("Exceptions off", Verdict::kBlock),
                           Said("not a link", Verdict::kBlock), Said("pointer gone", Verdict::kBlock)}));
  EXPECT_EQ(state.intStopped, 6);
}

TEST_F(BrowserTabsTest, ABlockGoesBackBeforeMessagesRunAndItsSoundNeverHoldsUpTheNext) {
  host.options.chkSound = true;
  tabs.Connected(1, true);
  // Runs in the first block's message processing: its verdict is out, and
  // the next request is decided there, its verdict out before any sound.
  std::vector<std::string> seen_while_pumping;
  int sounds_while_pumping = -1;
  host.Post([&] {
    seen_while_pumping = SentTo(1);
    tabs.Received(1, Ask("b", 7, "http://popper.example/"));
    sounds_while_pumping = host.started_sounds + host.sounds;
  });
  tabs.Received(1, Ask("a", 7, "http://popper.example/"));
  EXPECT_EQ(seen_while_pumping, std::vector<std::string>{Said("a", Verdict::kBlock)});
  EXPECT_EQ(sounds_while_pumping, 1);  // "b"'s own, started after its verdict
  EXPECT_EQ(SentTo(1), (std::vector<std::string>{Said("a", Verdict::kBlock), Said("b", Verdict::kBlock)}));
  // Started, never played to the end before an answer.
  EXPECT_EQ(host.started_sounds, 2);
  EXPECT_EQ(host.sounds, 0);
  EXPECT_EQ(state.intStopped, 2);

  // A block from the prompt's answer is told first too, and only once.
  host.options.chkAuto = true;
  host.answer = false;
  tabs.Received(1, Ask("c", 7, "http://neither.example/"));
  EXPECT_EQ(SentTo(1).back(), Said("c", Verdict::kBlock));
  EXPECT_EQ(SentTo(1).size(), 3u);
  EXPECT_EQ(host.started_sounds, 3);
}

TEST_F(BrowserTabsTest, EveryBrowserIsToldEachChangeAndAskedRulesChangeNothing) {
  host.options.chkAuto = true;
  tabs.Connected(1, true);
  tabs.Connected(2, false);  // a stranger hears nothing
  tabs.Connected(4, true);   // nor does a host's one-shot question, which never listens
  const std::string listen = Serialize(Message(Listen{}));
  tabs.Received(1, listen);
  tabs.Received(2, listen);
  state.boolAllowNext = true;
  tabs.Connected(3, true);
  tabs.Received(3, listen);
  const std::string on_connect = Serialize(News(SwitchesNews{true, true, true}));
  EXPECT_EQ(ToldTo(1), (std::vector<std::string>{on_connect, Serialize(News(AllowNextNews{false}))}));
  EXPECT_EQ(ToldTo(3), (std::vector<std::string>{on_connect, Serialize(News(AllowNextNews{true}))}));
  sent.clear();

  host.options.chkLinks = false;
  tabs.SwitchesChanged();
  state.boolAllowNext = false;
  tabs.AllowNextChanged();
  tabs.ListsChanged();
  tabs.ProgramGoing();
  const std::vector<std::string> told{Serialize(News(SwitchesNews{true, true, false})),
                                      Serialize(News(AllowNextNews{false})), Serialize(News(ListsChangedNews{})),
                                      Serialize(News(ProgramGoneNews{}))};
  EXPECT_EQ(ToldTo(1), told);
  EXPECT_EQ(ToldTo(3), told);
  EXPECT_TRUE(ToldTo(2).empty());
  EXPECT_TRUE(ToldTo(4).empty());
  sent.clear();

  // Let through by its site only with blocking on; asking decides, counts,
  // prompts and clears nothing, even with allow-next set.
  state.boolAllowNext = true;
  tabs.Received(1, Serialize(PopupRuleQuery{"r1", "https://ALLOWED.example/x?y#z"}));
  tabs.Received(1, Serialize(PopupRuleQuery{"r2", "https://neither.example/"}));
  host.options.chkStopPop = false;
  tabs.Received(3, Serialize(PopupRuleQuery{"r3", "https://allowed.example/"}));
  tabs.Received(2, Serialize(PopupRuleQuery{"r4", "https://allowed.example/"}));
  EXPECT_EQ(SentTo(1), (std::vector<std::string>{Serialize(Answer(PopupRuleAnswer{"r1", true, true})),
                                                 Serialize(Answer(PopupRuleAnswer{"r2", true, false}))}));
  EXPECT_EQ(SentTo(3), std::vector<std::string>{Serialize(Answer(PopupRuleAnswer{"r3", true, false}))});
  EXPECT_EQ(SentTo(2), std::vector<std::string>{Said("r4", Verdict::kLeave)});
  EXPECT_TRUE(state.boolAllowNext);
  EXPECT_EQ(host.prompts, 0);
  EXPECT_EQ(state.intStopped, 0);
}

TEST_F(BrowserTabsTest, AWaitingPromptKeepsServingOtherConnectionsEachGettingItsOwnAnswers) {
  host.options.chkAuto = true;
  tabs.Connected(1, true);
  tabs.Connected(2, true);
  host.on_prompt = [&] {
    host.on_prompt = nullptr;
    // The same tab id in another browser, asking while the prompt is up.
    host.Post([&] { tabs.Received(2, Ask("b", 5, "http://allowed.example/")); });
    host.Post([&] { tabs.Received(2, Ask("c", 5, "http://other.example/")); });
    host.PostAnswer(false);
  };
  tabs.Received(1, Ask("a", 5, "http://neither.example/"));
  // "c" waited on the same prompt (both end on the one answer, as for
  // Internet Explorer windows); "b" was answered while the prompt stood.
  EXPECT_EQ(SentTo(1), std::vector<std::string>{Said("a", Verdict::kBlock)});
  EXPECT_EQ(SentTo(2), (std::vector<std::string>{Said("b", Verdict::kLeave), Said("c", Verdict::kBlock)}));
  EXPECT_EQ(state.intStopped, 2);
}

TEST_F(BrowserTabsTest, AnAnswerForAGoneConnectionIsDroppedAndARequestAskedAgainIsAnsweredOnce) {
  host.options.chkAuto = true;
  tabs.Connected(1, true);
  tabs.Connected(2, true);
  // The extension's worker stops while the prompt waits; the new worker asks
  // again on a new connection, then the user answers.
  host.on_prompt = [&] {
    host.on_prompt = nullptr;
    host.Post([&] {
      tabs.Disconnected(1);
      tabs.Connected(3, true);
      tabs.Received(3, Ask("a", 5, "http://neither.example/"));
    });
    host.PostAnswer(false);
  };
  tabs.Received(1, Ask("a", 5, "http://neither.example/"));
  EXPECT_TRUE(SentTo(1).empty());
  EXPECT_TRUE(SentTo(2).empty());  // nothing goes to another browser
  EXPECT_EQ(SentTo(3), std::vector<std::string>{Said("a", Verdict::kBlock)});
  EXPECT_EQ(host.prompts, 1);
  EXPECT_EQ(state.intStopped, 1);

  // Answered while nobody listened: asked again, the answer is the one decided.
  host.on_prompt = [&] {
    host.on_prompt = nullptr;
    host.Post([&] { tabs.Disconnected(3); });
    host.PostAnswer(false);
  };
  tabs.Received(3, Ask("b", 5, "http://neither2.example/"));
  tabs.Connected(4, true);
  tabs.Received(4, Ask("b", 5, "http://neither2.example/"));
  EXPECT_EQ(SentTo(4), std::vector<std::string>{Said("b", Verdict::kBlock)});
  EXPECT_EQ(host.prompts, 2);
  EXPECT_EQ(state.intStopped, 2);

  // Still answered once after as many other requests as the extension keeps
  // waiting at most (its MAX_PENDING), each decided in between.
  constexpr int kExtensionKeepsWaiting = 2048;
  host.options.chkAuto = false;
  for (int i = 0; i < kExtensionKeepsWaiting; ++i)
    tabs.Received(4, Ask("flood" + std::to_string(i), 6, "http://flood.example/"));
  tabs.Received(4, Ask("b", 5, "http://neither2.example/"));
  EXPECT_EQ(SentTo(4).back(), Said("b", Verdict::kBlock));
  EXPECT_EQ(state.intStopped, 2 + kExtensionKeepsWaiting);
}

TEST_F(BrowserTabsTest, ARunawayConnectionCannotPileUpTabs) {
  tabs.Connected(1, true);
  const int last_tab = static_cast<int>(BrowserTabs::kMaxTabsPerConnection) + 9;
  const auto link_of = [](int tab) { return "http://link" + std::to_string(tab) + ".example/"; };
  for (int tab = 0; tab <= last_tab; ++tab) tabs.Received(1, Serialize(StatusText{tab, link_of(tab)}));
  // The first tabs were let go to make room; the latest is still known.
  tabs.Received(1, Serialize(NewWindowRequest{"first", 0, "http://popper.example/", link_of(0)}));
  tabs.Received(1, Serialize(NewWindowRequest{"latest", last_tab, "http://popper.example/", link_of(last_tab)}));
  EXPECT_EQ(SentTo(1), (std::vector<std::string>{Said("first", Verdict::kBlock), Said("latest", Verdict::kLeave)}));
}

}  // namespace
}  // namespace quellix
