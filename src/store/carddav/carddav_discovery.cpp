#include "store/carddav/carddav_discovery.h"

#include <algorithm>

#include "store/carddav/carddav_url.h"
#include "store/store_sources.h"

namespace carddav {
namespace {

constexpr const char* kDiscoveryBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><D:prop>"
    "<D:resourcetype/><D:displayname/><D:current-user-principal/><C:addressbook-home-set/>"
    "</D:prop></D:propfind>";

// A folder's name: its displayname, else the last segment of its href.
std::string FolderName(const DavResponse& response) {
  if (response.hasDisplayName && !response.displayName.empty()) return response.displayName;
  return LastSegment(response.href);
}

bool IsDefaultBookName(std::string_view name) {
  return store::EqualsNoCase(name, "Contacts") || name == "\xE9\x80\xA3\xE7\xB5\xA1\xE5\x85\x88";  // 連絡先
}

// The properties of one resource (PROPFIND Depth 0).
struct Probe {
  Connection::Outcome outcome;
  DavResponse response;
};
Probe ProbeAt(Connection& connection, const std::string& url) {
  Probe probe;
  bool first = true;
  probe.outcome = connection.Multistatus(Method::kPropfind, url, "0", kDiscoveryBody,
                                         [&](DavResponse& response) {
                                           if (first) probe.response = std::move(response);
                                           first = false;
                                           return true;
                                         });
  if (probe.outcome.effectiveUrl.empty()) probe.outcome.effectiveUrl = url;
  return probe;
}

// The books of the address-book home at `url`; nothing when it cannot be
// listed, `failure` then saying why.
std::optional<Discovered> ListHome(Connection& connection, const std::string& url, std::string& failure) {
  Discovered found;
  std::vector<Book> books;
  const std::string self = PathOf(url);
  std::optional<DavResponse> homeResponse;
  const Connection::Outcome outcome = connection.Multistatus(
      Method::kPropfind, url, "1", kDiscoveryBody, [&](DavResponse& response) {
        if (PathOf(response.href) == self) {
          homeResponse = std::move(response);
        } else if (response.addressBook) {
          books.push_back(Book{std::string(), response.href, FolderName(response)});
        }
        return true;
      });
  if (!outcome.complete) {
    failure = Unanswered(outcome, url);
    return std::nullopt;
  }
  const std::string base = outcome.effectiveUrl.empty() ? url : outcome.effectiveUrl;
  for (Book& book : books) book.url = Resolve(base, book.href);
  found.home = Book{url, self, homeResponse ? FolderName(*homeResponse) : LastSegment(self)};
  std::sort(books.begin(), books.end(), [](const Book& a, const Book& b) { return a.href < b.href; });
  auto contacts = std::find_if(books.begin(), books.end(), [](const Book& b) { return IsDefaultBookName(b.name); });
  if (contacts == books.end()) contacts = books.begin();
  if (contacts != books.end()) {
    found.contacts = std::move(*contacts);
    books.erase(contacts);
  }
  found.others = std::move(books);
  return found;
}

// The address-book home that a 207 `probe` names, itself or through its
// principal; "" when it names none. Nothing when the principal cannot be
// asked, `failure` then saying why.
std::optional<std::string> HomeNamedBy(Connection& connection, const Probe& probe, std::string& failure) {
  const std::string& base = probe.outcome.effectiveUrl;
  if (!probe.response.home.empty()) return Resolve(base, probe.response.home);
  if (probe.response.principal.empty()) return std::string();
  const std::string principalUrl = Resolve(base, probe.response.principal);
  const Probe principal = ProbeAt(connection, principalUrl);
  if (!principal.outcome.complete) {
    failure = Unanswered(principal.outcome, principalUrl);
    return std::nullopt;
  }
  if (principal.response.home.empty()) return std::string();
  return Resolve(principal.outcome.effectiveUrl, principal.response.home);
}

}  // namespace

std::optional<Discovered> Discover(Connection& connection, std::string& failure) {
  std::string start = connection.Url();
  std::string missed;  // why each place tried holds no book
  for (int attempt = 0; attempt < 2; ++attempt) {
    const Probe probe = ProbeAt(connection, start);
    const long status = probe.outcome.status;
    if (status == 0 || status == 401 || status == 403 || status >= 500 || (status == 207 && !probe.outcome.complete)) {
      failure = Unanswered(probe.outcome, start);
      return std::nullopt;
    }
    std::string why = Unanswered(probe.outcome, start);
    if (status == 207) {
      if (probe.response.addressBook) {
        Discovered found;
        found.singleBook = true;
        found.home = Book{probe.outcome.effectiveUrl, probe.response.href, FolderName(probe.response)};
        return found;
      }
      const std::optional<std::string> home = HomeNamedBy(connection, probe, failure);
      if (!home) return std::nullopt;
      if (!home->empty()) return ListHome(connection, *home, failure);
      why = "no address book or address-book home at " + WithoutUserInfo(start);
    }
    missed += (missed.empty() ? "" : "; ") + why;
    // Nothing found here: the server's well-known entry point, once.
    start = Resolve(connection.Url(), "/.well-known/carddav");
  }
  failure = missed;
  return std::nullopt;
}

}  // namespace carddav
