// The CardDAV store's HTTP requests, through libcurl. Only the three reading
// methods are ever sent. Bounded: a connection that takes longer than its
// connect timeout, or a transfer that makes no progress for the stall limit,
// ends the request as failed. TLS certificates are always verified against
// the system's store. Credentials go to libcurl as user name and password,
// never inside a URL.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace carddav {

enum class Method { kPropfind, kReport, kGet };

struct Request {
  Method method = Method::kPropfind;
  std::string url;
  std::string depth;  // the Depth header ("0", "1"), none when empty
  std::string body;   // an XML body, none when empty
};

struct Credentials {
  std::string user;
  std::string password;
};

struct Response {
  bool completed = false;  // false: unreachable, timed out, cut short, refused by the sink
  long status = 0;
  std::string effectiveUrl;  // where the request ended after redirects
};

// Each piece of the body as it arrives; returning false abandons the
// transfer. The body of a non-2xx answer is not handed on.
using BodySink = std::function<bool(std::string_view)>;

// Sends `request`; with credentials, Basic or Digest authentication as the
// server asks.
Response Send(const Request& request, const std::optional<Credentials>& credentials, const BodySink& sink);

// For the program's tests only: the connect timeout and the stall limit in
// seconds (10 and 60 unless changed here). Nothing the program reads sets them.
void SetTimeoutsForTesting(long connectSeconds, long stallSeconds);

}  // namespace carddav
