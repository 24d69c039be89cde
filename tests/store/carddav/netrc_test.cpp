// Which netrc login a CardDAV store uses, and the URL forms its hrefs take.
#include <gtest/gtest.h>

#include "store/carddav/carddav_url.h"
#include "store/carddav/netrc.h"

namespace {

TEST(NetrcTest, FindsTheLoginOfTheHostAndUser) {
  const std::string text =
      "machine other.example login bob password b1\n"
      "macdef init\nmachine dav.example login eve password macro\n\n"
      "machine dav.example\n  login bob password b2 account x\n"
      "machine dav.example login carol password c3\n"
      "default login anon password any\n";
  struct Case {
    const char* host;
    const char* user;
    const char* login;  // nullptr: none
    const char* password;
  } cases[] = {
      {"dav.example", "", "bob", "b2"},       // the first entry of the host
      {"dav.example", "carol", "carol", "c3"},
      {"dav.example", "eve", nullptr, nullptr},  // only inside a macro
      {"nowhere.example", "", "anon", "any"},  // the default entry
      {"nowhere.example", "bob", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<carddav::Login> login = carddav::FindLogin(text, c.host, c.user);
    ASSERT_EQ(login.has_value(), c.login != nullptr) << c.host << " " << c.user;
    if (!login) continue;
    EXPECT_EQ(login->user, c.login);
    EXPECT_EQ(login->password, c.password);
  }
}

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
