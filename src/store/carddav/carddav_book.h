// One address book of a CardDAV store as a folder: its cards are listed
// when first counted and fetched a batch at a time by addressbook-multiget;
// only the hrefs of all cards and the current batch's values are held. A
// card is known by its CardPath, in the listing and in the multiget's
// answers alike: a listing that names one card twice, even spelt two ways,
// gives it once, under the href it was first listed by. Once a book is
// listed, a request for its cards that fails fails the folder, so that the
// walk ends incomplete instead of leaving contacts out; only a card the
// server itself reports missing (404) is one item that fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/carddav/carddav_connection.h"
#include "store/store_sources.h"

namespace carddav {

struct Book {
  std::string url;
  std::string href;  // as the server wrote it; books are ordered by it
  std::string name;
};

class BookFolder final : public store::FolderSource {
 public:
  BookFolder(std::shared_ptr<Connection> connection, Book book, std::u16string storeId, std::vector<Book> subfolders)
      : connection_(std::move(connection)),
        book_(std::move(book)),
        storeId_(std::move(storeId)),
        subfolders_(std::move(subfolders)) {}

  std::u16string Name() override;
  std::u16string EntryId() override;
  std::size_t ItemCount() override;
  store::ItemData FetchItem(std::size_t index) override;
  std::size_t SubfolderCount() override;
  std::unique_ptr<store::FolderSource> OpenSubfolder(std::size_t index) override;
  // The card's href, as the listing gave it.
  std::string Location(std::size_t index) override;

 private:
  [[noreturn]] void Fail(std::string reason);
  [[noreturn]] void FailAgain() const;
  void List();
  void Load(std::size_t batch);

  std::shared_ptr<Connection> connection_;
  Book book_;
  std::u16string storeId_;
  std::vector<Book> subfolders_;
  bool listed_ = false;
  bool failed_ = false;
  std::string failure_;  // why it failed
  std::string effectiveUrl_;
  std::vector<std::string> hrefs_;
  std::size_t batch_ = SIZE_MAX;
  std::vector<std::optional<store::ItemData>> cards_;
  std::vector<bool> missing_;  // of the batch's cards, those the server reported missing
};

}  // namespace carddav
