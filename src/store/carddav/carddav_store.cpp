// A store of the profile that is a CardDAV address-book home (or one address
// book) on a server, named by a `.carddav` file of the profile:
//
//   url = https://host/path   the server, a principal, a home or one book
//   user = NAME               optional; the password comes from netrc
//
// The file (carddav_store_file.cpp) is read and the books discovered
// (carddav_discovery.cpp) when the store is first used; anything that goes
// wrong then makes the store a failing store. The login goes only where the
// url line points (carddav_origin.h): a principal, home or book the server
// names on another origin is asked without it, and refusing that is a
// failure like any other. All requests of the store share one connection
// (carddav_connection.h); each book is a folder (carddav_book.h).
#include <memory>
#include <optional>
#include <vector>

#include "om/error_numbers.h"
#include "store/carddav/carddav_book.h"
#include "store/carddav/carddav_connection.h"
#include "store/carddav/carddav_discovery.h"
#include "store/carddav/carddav_store_file.h"
#include "store/carddav/carddav_url.h"
#include "store/fs.h"
#include "store/store_sources.h"

namespace store {
namespace {

using carddav::Book;
using carddav::BookFolder;
using carddav::Connection;
using carddav::Discovered;

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
    if (!found_.contacts) {
      throw om::ObjectModelError(om::kMapiNotFound,
                                 "no address book in " + Printable(carddav::WithoutUserInfo(found_.home.url)));
    }
    return std::make_unique<BookFolder>(connection_, *found_.contacts, StoreId(), found_.others);
  }

 private:
  std::string path_;
  std::shared_ptr<Connection> connection_;
  Discovered found_;
};

}  // namespace

std::string_view CardDavUnavailable() { return {}; }

std::optional<std::string> CardDavServerUrl(const std::string& path, std::string& failure) {
  const std::optional<std::string> text = carddav::ReadSmallFile(path, &failure);
  if (!text) return std::nullopt;
  const std::optional<std::string> line = carddav::UrlLine(*text);
  std::optional<std::string> url = line ? carddav::ShownUrl(*line) : std::nullopt;
  if (!url) failure = line ? "its url line holds no URL" : "it has no url line";
  return url;
}

// The store file is read, and the server asked, when the store is first used.
std::unique_ptr<StoreSource> OpenCardDavStore(const std::string& path) {
  return OpenOnFirstUse([path]() -> std::unique_ptr<StoreSource> {
    std::string failure;
    const std::optional<std::string> text = carddav::ReadSmallFile(path, &failure);
    if (!text) return FailingStore(std::move(failure));
    std::optional<carddav::StoreFile> file = carddav::ParseStoreFile(*text);
    if (!file) return FailingStore("not a store file: lines of url = and user =, with an http or https url");
    auto connection = std::make_shared<Connection>(std::move(*file));
    std::optional<Discovered> found = carddav::Discover(*connection, failure);
    if (!found) return FailingStore(std::move(failure));
    return std::make_unique<CardDavStore>(path, std::move(connection), std::move(*found));
  });
}

}  // namespace store
