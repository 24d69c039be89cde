#include "store/carddav/netrc.h"

#include <vector>

namespace carddav {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The tokens of the file; a macro definition's body (up to a blank line) is
// not made of tokens and is left out.
std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(text[i])) ++i;
    if (i == start) break;
    tokens.push_back(text.substr(start, i - start));
    if (tokens.back() == "macdef") {
      const std::size_t end = text.find("\n\n", i);
      i = end == std::string_view::npos ? text.size() : end + 2;
      tokens.pop_back();
    }
  }
  return tokens;
}

}  // namespace

std::optional<Login> FindLogin(std::string_view text, std::string_view host, std::string_view user) {
  const std::vector<std::string_view> tokens = Tokens(text);
  std::optional<Login> fallback;
  for (std::size_t i = 0; i < tokens.size();) {
    const bool isDefault = tokens[i] == "default";
    if (!isDefault && !(tokens[i] == "machine" && i + 1 < tokens.size())) {
      ++i;
      continue;
    }
    const bool matches = isDefault || tokens[i + 1] == host;
    i += isDefault ? 1 : 2;
    Login login;
    bool hasPassword = false;
    while (i < tokens.size() && tokens[i] != "machine" && tokens[i] != "default") {
      if (i + 1 < tokens.size() && tokens[i] == "login") {
        login.user = tokens[i + 1];
        i += 2;
      } else if (i + 1 < tokens.size() && tokens[i] == "password") {
        login.password = tokens[i + 1];
        hasPassword = true;
        i += 2;
      } else {
        i += (i + 1 < tokens.size() && tokens[i] == "account") ? 2 : 1;
      }
    }
    if (!matches || !hasPassword || (!user.empty() && login.user != user)) continue;
    if (!isDefault) return login;
    if (!fallback) fallback = std::move(login);
  }
  return fallback;
}

}  // namespace carddav
