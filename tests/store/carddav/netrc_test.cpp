// Which netrc login a CardDAV store uses.
#include <gtest/gtest.h>

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

}  // namespace
