// The CardDAV store's HTTP requests, through libcurl. Only the three reading
// methods are ever sent. Bounded: a connection that takes longer than its
// connect timeout, or a transfer that falls below its pace (below), ends the
// request as failed, and so does a stop request (a signal to end the run).
// TLS certificates are always verified against the system's store.
// Credentials go to libcurl as user name and password, never inside a URL.
//
// A store's requests all go through one libcurl handle (a Handle), so that
// they reuse the connections it keeps open: one connection, one TLS
// handshake, for a whole book instead of one per request. A handle serves
// one thread at a time; each store has its own, and the export reads a
// CardDAV store from a single thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
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

// The libcurl handle of one store, with the connections it keeps open.
struct Handle;
struct HandleDeleter {
  void operator()(Handle* handle) const;
};
using HandlePtr = std::unique_ptr<Handle, HandleDeleter>;
HandlePtr NewHandle();

// Sends `request` through `handle`; with credentials, Basic or Digest
// authentication as the server asks, and without them none at all: nothing
// of an earlier request's settings carries over but the open connections.
Response Send(Handle& handle, const Request& request, const std::optional<Credentials>& credentials,
              const BodySink& sink);

// How slowly a transfer may go. From its start, and again each time it has
// moved `floorBytes` more (sent and received together, the wait for an answer
// included), it has `window` to move the next `floorBytes`. A server that
// sends nothing fails within one window; so does one that trickles (a byte a
// second, for ever), which a check for "any byte lately" would wait on for
// ever. A slow but real server (tens of KiB a second) meets the floor many
// times a second.
struct PaceLimit {
  std::chrono::steady_clock::duration window;
  std::uint64_t floorBytes = 0;
};
inline constexpr PaceLimit kPaceLimit{std::chrono::seconds(60), 1024};
inline constexpr long kConnectSeconds = 10;

// Where a transfer stands against its limit: when its current window began
// and how many bytes had moved by then.
struct Pace {
  std::chrono::steady_clock::time_point windowStart;
  std::uint64_t movedAtStart = 0;
};

// One look at a transfer that has moved `moved` bytes in all by `now`; true
// when it has fallen below `limit` and must end.
bool FallenBehind(Pace& pace, const PaceLimit& limit, std::chrono::steady_clock::time_point now,
                  std::uint64_t moved);

// How an https request trusts its server: the certificate and the host name
// verified, against the operating system's own store. Schannel (Windows) uses
// the Windows certificate store; NATIVE_CA asks the same of libcurl built with
// OpenSSL on Windows, and OpenSSL elsewhere reads the system's bundle either
// way. A revocation server that cannot be reached does not fail the request
// (Schannel checks revocation, OpenSSL does not: both builds then agree).
struct TlsTrust {
  long verifyPeer;
  long verifyHost;
  long sslOptions;
};
TlsTrust HttpsTrust();

// For the program's tests only: the connect timeout in seconds and the pace
// (kConnectSeconds and kPaceLimit unless changed here). Nothing the program
// reads sets them.
void SetTimeoutsForTesting(long connectSeconds, PaceLimit pace);

}  // namespace carddav
