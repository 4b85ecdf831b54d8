#include "core/site_list_text.h"

#include <gtest/gtest.h>

#include <random>

#include "text/letter_case.h"

namespace quellix {
namespace {

TEST(SiteListText, MembershipIsASubstringIgnoringCase) {
  SiteListText list("ads.tracker.example\r\nNews.Example\r\n");
  EXPECT_TRUE(list.Contains("news.example"));
  EXPECT_TRUE(list.Contains("NEWS.EXAMPLE"));
  EXPECT_TRUE(list.Contains("tracker.example"));        // part of a longer entry
  EXPECT_TRUE(list.Contains("ews.Exa"));
  EXPECT_FALSE(list.Contains("www.news.example"));     // longer than every entry
  EXPECT_TRUE(list.Contains("example\r\nNews"));       // only a site holding CR LF spans entries
  EXPECT_FALSE(list.Contains("examplenews"));
}

TEST(SiteListText, EmptySiteAndEmptyList) {
  EXPECT_TRUE(SiteListText("a\r\n").Contains(""));
  EXPECT_TRUE(SiteListText("\r\n").Contains(""));
  EXPECT_FALSE(SiteListText("").Contains(""));
  EXPECT_FALSE(SiteListText("").Contains("host.example"));
  EXPECT_FALSE(SiteListText().Contains("a"));
}

TEST(SiteListText, ShortSitesAndLatin1Letters) {
  SiteListText list("www.b\xC3\x9C" "cher.example\r\nab\r\n");
  EXPECT_TRUE(list.Contains("B"));
  EXPECT_TRUE(list.Contains("AB"));
  EXPECT_TRUE(list.Contains("b\xC3\xBC" "cher"));  // ü against Ü
  EXPECT_FALSE(list.Contains("ac"));
}

TEST(SiteListText, AppendKeepsTheIndexExact) {
  SiteListText list;
  for (int i = 0; i < 200; ++i) list.Append("host" + std::to_string(i) + ".example\r\n");
  EXPECT_TRUE(list.Contains("host0.example"));
  EXPECT_TRUE(list.Contains("HOST199.EXAMPLE"));
  EXPECT_FALSE(list.Contains("host200.example"));
  // An append that continues an unterminated last line.
  SiteListText open("first.exa");
  open.Append("mple\r\nsecond.example\r\n");
  EXPECT_TRUE(open.Contains("first.example"));
  EXPECT_EQ(open.Text(), "first.example\r\nsecond.example\r\n");
  // The text comes back with its capitals, also where an append splits a
  // two-byte letter (the capital \xC3\x9C split after its first byte).
  SiteListText mixed("News.Example\r\nB\xC3");
  mixed.Append("\x9C" "CHER\r\n");
  EXPECT_EQ(mixed.Text(), "News.Example\r\nB\xC3\x9C" "CHER\r\n");
  EXPECT_TRUE(mixed.Contains("b\xC3\xBC" "cher"));
}

// The index must answer exactly as a plain search of the whole text does.
TEST(SiteListText, AgreesWithAPlainSearchOnRandomLists) {
  std::mt19937 random(12345);
  const std::string alphabet = "abcAB.-\xC3\x84\xC3\xA4 \r\n";
  auto random_text = [&](int length) {
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(alphabet[random() % alphabet.size()]);
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    SiteListText list(random_text(static_cast<int>(random() % 400)));
    if (round % 3 == 0) list.Append(random_text(static_cast<int>(random() % 40)));
    for (int probe = 0; probe < 40; ++probe) {
      const std::string site = random_text(static_cast<int>(random() % 6));
      EXPECT_EQ(list.Contains(site), ContainsIgnoringCase(list.Text(), site))
          << "site [" << site << "] round " << round;
    }
  }
}

// Lists and sites shaped to defeat an index: entries made of the same few
// pieces, sites of the commonest pieces, periodic and very long sites. The
// answer is still exactly the plain search's.
TEST(SiteListText, AgreesWithAPlainSearchOnAdversarialShapes) {
  std::mt19937 random(777);
  const std::vector<std::string> pieces = {"www.", "w", "ww", ".com", ".co.uk", ".co", "com", "o", "m.", "WWW."};
  auto joined = [&](int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += pieces[random() % pieces.size()];
    return s;
  };
  for (int round = 0; round < 60; ++round) {
    std::string text;
    const int entries = 1 + static_cast<int>(random() % (round < 50 ? 300 : 3000));
    for (int i = 0; i < entries; ++i) text += joined(1 + static_cast<int>(random() % 6)) + "\r\n";
    SiteListText list(text);
    EXPECT_EQ(list.Text(), text);
    std::vector<std::string> sites = {"w", "ww", "com", "www.", "www.com", "www.co", ".co.uk", "wwwwwwww",
                                      std::string(2000, 'w'), "www.comwww.com", "m.www.co.ukx"};
    for (int probe = 0; probe < 60; ++probe) {
      std::string site = joined(1 + static_cast<int>(random() % 5));
      if (probe % 3 == 0 && site.size() > 2) site[random() % site.size()] = "wWm.xc"[random() % 6];
      sites.push_back(site);
    }
    for (const std::string& site : sites) {
      EXPECT_EQ(list.Contains(site), ContainsIgnoringCase(text, site)) << "site [" << site << "] round " << round;
    }
  }
}

}  // namespace
}  // namespace quellix
