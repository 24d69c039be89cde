#include "store/carddav/carddav_http.h"

#include <curl/curl.h>

#include "store/carddav/carddav_url.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace carddav {
namespace {

long gConnectSeconds = 10;
long gStallSeconds = 60;

struct Transfer {
  const BodySink* sink = nullptr;
  CURL* curl = nullptr;
  bool refused = false;
  // When a byte last went out or came in (waiting for an answer included).
  curl_off_t sent = -1;
  curl_off_t received = -1;
  std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
};

// Ends a transfer that has moved no byte for the stall limit. libcurl's own
// low-speed check averages over a window of several seconds, so it would
// notice a stall that follows a burst of bytes only seconds late.
int CheckProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  const auto now = std::chrono::steady_clock::now();
  if (received != transfer.received || sent != transfer.sent) {
    transfer.received = received;
    transfer.sent = sent;
    transfer.lastProgress = now;
    return 0;
  }
  return now - transfer.lastProgress >= std::chrono::seconds(gStallSeconds) ? 1 : 0;
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

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

void SetTimeoutsForTesting(long connectSeconds, long stallSeconds) {
  gConnectSeconds = connectSeconds;
  gStallSeconds = stallSeconds;
}

Response Send(const Request& request, const std::optional<Credentials>& credentials, const BodySink& sink) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  Response response;
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return response;
  CURL* c = curl.get();
  Transfer transfer{&sink, c};
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
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
