// A store of the profile that is a CardDAV address-book home (or one address
// book) on a server, named by a `.carddav` file of the profile:
//
//   url = https://host/path   the server, a principal, a home or one book
//   user = NAME               optional; the password comes from netrc
//
// Discovery runs when the store is first used: the url's own properties,
// else its current-user-principal's address-book home, else the same from
// the server's /.well-known/carddav. Anything that goes wrong then (no
// answer, a refused login, a server error, a body that is not a multistatus)
// makes the store a failing store. The login goes only where the url line
// points (carddav_origin.h): a principal, home or book the server names on
// another origin is asked without it, and refusing that is a failure like
// any other. Once a book is listed, a request for its cards that fails fails
// that folder, so that the walk ends incomplete instead of leaving contacts
// out; only a card the server itself reports missing (404) in a multiget is
// one item that fails.
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "om/error_numbers.h"
#include "store/carddav/carddav_http.h"
#include "store/carddav/carddav_origin.h"
#include "store/carddav/carddav_url.h"
#include "store/carddav/carddav_xml.h"
#include "store/carddav/netrc.h"
#include "store/fs.h"
#include "store/store_sources.h"
#include "vcard/vcard_reader.h"

namespace standalone {
namespace {

using carddav::DavResponse;

// Cards asked for in one multiget: enough to keep the round trips few, few
// enough that one batch's cards take little memory.
constexpr std::size_t kBatchSize = 200;
// A .carddav file and a netrc file are a few lines; a longer file is not one.
constexpr std::uint64_t kMaxSmallFile = 1u << 20;

[[noreturn]] void FailFolder() { throw om::ObjectModelError(om::kMapiCallFailed); }

std::optional<std::string> ReadSmallFile(const std::string& path, std::string* failure = nullptr) {
  return fs::ReadSmallFile(path, kMaxSmallFile, failure);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

struct StoreFile {
  std::string url;
  std::string user;
};

// The `key = value` lines of a .carddav file. Nothing when a line is not of
// that form, a key is unknown or the url is missing or not http(s).
std::optional<StoreFile> ParseStoreFile(std::string_view text) {
  StoreFile file;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key == "url") {
      file.url = value;
    } else if (key == "user") {
      file.user = value;
    } else {
      return std::nullopt;
    }
  }
  if (!carddav::IsServerUrl(file.url)) return std::nullopt;
  return file;
}

struct Book {
  std::string url;
  std::string href;  // as the server wrote it; books are ordered by it
  std::string name;
};

// What the store's requests share: where the server is and how to log in.
// Every request of the store goes through here, so that whether it carries
// the login is decided for each URL requested. Where a redirect leads is
// libcurl's to judge: it sends no credentials to another host, port or
// scheme than the request's own (CURLOPT_UNRESTRICTED_AUTH stays off).
// Its one libcurl handle keeps the server's connection open from request to
// request; the store is read from one thread.
class Connection {
 public:
  explicit Connection(StoreFile file) : file_(std::move(file)) {}

  const std::string& Url() const { return file_.url; }

  // Sends a request whose 207 body is a multistatus; each response goes to
  // `onResponse`. The status (0 when there was no answer) and, for a 207,
  // whether the whole body arrived and was well formed.
  struct Outcome {
    long status = 0;
    bool complete = false;
    std::string effectiveUrl;
  };
  Outcome Multistatus(carddav::Method method, const std::string& url, const char* depth, std::string body,
                      const std::function<bool(DavResponse&)>& onResponse) {
    carddav::MultistatusParser parser(onResponse);
    const std::optional<carddav::Credentials> none;
    const carddav::Response response =
        carddav::Send(*handle_, {method, url, depth, std::move(body)}, carddav::MaySendLogin(file_.url, url) ? Login() : none,
                      [&](std::string_view bytes) { return parser.Feed(bytes); });
    Outcome outcome{response.status, false, response.effectiveUrl};
    outcome.complete = response.completed && response.status == 207 && parser.Finish();
    return outcome;
  }

 private:
  // Read when the store first sends a request, and only then.
  const std::optional<carddav::Credentials>& Login() {
    if (!loginRead_) {
      loginRead_ = true;
      const std::optional<std::string> path = carddav::NetrcPath();
      const std::optional<std::string> text = path ? ReadSmallFile(*path) : std::nullopt;
      if (text) {
        if (std::optional<carddav::Login> login = carddav::FindLogin(*text, carddav::HostOf(file_.url), file_.user)) {
          credentials_ = carddav::Credentials{std::move(login->user), std::move(login->password)};
        }
      }
    }
    return credentials_;
  }

  StoreFile file_;
  carddav::HandlePtr handle_ = carddav::NewHandle();
  bool loginRead_ = false;
  std::optional<carddav::Credentials> credentials_;
};

constexpr const char* kDiscoveryBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><D:prop>"
    "<D:resourcetype/><D:displayname/><D:current-user-principal/><C:addressbook-home-set/>"
    "</D:prop></D:propfind>";
constexpr const char* kListingBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:resourcetype/><D:getetag/></D:prop></D:propfind>";

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

// A folder's name: its displayname, else the last segment of its href.
std::string FolderName(const DavResponse& response) {
  if (response.hasDisplayName && !response.displayName.empty()) return response.displayName;
  return carddav::LastSegment(response.href);
}

bool IsDefaultBookName(std::string_view name) {
  return EqualsNoCase(name, "Contacts") || name == "\xE9\x80\xA3\xE7\xB5\xA1\xE5\x85\x88";  // 連絡先
}

// One card of a multiget, decoded as it arrives so that a batch holds its
// cards' values, not their text (photos and all). Nothing when the server
// reported it missing or it cannot be read: an item that fails.
std::optional<ItemData> DecodeCard(const std::string& text) {
  const std::vector<vcard::CardExtent> cards = vcard::FindCards(text);
  if (cards.empty()) return std::nullopt;
  std::optional<vcard::Card> card = vcard::ReadCard(text, cards.front());
  if (!card) return std::nullopt;
  const bool group = card->kind == vcard::CardKind::kGroup;
  return ItemData{group ? u"DistListItem" : u"ContactItem",
                  std::make_shared<const om::ContactValues>(std::move(card->values))};
}

// One address book: its cards are listed when first counted and fetched a
// batch at a time; only the hrefs of all cards and the current batch's
// values are held. A card is known by its CardPath, in the listing and in
// the multiget's answers alike: a listing that names one card twice, even
// spelt two ways, gives it once, under the href it was first listed by.
class BookFolder final : public FolderSource {
 public:
  BookFolder(std::shared_ptr<Connection> connection, Book book, std::u16string storeId, std::vector<Book> subfolders)
      : connection_(std::move(connection)),
        book_(std::move(book)),
        storeId_(std::move(storeId)),
        subfolders_(std::move(subfolders)) {}

  std::u16string Name() override { return TextFromUtf8(book_.name); }
  std::u16string EntryId() override { return storeId_ + u":" + HexText(book_.href); }

  std::size_t ItemCount() override {
    List();
    return hrefs_.size();
  }

  ItemData FetchItem(std::size_t index) override {
    List();
    const std::size_t batch = index / kBatchSize;
    if (batch != batch_) Load(batch);
    const std::optional<ItemData>& card = cards_[index - batch * kBatchSize];
    if (!card) throw om::ObjectModelError(om::kMapiCorruptData);
    return *card;
  }

  // A folder whose cards could not all be read refuses its subfolders too:
  // that is what ends the walk as failed.
  std::size_t SubfolderCount() override {
    if (failed_) FailFolder();
    return subfolders_.size();
  }

  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    return std::make_unique<BookFolder>(connection_, subfolders_.at(index), storeId_, std::vector<Book>{});
  }

 private:
  [[noreturn]] void Fail() {
    failed_ = true;
    cards_.clear();
    FailFolder();
  }

  void List() {
    if (failed_) FailFolder();
    if (listed_) return;
    const std::string self = carddav::PathOf(book_.url);
    std::unordered_set<std::string> listed;
    const Connection::Outcome outcome = connection_->Multistatus(
        carddav::Method::kPropfind, book_.url, "1", kListingBody, [&](DavResponse& response) {
          if (!response.collection && carddav::PathOf(response.href) != self &&
              listed.insert(carddav::CardPath(response.href)).second) {
            hrefs_.push_back(std::move(response.href));
          }
          return true;
        });
    if (!outcome.complete) Fail();
    std::sort(hrefs_.begin(), hrefs_.end());
    effectiveUrl_ = outcome.effectiveUrl.empty() ? book_.url : outcome.effectiveUrl;
    listed_ = true;
  }

  // The cards of batch `batch` by one addressbook-multiget. Every card asked
  // for must be answered, with its data or as missing (404).
  void Load(std::size_t batch) {
    cards_.clear();
    batch_ = SIZE_MAX;
    const std::size_t first = batch * kBatchSize;
    const std::size_t count = std::min(kBatchSize, hrefs_.size() - first);
    std::unordered_map<std::string, std::size_t> positions;
    std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<C:addressbook-multiget xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\">"
        "<D:prop><D:getetag/><C:address-data/></D:prop>";
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& href = hrefs_[first + i];
      positions.emplace(carddav::CardPath(href), i);
      body += "<D:href>" + XmlEscaped(href) + "</D:href>";
    }
    body += "</C:addressbook-multiget>";
    std::vector<std::optional<ItemData>> cards(count);
    std::vector<bool> answered(count, false);
    const Connection::Outcome outcome = connection_->Multistatus(
        carddav::Method::kReport, effectiveUrl_, "1", std::move(body), [&](DavResponse& response) {
          const auto found = positions.find(carddav::CardPath(response.href));
          if (found == positions.end()) return true;  // not asked for: ignored
          if (response.hasAddressData) {
            cards[found->second] = DecodeCard(response.addressData);
          } else if (response.status != 404) {
            return false;  // neither a card nor reported missing
          }
          answered[found->second] = true;
          return true;
        });
    if (!outcome.complete || std::find(answered.begin(), answered.end(), false) != answered.end()) Fail();
    cards_ = std::move(cards);
    batch_ = batch;
  }

  std::shared_ptr<Connection> connection_;
  Book book_;
  std::u16string storeId_;
  std::vector<Book> subfolders_;
  bool listed_ = false;
  bool failed_ = false;
  std::string effectiveUrl_;
  std::vector<std::string> hrefs_;
  std::size_t batch_ = SIZE_MAX;
  std::vector<std::optional<ItemData>> cards_;
};

// The address-book home: no cards of its own; its one subfolder is the
// default book, whose subfolders are the other books.
class HomeFolder final : public FolderSource {
 public:
  HomeFolder(std::shared_ptr<Connection> connection, Book home, std::u16string storeId,
             std::optional<Book> contacts, std::vector<Book> others)
      : connection_(std::move(connection)),
        home_(std::move(home)),
        storeId_(std::move(storeId)),
        contacts_(std::move(contacts)),
        others_(std::move(others)) {}

  std::u16string Name() override { return TextFromUtf8(home_.name); }
  std::u16string EntryId() override { return storeId_ + u":" + HexText(home_.href); }
  std::size_t ItemCount() override { return 0; }
  ItemData FetchItem(std::size_t) override { throw om::ObjectModelError(om::kDispBadIndex); }
  std::size_t SubfolderCount() override { return contacts_ ? 1 : 0; }
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t) override {
    return std::make_unique<BookFolder>(connection_, contacts_.value(), storeId_, others_);
  }

 private:
  std::shared_ptr<Connection> connection_;
  Book home_;
  std::u16string storeId_;
  std::optional<Book> contacts_;
  std::vector<Book> others_;
};

struct Discovered {
  bool singleBook = false;
  Book home;  // the one book when singleBook
  std::optional<Book> contacts;
  std::vector<Book> others;
};

// Why a request's answer is not the whole multistatus it should be, with
// the URL it went to (which never holds credentials).
std::string Unanswered(const Connection::Outcome& outcome, const std::string& url) {
  const std::string where = carddav::WithoutUserInfo(url);
  if (outcome.status == 0) return "no answer from " + where;
  if (outcome.status != 207) return "HTTP " + std::to_string(outcome.status) + " from " + where;
  return "an incomplete or malformed multistatus from " + where;
}

// The properties of one resource (PROPFIND Depth 0).
struct Probe {
  Connection::Outcome outcome;
  DavResponse response;
};
Probe ProbeAt(Connection& connection, const std::string& url) {
  Probe probe;
  bool first = true;
  probe.outcome = connection.Multistatus(carddav::Method::kPropfind, url, "0", kDiscoveryBody,
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
  const std::string self = carddav::PathOf(url);
  std::optional<DavResponse> homeResponse;
  const Connection::Outcome outcome = connection.Multistatus(
      carddav::Method::kPropfind, url, "1", kDiscoveryBody, [&](DavResponse& response) {
        if (carddav::PathOf(response.href) == self) {
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
  for (Book& book : books) book.url = carddav::Resolve(base, book.href);
  found.home = Book{url, self, homeResponse ? FolderName(*homeResponse) : carddav::LastSegment(self)};
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
  if (!probe.response.home.empty()) return carddav::Resolve(base, probe.response.home);
  if (probe.response.principal.empty()) return std::string();
  const std::string principalUrl = carddav::Resolve(base, probe.response.principal);
  const Probe principal = ProbeAt(connection, principalUrl);
  if (!principal.outcome.complete) {
    failure = Unanswered(principal.outcome, principalUrl);
    return std::nullopt;
  }
  if (principal.response.home.empty()) return std::string();
  return carddav::Resolve(principal.outcome.effectiveUrl, principal.response.home);
}

// Discovery: the url's own properties, else its current-user-principal's
// address-book home, else the same from the server's /.well-known/carddav.
// Nothing when no book is found, `failure` then saying why.
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
      why = "no address book or address-book home at " + carddav::WithoutUserInfo(start);
    }
    missed += (missed.empty() ? "" : "; ") + why;
    // Nothing found here: the server's well-known entry point, once.
    start = carddav::OriginOf(connection.Url()) + "/.well-known/carddav";
  }
  failure = missed;
  return std::nullopt;
}

class CardDavStore final : public StoreSource {
 public:
  CardDavStore(std::string path, std::shared_ptr<Connection> connection, Discovered found)
      : path_(std::move(path)), connection_(std::move(connection)), found_(std::move(found)) {}

  std::u16string StoreId() override { return HexText("contact-export carddav store:" + fs::BaseName(path_)); }

  std::unique_ptr<FolderSource> OpenTopFolder() override {
    if (found_.singleBook) return std::make_unique<BookFolder>(connection_, found_.home, StoreId(), std::vector<Book>{});
    return std::make_unique<HomeFolder>(connection_, found_.home, StoreId(), found_.contacts, found_.others);
  }

  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override {
    if (found_.singleBook) return std::make_unique<BookFolder>(connection_, found_.home, StoreId(), std::vector<Book>{});
    if (!found_.contacts) throw om::ObjectModelError(om::kMapiNotFound);
    return std::make_unique<BookFolder>(connection_, *found_.contacts, StoreId(), found_.others);
  }

 private:
  std::string path_;
  std::shared_ptr<Connection> connection_;
  Discovered found_;
};

}  // namespace

std::string_view CardDavUnavailable() { return {}; }

// The store file is read, and the server asked, when the store is first used.
std::unique_ptr<StoreSource> OpenCardDavStore(const std::string& path) {
  return OpenOnFirstUse([path]() -> std::unique_ptr<StoreSource> {
    std::string failure;
    const std::optional<std::string> text = ReadSmallFile(path, &failure);
    if (!text) return FailingStore(std::move(failure));
    std::optional<StoreFile> file = ParseStoreFile(*text);
    if (!file) return FailingStore("not a store file: lines of url = and user =, with an http or https url");
    auto connection = std::make_shared<Connection>(std::move(*file));
    std::optional<Discovered> found = Discover(*connection, failure);
    if (!found) return FailingStore(std::move(failure));
    return std::make_unique<CardDavStore>(path, std::move(connection), std::move(*found));
  });
}

}  // namespace standalone
