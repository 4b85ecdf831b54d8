// The extension panel's requests as the program reads and serves them: their
// messages and answers checked as strictly as the new-window requests, the
// state it reports, and "Always allow" landing in the allowed list's file,
// list box and list text, after which the site's windows open.
#include "core/browser_panel_requests.h"

#include <gtest/gtest.h>

#include "core/browser_tabs.h"
#include "core/testing/memory_list_box.h"
#include "core/testing/memory_list_files.h"
#include "core/testing/scripted_popup_host.h"

namespace quellix {
namespace {

using namespace browser_message;

TEST(PanelMessages, HostileRequestsAndAnswersHaveADefinedReadingAndValidOnesSurvive) {
  const struct {
    std::string text;
    std::optional<std::string> id;
  } hostile[] = {
      {R"({"type":"state","id":"a"})", "a"},
      {R"({"type":"state","id":"a","url":7})", "a"},
      {R"({"type":"state","id":"a","url":"x","tab":1})", "a"},
      {R"({"type":"state","url":"x"})", std::nullopt},
      {R"({"type":"allowSite","id":"","url":"x"})", std::nullopt},
      {R"({"type":"allowSite","id":"a","url":null})", "a"},
      {R"({"type":"allowSite","id":"a","url":"x","site":""})", "a"},
      {R"({"type":"allowSite","id":"a","url":"x","site":"a.example","more":1})", "a"},
      {R"({"type":"allowSite","id":"a","url":"x")", std::nullopt},
  };
  for (const auto& c : hostile) {
    const Message message = Parse(c.text);
    ASSERT_TRUE(std::holds_alternative<Invalid>(message)) << c.text;
    EXPECT_EQ(std::get<Invalid>(message).id, c.id) << c.text;
  }
  EXPECT_EQ(Parse(R"({"url":"http://a.example/\u00e9","id":"q","type":"allowSite"})"),
            Message(AllowSiteRequest{"q", "http://a.example/\xC3\xA9"}));
  for (const Message& message : {Message(StateQuery{"s\"1", "a\r\n\x01"}), Message(AllowSiteRequest{"a", ""}),
                                 Message(AllowSiteRequest{"a", "http://b.example/", "b.example"})})
    EXPECT_EQ(Parse(Serialize(message)), message);

  const Answer answers[] = {
      VerdictMessage{"v", Verdict::kLeave},
      StateAnswer{"s", true, true, false, -2147483647 - 1, "Site.example:8080"},
      StateAnswer{"s", false, false, false, 0, ""},
      AllowSiteAnswer{"a", true, false, "x\\y", "could \"not\"\r\nbe written"},
      AllowSiteAnswer{"a", false, false, "", ""},
  };
  for (const Answer& answer : answers) EXPECT_EQ(ParseAnswer(Serialize(answer)), answer) << Serialize(answer);
  // What the host passes on must be exactly one of those shapes.
  for (const char* wrong : {
           R"({"type":"state","id":"s","running":false,"stopped":3})",
           R"({"type":"state","id":"s","running":true,"blocking":true,"setupMode":false,"stopped":1})",
           R"({"type":"state","id":"s","running":true,"blocking":1,"setupMode":false,"stopped":1,"site":""})",
           R"({"type":"state","id":"s","running":true,"blocking":true,"setupMode":false,"stopped":2147483648,"site":""})",
           R"({"type":"state","id":"s","running":true,"blocking":true,"setupMode":false,"stopped":1.5,"site":""})",
           R"({"type":"state","id":null,"running":false})",
           R"({"type":"siteAllowed","id":"a","running":"yes"})",
           R"({"type":"siteAllowed","id":"a","running":true,"ok":true,"site":"x"})",
           R"({"type":"siteAllowed","id":"a","running":true,"ok":true,"site":"x","problem":"","more":0})",
           R"({"type":"verdict","id":"v","verdict":"leave","running":true})",
       })
    EXPECT_EQ(ParseAnswer(wrong), std::nullopt) << wrong;
}

TEST(PanelMessages, OnlyASiteThatCanStandAsAListLineIsOffered) {
  EXPECT_EQ(AllowableSite("https://Shop.example:8443/cart?x=http://y/"), "Shop.example:8443");
  EXPECT_EQ(AllowableSite("about:blank"), "about:blank");
  for (const std::string& url : {std::string(), std::string("http:///path"), std::string("http://a\r\nb.example/"),
                                std::string("http://a\tb/"), std::string("http://a\x7F/"),
                                "http://" + std::string(kMaxPanelSiteLength + 1, 'h') + "/"})
    EXPECT_EQ(AllowableSite(url), std::nullopt) << url;
  EXPECT_TRUE(AllowableSite("http://" + std::string(kMaxPanelSiteLength, 'h') + "/"));
}

class PanelRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    list_files.files[kAllowedFile] = "first.example\r\n";
    list_files.files["C:\\Quellix\\disallowed.txt"] = "\r\n";
    ASSERT_TRUE(lists.LoadAllowed().ok);
    ASSERT_TRUE(lists.LoadDisallowed().ok);
    tabs.Connected(1, true);
  }

  std::string AllowedFile() const { return list_files.files.at(kAllowedFile); }
  // What connection 1 was sent in answer to the last message.
  std::string Exchange(BrowserTabs::ConnectionId connection, const std::string& message) {
    sent.clear();
    tabs.Received(connection, message);
    return sent.size() == 1 && sent[0].first == connection ? sent[0].second : "<" + std::to_string(sent.size()) + ">";
  }

  static constexpr const char* kFolder = "C:\\Quellix";
  static constexpr const char* kAllowedFile = "C:\\Quellix\\allowed.txt";
  ProgramState state;
  testing::ScriptedPopupHost host{state, {.chkStopPop = true}};
  MemoryListBox List1;
  MemoryListBox List2;
  testing::MemoryListFiles list_files;
  Module1 lists{list_files, kFolder, "clicks.quellix.example", state, List1, List2};
  std::vector<std::pair<BrowserTabs::ConnectionId, std::string>> sent;
  BrowserTabs tabs{state, host,
                   [this](BrowserTabs::ConnectionId to, const std::string& text) { sent.emplace_back(to, text); },
                   &lists};
};

TEST_F(PanelRequests, StateAndAlwaysAllowAsTheHostAsksAndNothingForAStranger) {
  const std::string popper = "http://Popper.example:81/page?from=https://else.example/";
  EXPECT_EQ(Exchange(1, Serialize(NewWindowRequest{"w1", 4, popper})), Serialize(VerdictMessage{"w1", Verdict::kBlock}));
  host.options.chkAuto = true;
  EXPECT_EQ(Exchange(1, Serialize(StateQuery{"s1", popper})),
            Serialize(StateAnswer{"s1", true, true, true, 1, "Popper.example:81"}));
  host.options = PopupOptions{};
  EXPECT_EQ(Exchange(1, Serialize(StateQuery{"s2", "http://a\nb/"})),
            Serialize(StateAnswer{"s2", true, false, false, 1, ""}));

  // Something else of the user's on the pipe learns nothing and changes nothing.
  tabs.Connected(2, false);
  EXPECT_EQ(Exchange(2, Serialize(StateQuery{"s3", popper})), Serialize(VerdictMessage{"s3", Verdict::kLeave}));
  EXPECT_EQ(Exchange(2, Serialize(AllowSiteRequest{"a0", popper})), Serialize(VerdictMessage{"a0", Verdict::kLeave}));
  // Neither does a request that cannot be read, nor a site with a line break,
  // nor a site the panel showed that is no longer the page's.
  EXPECT_EQ(Exchange(1, R"({"type":"allowSite","id":"a1","url":"x","site":7})"),
            Serialize(VerdictMessage{"a1", Verdict::kLeave}));
  EXPECT_EQ(Exchange(1, Serialize(AllowSiteRequest{"a1", popper, "shown.example"})),
            Serialize(AllowSiteAnswer{"a1", true, false, "Popper.example:81",
                                      "This tab is now on Popper.example:81, not on shown.example: nothing was "
                                      "added. Open the panel again to allow Popper.example:81."}));
  const std::string refused = Exchange(1, Serialize(AllowSiteRequest{"a2", "http://evil.example\r\nfirst/"}));
  EXPECT_NE(refused.find(R"("ok":false)"), std::string::npos) << refused;
  EXPECT_EQ(AllowedFile(), "first.example\r\n");
  EXPECT_EQ(List1.ListCount(), 1);

  // "Always allow": as the prompt's Allow Always, in the file (whole again),
  // the list box and the list text; the site's next window opens, uncounted.
  EXPECT_EQ(Exchange(1, Serialize(AllowSiteRequest{"a3", popper, "Popper.example:81"})),
            Serialize(AllowSiteAnswer{"a3", true, true, "Popper.example:81", ""}));
  EXPECT_EQ(AllowedFile(), "first.example\r\nPopper.example:81\r\n\r\n");
  ASSERT_EQ(List1.ListCount(), 2);
  EXPECT_EQ(List1.List(1), "Popper.example:81");
  EXPECT_EQ(state.strAllowed.Text(), "first.example\r\nPopper.example:81\r\n");
  host.options.chkStopPop = true;
  EXPECT_EQ(Exchange(1, Serialize(NewWindowRequest{"w2", 4, popper})), Serialize(VerdictMessage{"w2", Verdict::kLeave}));
  EXPECT_EQ(state.intStopped, 1);
}

TEST_F(PanelRequests, AListThatCannotBeWrittenIsReportedAndNoListsAtAllRefuse) {
  // The allowed file could not be loaded: the store refuses every change.
  list_files.files.erase(kAllowedFile);
  MemoryListBox box1;
  MemoryListBox box2;
  Module1 broken{list_files, kFolder, "clicks.quellix.example", state, box1, box2};
  ASSERT_FALSE(broken.LoadAllowed().ok);
  const AllowSiteAnswer answer = AllowSiteAlways(AllowSiteRequest{"a", "http://x.example/"}, &broken);
  EXPECT_TRUE(answer.running);
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.site, "x.example");
  EXPECT_NE(answer.problem.find("\"x.example\" could not be added to the allowed list"), std::string::npos)
      << answer.problem;
  EXPECT_EQ(box1.ListCount(), 0);

  const AllowSiteAnswer none = AllowSiteAlways(AllowSiteRequest{"b", "http://x.example/"}, nullptr);
  EXPECT_FALSE(none.ok);
  EXPECT_FALSE(none.problem.empty());
}

}  // namespace
}  // namespace quellix
