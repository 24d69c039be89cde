#include "store/carddav/carddav_origin.h"

#include <curl/curl.h>
#include <libpsl.h>

#include <memory>
#include <optional>
#include <string>

#include "text/ascii_case.h"

namespace carddav {
namespace {

struct Origin {
  std::string scheme;
  std::string host;  // in lower case; an IPv6 address in brackets
  std::string port;
};

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
  void operator()(psl_ctx_t* list) const { psl_free(list); }
};

std::string Lower(std::string text) {
  for (char& c : text) c = text::ToLowerAscii(c);
  return text;
}

std::string PartOf(CURLU* url, CURLUPart part, unsigned flags) {
  char* text = nullptr;
  std::string value;
  if (curl_url_get(url, part, &text, flags) == CURLUE_OK && text) value = text;
  curl_free(text);
  return value;
}

// The origin as libcurl will connect to it: its parser decodes the host,
// writes IP addresses in their one canonical form and knows default ports,
// so the comparison is of what the request reaches, not of how it is spelt.
std::optional<Origin> ParseOrigin(std::string_view text) {
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, std::string(text).c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  Origin origin{Lower(PartOf(url.get(), CURLUPART_SCHEME, 0)), Lower(PartOf(url.get(), CURLUPART_HOST, 0)),
                PartOf(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT)};
  if ((origin.scheme != "http" && origin.scheme != "https") || origin.host.empty() || origin.port.empty()) {
    return std::nullopt;
  }
  return origin;
}

// An IPv6 address has a colon; libcurl writes every form of an IPv4 address
// as four decimal numbers, and no top-level domain starts with a digit.
// libpsl would take 127.0.0.1 for the name "0.1" under the top-level "1".
bool IsAddress(const std::string& host) {
  if (host.find(':') != std::string::npos) return true;
  const std::size_t end = host.ends_with('.') ? host.size() - 1 : host.size();
  const std::size_t dot = host.rfind('.', end == 0 ? 0 : end - 1);
  const std::size_t last = dot == std::string::npos ? 0 : dot + 1;
  return last >= end || (host[last] >= '0' && host[last] <= '9');
}

// psl_latest: the newer of the list libpsl was built with and the system's
// copy (Debian's publicsuffix package, updated on its own), read once and
// only when a request first goes to another host.
const psl_ctx_t* PublicSuffixList() {
  static const std::unique_ptr<psl_ctx_t, ListDeleter> list(psl_latest(nullptr));
  return list.get();
}

// Empty when the host is an address, a public suffix itself, or there is
// no list.
std::string RegistrableDomain(const std::string& host) {
  if (IsAddress(host) || !PublicSuffixList()) return {};
  const char* domain = psl_registrable_domain(PublicSuffixList(), host.c_str());
  return domain ? domain : "";
}

}  // namespace

bool MaySendLogin(std::string_view configuredUrl, std::string_view requestUrl) {
  const std::optional<Origin> configured = ParseOrigin(configuredUrl);
  const std::optional<Origin> request = ParseOrigin(requestUrl);
  if (!configured || !request) return false;
  if (configured->scheme != request->scheme || configured->port != request->port) return false;
  if (configured->host == request->host) return true;
  if (request->scheme != "https") return false;
  const std::string domain = RegistrableDomain(configured->host);
  return !domain.empty() && domain == RegistrableDomain(request->host);
}

}  // namespace carddav
