#include "store/carddav/carddav_url.h"

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>

#include "text/hex_digits.h"

namespace carddav {
namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

// Where hrefs that are only a path are read against to take them apart.
constexpr const char* kPlaceholderBase = "http://localhost/";

// `text` as libcurl reads it: a whole URL, or with `base` a reference
// against that URL, as a redirect's Location is. An href is read as
// libcurl will send it: its spaces and bytes beyond ASCII percent-encoded,
// its "." and ".." segments removed. Null when it does not parse.
Url Parse(std::string_view text, const char* base = nullptr) {
  Url url(curl_url());
  if (!url) return nullptr;
  if (base && curl_url_set(url.get(), CURLUPART_URL, base, 0) != CURLUE_OK) return nullptr;
  const unsigned flags = base ? CURLU_URLENCODE : 0;
  if (curl_url_set(url.get(), CURLUPART_URL, std::string(text).c_str(), flags) != CURLUE_OK) return nullptr;
  return url;
}

// One part of a parsed URL; nothing when it has none.
std::optional<std::string> Part(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  std::optional<std::string> value;
  if (curl_url_get(url, part, &text, 0) == CURLUE_OK && text) value = text;
  curl_free(text);
  return value;
}

bool IsUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// `text` with its percent-escapes decoded: all of them, or only those of
// unreserved characters (the others then written with upper-case digits).
// libcurl's own decoding refuses escapes of control characters, which a
// path may still hold.
std::string Decoded(std::string_view text, bool unreservedOnly) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int escaped = text[i] == '%' ? text::HexByteAt(text, i + 1) : -1;
    if (escaped >= 0) {
      const char c = static_cast<char>(escaped);
      if (!unreservedOnly || IsUnreserved(c)) {
        out += c;
      } else {
        out += '%';
        text::AppendHexByte(static_cast<unsigned char>(escaped), out);
      }
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The path of a URL or href as libcurl reads it (a path alone against a
// placeholder origin), without its query or fragment, decoded as asked,
// without a trailing slash. Text libcurl cannot read is taken as a path.
std::string Path(std::string_view urlOrHref, bool unreservedOnly) {
  const Url url = Parse(urlOrHref, kPlaceholderBase);
  const std::optional<std::string> path = url ? Part(url.get(), CURLUPART_PATH) : std::nullopt;
  std::string decoded = Decoded(path ? *path : urlOrHref, unreservedOnly);
  while (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
  return decoded;
}

}  // namespace

bool IsServerUrl(std::string_view url) {
  const Url parsed = Parse(url);
  if (!parsed) return false;
  const std::optional<std::string> scheme = Part(parsed.get(), CURLUPART_SCHEME);
  const std::optional<std::string> host = Part(parsed.get(), CURLUPART_HOST);
  return (scheme == "http" || scheme == "https") && host && !host->empty() && !Part(parsed.get(), CURLUPART_USER) &&
         !Part(parsed.get(), CURLUPART_PASSWORD);
}

std::string WithoutUserInfo(std::string_view url) {
  const Url parsed = Parse(url);
  if (!parsed || (!Part(parsed.get(), CURLUPART_USER) && !Part(parsed.get(), CURLUPART_PASSWORD))) {
    return std::string(url);
  }
  return ShownUrl(url).value_or(std::string());
}

std::optional<std::string> ShownUrl(std::string_view url) {
  const Url parsed = Parse(url);
  if (!parsed) return std::nullopt;
  curl_url_set(parsed.get(), CURLUPART_USER, nullptr, 0);
  curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(parsed.get(), CURLUPART_OPTIONS, nullptr, 0);
  return Part(parsed.get(), CURLUPART_URL);
}

std::string HostOf(std::string_view url) {
  const Url parsed = Parse(url);
  std::string host = parsed ? Part(parsed.get(), CURLUPART_HOST).value_or(std::string()) : std::string();
  if (host.starts_with('[') && host.ends_with(']')) host = host.substr(1, host.size() - 2);
  return host;
}

std::string PathOf(std::string_view urlOrHref) { return Path(urlOrHref, false); }

std::string CardPath(std::string_view urlOrHref) { return Path(urlOrHref, true); }

std::string Resolve(std::string_view base, std::string_view href) {
  const Url url = Parse(href, std::string(base).c_str());
  const std::optional<std::string> resolved = url ? Part(url.get(), CURLUPART_URL) : std::nullopt;
  return resolved ? *resolved : std::string(href);
}

std::string LastSegment(std::string_view href) {
  const std::string path = PathOf(href);
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace carddav
