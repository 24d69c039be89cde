// Which requests of a CardDAV store may carry the login of its url line.
#include <gtest/gtest.h>

#include "store/carddav/carddav_origin.h"

namespace {

TEST(CardDavOriginTest, LoginGoesToTheOriginOrItsSiblingsOverHttpsOnly) {
  struct Case {
    const char* configured;
    const char* request;
    bool login;
  } cases[] = {
      // One origin: default ports filled in, host and scheme in any case.
      {"http://127.0.0.1:5232/", "http://127.0.0.1:5232/alice/book/", true},
      {"https://dav.example.org/", "https://DAV.Example.ORG:443/x/", true},
      {"HTTP://dav.example.org:80/", "http://dav.example.org/x/", true},
      {"http://[::1]:5232/", "http://[0:0::1]:5232/a/", true},
      {"http://127.0.0.1:5232/", "http://127.1:5232/a/", true},  // libcurl's reading of the address
      // Another port or host name of the same machine: no consent in netrc.
      {"http://127.0.0.1:5232/", "http://127.0.0.1:5233/", false},
      {"http://127.0.0.1:5232/", "http://localhost:5232/", false},
      {"https://127.0.0.1/", "https://127.0.0.2/", false},  // libpsl would call both "0.x" names
      {"https://10.0.0.1/", "https://10.1.0.1/", false},
      {"https://[::1]/", "https://[::2]/", false},
      // iCloud: discovery at contacts.icloud.com, the home on a numbered host.
      {"https://contacts.icloud.com/", "https://p42-contacts.icloud.com/123/carddavhome/", true},
      {"https://contacts.icloud.com/", "https://P42-Contacts.iCloud.com:443/", true},
      {"https://contacts.icloud.com/", "https://p42-contacts.icloud.com:8443/", false},  // another port
      {"https://contacts.icloud.com/", "http://p42-contacts.icloud.com/", false},        // down to http
      {"https://contacts.icloud.com/", "http://contacts.icloud.com/", false},
      {"http://contacts.icloud.com/", "http://p42-contacts.icloud.com/", false},  // siblings over http
      {"http://contacts.icloud.com/", "https://contacts.icloud.com/", false},     // another scheme
      {"https://contacts.icloud.com/", "https://icloud.com.evil.example/", false},
      {"https://contacts.icloud.com/", "https://evilicloud.com/", false},
      // co.jp is a public suffix: example1.co.jp and example2.co.jp are two owners.
      {"https://a.example.co.jp/", "https://b.example.co.jp/", true},
      {"https://example1.co.jp/", "https://example2.co.jp/", false},
      {"https://co.jp/", "https://a.co.jp/", false},
      // Each github.io site is an owner of its own.
      {"https://alice.github.io/", "https://bob.github.io/", false},
      // Not http(s) or not a URL: nothing.
      {"https://dav.example.org/", "ftp://dav.example.org/", false},
      {"https://dav.example.org/", "/relative/", false},
      {"not a url", "https://dav.example.org/", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(carddav::MaySendLogin(c.configured, c.request), c.login) << c.configured << " -> " << c.request;
  }
}

}  // namespace
