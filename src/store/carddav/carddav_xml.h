// Reading WebDAV multistatus bodies (PROPFIND and REPORT answers) as they
// arrive: each <response> is handed on when it ends, so a listing of a
// hundred thousand cards is never held whole. Namespaces are matched by URI,
// whatever prefixes the server chose.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace carddav {

// One <response>: its href and what its successful (2xx) propstats said.
struct DavResponse {
  std::string href;
  int status = 0;  // the response's own <status> (a multiget's 404), else 0
  bool collection = false;
  bool addressBook = false;
  bool hasDisplayName = false;
  std::string displayName;
  std::string principal;  // current-user-principal's href
  std::string home;       // addressbook-home-set's first href
  bool hasAddressData = false;
  std::string addressData;
};

// The longest text one element may hold (a card with a large photo fits);
// a longer one makes the body malformed.
inline constexpr std::size_t kMaxElementText = 32u << 20;

class MultistatusParser {
 public:
  // `onResponse` sees each response once; returning false stops the parse
  // (the body then counts as malformed).
  explicit MultistatusParser(std::function<bool(DavResponse&)> onResponse);
  ~MultistatusParser();
  MultistatusParser(const MultistatusParser&) = delete;
  MultistatusParser& operator=(const MultistatusParser&) = delete;

  // False once the bytes so far are not well-formed XML or not a
  // multistatus.
  bool Feed(std::string_view bytes);
  // The end of the body: false when it is malformed or incomplete.
  bool Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The status code of an HTTP status line ("HTTP/1.1 404 Not Found"), or 0.
int StatusCodeOf(std::string_view line);

}  // namespace carddav
