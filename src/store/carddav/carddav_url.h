// The few URL operations the CardDAV store needs: its hrefs are absolute
// paths or whole URLs, resolved against the URL of the request that
// returned them. libcurl's URL parser reads them all, so that a URL is
// taken apart as the requests sent to it will be.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace carddav {

// "http://" or "https://" (any case) and a host, without user information
// (credentials never sit in a URL).
bool IsServerUrl(std::string_view url);
// `url` without "user:password@" in its authority: libcurl reports the URL a
// redirect led to with the credentials it sent written into it.
std::string WithoutUserInfo(std::string_view url);
// The same for a URL to be shown, which must never show credentials:
// nothing when libcurl cannot read it (it could not say where they are).
std::optional<std::string> ShownUrl(std::string_view url);
// The host name alone (no port, no brackets round an IPv6 address).
std::string HostOf(std::string_view url);
// The path of a URL or href, percent-decoded, without a query, fragment or
// trailing slash: the form in which two hrefs for one resource compare equal.
std::string PathOf(std::string_view urlOrHref);
// The path of a URL or href in the form two hrefs of one card share (RFC
// 3986's equivalence): cut as PathOf cuts it, with the escapes of unreserved
// characters (letters, digits, "-._~") decoded and the other escapes' hex
// digits in upper case. An escape of any other byte is not that byte ("%2F"
// is no slash), so two cards named apart stay apart.
std::string CardPath(std::string_view urlOrHref);
// `href` as a URL, against the URL `base`; `href` itself when either does
// not parse.
std::string Resolve(std::string_view base, std::string_view href);
// The last non-empty path segment of an href, percent-decoded.
std::string LastSegment(std::string_view href);

}  // namespace carddav
