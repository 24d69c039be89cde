// The user's netrc file, where a CardDAV store's password lives: never in the
// store's own file, on a command line or in any output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace carddav {

struct Login {
  std::string user;
  std::string password;
};

// The login of `host` in the netrc text `text`: the first "machine HOST"
// entry (else the "default" entry) whose login is `user`, or any login when
// `user` is empty. Tokens are separated by white space; "macdef" bodies run
// to the next blank line and are skipped.
std::optional<Login> FindLogin(std::string_view text, std::string_view host, std::string_view user);

// Where the netrc file is: $NETRC, else ~/.netrc (%USERPROFILE%\_netrc on
// Windows). Nothing when neither is set.
std::optional<std::string> NetrcPath();

}  // namespace carddav
