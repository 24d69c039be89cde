#include "store/carddav/carddav_url.h"

#include "text/ascii_case.h"
#include "text/hex_digits.h"

namespace carddav {
namespace {

// Where the authority starts: after "scheme://", or npos.
std::size_t AuthorityStart(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return scheme;
  for (std::size_t i = 0; i < scheme; ++i) {
    const char c = url[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
          c == '.')) {
      return std::string_view::npos;
    }
  }
  return scheme + 3;
}

std::string_view Authority(std::string_view url) {
  const std::size_t start = AuthorityStart(url);
  if (start == std::string_view::npos) return {};
  const std::size_t end = url.find_first_of("/?#", start);
  return url.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool IsUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// `text` with its percent-escapes decoded: all of them, or only those of
// unreserved characters (the others then written with upper-case digits).
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

// The path of a URL or href without a query or fragment, decoded as asked,
// without a trailing slash.
std::string Path(std::string_view urlOrHref, bool unreservedOnly) {
  std::string_view path = urlOrHref;
  const std::size_t start = AuthorityStart(path);
  if (start != std::string_view::npos) {
    const std::size_t slash = path.find('/', start);
    path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
  }
  path = path.substr(0, path.find_first_of("?#"));
  std::string decoded = Decoded(path, unreservedOnly);
  while (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
  return decoded;
}

}  // namespace

bool IsServerUrl(std::string_view url) {
  const bool scheme = text::EqualsNoCase(url.substr(0, 7), "http://") || text::EqualsNoCase(url.substr(0, 8), "https://");
  const std::string_view authority = Authority(url);
  return scheme && !authority.empty() && authority.find('@') == std::string_view::npos;
}

std::string WithoutUserInfo(std::string_view url) {
  const std::string_view authority = Authority(url);
  const std::size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(url);
  const std::size_t start = AuthorityStart(url);
  return std::string(url.substr(0, start)) + std::string(url.substr(start + at + 1));
}

std::string HostOf(std::string_view url) {
  std::string_view authority = Authority(url);
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    return std::string(authority.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  return std::string(authority.substr(0, authority.find(':')));
}

std::string OriginOf(std::string_view url) {
  const std::size_t start = AuthorityStart(url);
  if (start == std::string_view::npos) return {};
  return std::string(url.substr(0, start)) + std::string(Authority(url));
}

std::string PathOf(std::string_view urlOrHref) { return Path(urlOrHref, false); }

std::string CardPath(std::string_view urlOrHref) { return Path(urlOrHref, true); }

std::string Resolve(std::string_view base, std::string_view href) {
  if (AuthorityStart(href) != std::string_view::npos) return std::string(href);
  if (href.starts_with('/')) return OriginOf(base) + std::string(href);
  std::string_view directory = base.substr(0, base.find_first_of("?#"));
  const std::size_t start = AuthorityStart(directory);
  const std::size_t slash = directory.rfind('/');
  if (start == std::string_view::npos || slash == std::string_view::npos || slash < start) {
    return OriginOf(base) + "/" + std::string(href);
  }
  return std::string(directory.substr(0, slash + 1)) + std::string(href);
}

std::string LastSegment(std::string_view href) {
  const std::string path = PathOf(href);
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace carddav
