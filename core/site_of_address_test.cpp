#include "core/site_of_address.h"

#include <gtest/gtest.h>

namespace quellix {
namespace {

TEST(SiteOfAddress, SchemesAreRemovedAnywhereAndInAnyCase) {
  EXPECT_EQ(SiteOfAddress("http://WWW.Example.COM/path/page.html?next=http://other.example/"), "WWW.Example.COM");
  EXPECT_EQ(SiteOfAddress("HTTPS://Shop.example/basket"), "Shop.example");
  EXPECT_EQ(SiteOfAddress("HtTp://host.example"), "host.example");
  // "https://" holds no "http://", so it goes in the second pass.
  EXPECT_EQ(SiteOfAddress("https://a.example"), "a.example");
  // Removal is one pass over the text; what removal joins up is not removed again.
  EXPECT_EQ(SiteOfAddress("hthttp://tp://x.example"), "http:");
}

TEST(SiteOfAddress, CutAtFirstSlash) {
  EXPECT_EQ(SiteOfAddress("http://host.example/a/b/c"), "host.example");
  EXPECT_EQ(SiteOfAddress("http://host.example/"), "host.example");
  EXPECT_EQ(SiteOfAddress("host.example"), "host.example");
  EXPECT_EQ(SiteOfAddress("/leading"), "");
}

TEST(SiteOfAddress, OtherAddresses) {
  EXPECT_EQ(SiteOfAddress("about:blank"), "about:blank");
  EXPECT_EQ(SiteOfAddress("ftp://files.example/pub"), "ftp:");
  EXPECT_EQ(SiteOfAddress("file:///C:/page.html"), "file:");
  EXPECT_EQ(SiteOfAddress(""), "");
  EXPECT_EQ(SiteOfAddress("http://"), "");
}

TEST(LinkStatusText, EightCharactersAndAPrefix) {
  EXPECT_FALSE(IsLinkStatusText("http://"));   // 7 characters
  EXPECT_TRUE(IsLinkStatusText("http://a"));   // 8
  EXPECT_TRUE(IsLinkStatusText("https://"));   // 8 characters: the rule counts it
  EXPECT_TRUE(IsLinkStatusText("HTTPS://SHOP.EXAMPLE"));
  EXPECT_TRUE(IsLinkStatusText("Http://host.example/page"));
  EXPECT_FALSE(IsLinkStatusText("Done"));
  EXPECT_FALSE(IsLinkStatusText(""));
  EXPECT_FALSE(IsLinkStatusText("Opening page http://host.example"));
  EXPECT_FALSE(IsLinkStatusText("ftp://files.example"));
}

}  // namespace
}  // namespace quellix
