// The URL forms a CardDAV store's hrefs take.
#include <gtest/gtest.h>

#include "store/carddav/carddav_url.h"

namespace {

TEST(CardDavUrlTest, ResolvesAndComparesHrefs) {
  EXPECT_EQ(carddav::Resolve("https://h.example:8443/a/b/", "/x/y/"), "https://h.example:8443/x/y/");
  EXPECT_EQ(carddav::Resolve("https://h.example/a/b/", "c.vcf"), "https://h.example/a/b/c.vcf");
  EXPECT_EQ(carddav::Resolve("https://h.example/a/b/", "http://o.example/z"), "http://o.example/z");
  EXPECT_EQ(carddav::PathOf("https://h.example/a%20b/c/"), carddav::PathOf("/a b/c"));
  // One card spelt two ways: unreserved characters escaped or not, escape
  // digits in either case; an escaped slash or "@" is not the character.
  EXPECT_EQ(carddav::CardPath("https://h.example/b/c%31%7e%2f.vcf"), "/b/c1~%2F.vcf");
  EXPECT_EQ(carddav::CardPath("/b/c1~%2F.vcf"), "/b/c1~%2F.vcf");
  EXPECT_NE(carddav::CardPath("/b/a%2Fb.vcf"), carddav::CardPath("/b/a/b.vcf"));
  EXPECT_NE(carddav::CardPath("/b/a%40b.vcf"), carddav::CardPath("/b/a@b.vcf"));
  EXPECT_EQ(carddav::LastSegment("/home/%E9%80%A3/"), "\xE9\x80\xA3");
  EXPECT_EQ(carddav::HostOf("http://[::1]:5232/"), "::1");
  EXPECT_EQ(carddav::HostOf("https://dav.example:8443/x"), "dav.example");
  EXPECT_EQ(carddav::WithoutUserInfo("http://alice:pw@127.0.0.1:5232/a@b/"), "http://127.0.0.1:5232/a@b/");
  EXPECT_TRUE(carddav::IsServerUrl("HTTPS://dav.example/"));
  EXPECT_FALSE(carddav::IsServerUrl("https://user:pw@dav.example/"));  // credentials never in a URL
  EXPECT_FALSE(carddav::IsServerUrl("ftp://dav.example/"));
}

}  // namespace
