#include "store/carddav/carddav_http.h"

#include <curl/curl.h>

#include "csv/output_guard.h"
#include "store/carddav/carddav_url.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace carddav {
namespace {

long gConnectSeconds = kConnectSeconds;
PaceLimit gPace = kPaceLimit;

struct Transfer {
  const BodySink* sink = nullptr;
  CURL* curl = nullptr;
  bool refused = false;
  Pace pace{std::chrono::steady_clock::now()};
};

// Ends a transfer that falls below its pace, or that the run no longer wants
// (a stop request, set by a signal to end). libcurl calls this often while
// bytes move, and about once a second when nothing moves (while connecting or
// waiting for an answer too: its wait for the socket lasts at most a
// second), so a stop is seen within a second and a stalled server within a
// second of its window. libcurl's own low-speed check only averages the rate
// over its window, where this one also ends a trickle that never pauses.
int CheckProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  if (csv::StopRequested()) return 1;
  Transfer& transfer = *static_cast<Transfer*>(user);
  const auto moved = static_cast<std::uint64_t>(std::max<curl_off_t>(received, 0) + std::max<curl_off_t>(sent, 0));
  return FallenBehind(transfer.pace, gPace, std::chrono::steady_clock::now(), moved) ? 1 : 0;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  long status = 0;
  curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
  // An error page is not read: only its status matters.
  if (status < 200 || status >= 300) return length;
  if (!(*transfer.sink)(std::string_view(data, length))) {
    transfer.refused = true;
    return 0;
  }
  return length;
}

const char* MethodName(Method method) {
  switch (method) {
    case Method::kPropfind:
      return "PROPFIND";
    case Method::kReport:
      return "REPORT";
    case Method::kGet:
      break;
  }
  return "GET";
}

struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

// Made on the first request, so that a handle that could not be made is
// that request's failure (no answer) like any other.
struct Handle {
  CURL* curl = nullptr;
};

void HandleDeleter::operator()(Handle* handle) const {
  if (handle->curl) curl_easy_cleanup(handle->curl);
  delete handle;
}

HandlePtr NewHandle() { return HandlePtr(new Handle); }

bool FallenBehind(Pace& pace, const PaceLimit& limit, std::chrono::steady_clock::time_point now,
                  std::uint64_t moved) {
  // libcurl counts each request of a redirect anew.
  if (moved < pace.movedAtStart) pace.movedAtStart = 0;
  if (moved - pace.movedAtStart >= limit.floorBytes) {
    pace = Pace{now, moved};
    return false;
  }
  return now - pace.windowStart >= limit.window;
}

void SetTimeoutsForTesting(long connectSeconds, PaceLimit pace) {
  gConnectSeconds = connectSeconds;
  gPace = pace;
}

TlsTrust HttpsTrust() { return {1L, 2L, static_cast<long>(CURLSSLOPT_NATIVE_CA | CURLSSLOPT_REVOKE_BEST_EFFORT)}; }

Response Send(Handle& handle, const Request& request, const std::optional<Credentials>& credentials,
              const BodySink& sink) {
  Response response;
  // A run told to end starts no request.
  if (csv::StopRequested()) return response;
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (!handle.curl) handle.curl = curl_easy_init();
  if (!handle.curl) return response;
  CURL* c = handle.curl;
  // Every option back to libcurl's default (no method, body, headers, user
  // name or password of the last request), keeping only its open
  // connections and its DNS and TLS session caches; each request then sets
  // all it needs.
  curl_easy_reset(c);
  Transfer transfer{&sink, c};
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  const TlsTrust trust = HttpsTrust();
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, trust.verifyPeer);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, trust.verifyHost);
  curl_easy_setopt(c, CURLOPT_SSL_OPTIONS, trust.sslOptions);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, gConnectSeconds);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, CheckProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, MethodName(request.method));
  if (request.method == Method::kGet) {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
  }
  std::unique_ptr<curl_slist, ListDeleter> headers;
  const auto add = [&](const std::string& header) {
    headers.reset(curl_slist_append(headers.release(), header.c_str()));
  };
  if (!request.depth.empty()) add("Depth: " + request.depth);
  if (!request.body.empty()) add("Content-Type: application/xml; charset=utf-8");
  add("Expect:");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  if (credentials) {
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    curl_easy_setopt(c, CURLOPT_USERNAME, credentials->user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, credentials->password.c_str());
  }
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  const CURLcode code = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  const char* effective = nullptr;
  if (curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) {
    response.effectiveUrl = WithoutUserInfo(effective);
  }
  response.completed = code == CURLE_OK && !transfer.refused;
  return response;
}

}  // namespace carddav
