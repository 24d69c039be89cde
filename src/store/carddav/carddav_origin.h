// Which requests of a CardDAV store carry the user's login. The netrc entry
// is the user's word for the host of the store's url line, nothing more: a
// server's answers may name principals, homes and books anywhere, and a
// request to another origin goes without credentials (its 401 is then that
// request's failure, as any refused login is).
#pragma once

#include <string_view>

namespace carddav {

// Whether a request to `requestUrl` may carry the login of the store whose
// url line is `configuredUrl`:
//  - the same origin: scheme, host (any case) and port, default ports filled
//    in, as libcurl reads the URLs;
//  - or, over https on both sides and on the same port, another host whose
//    registrable domain under the Public Suffix List is the configured
//    host's (a service's discovery may hand the user on to a sibling host,
//    as iCloud's does from contacts.icloud.com to pNN-contacts.icloud.com).
// An IP address shares a domain with nothing; http never shares one; a URL
// that does not parse gets nothing. Without a Public Suffix List (a libpsl
// built with neither its own copy nor a system file) only the same origin.
bool MaySendLogin(std::string_view configuredUrl, std::string_view requestUrl);

}  // namespace carddav
