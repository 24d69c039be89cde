// Stores of SQLite address books (Thunderbird's .sqlite, Evolution's .db):
// one book, or an application's books with the main one on top. Builds
// without SQLite have sqlite_store_unavailable.cpp in place of this file and
// application_books.cpp.
#include <memory>
#include <string>

#include "om/error_numbers.h"
#include "store/fs.h"
#include "store/sqlite/sqlite_book.h"
#include "store/sqlite/sqlite_store.h"
#include "store/store_sources.h"

namespace store {
namespace {

// The book at `path`; nothing when it is no regular file or cannot be used,
// `failure` then saying why.
std::shared_ptr<sqlitebook::Book> OpenBookAt(const std::string& path, std::string& failure) {
  if (!fs::FilePtr(fs::OpenFile(path, &failure))) return nullptr;
  return sqlitebook::OpenBook(path, &failure);
}

class BookFolder final : public FolderSource {
 public:
  // The book at `path`.
  BookFolder(std::shared_ptr<sqlitebook::Book> book, std::string path, std::u16string name, std::u16string storeId,
             std::u16string entryId, std::vector<BookEntry> subfolders = {})
      : book_(std::move(book)), path_(std::move(path)), name_(std::move(name)), storeId_(std::move(storeId)),
        entryId_(std::move(entryId)), subfolders_(std::move(subfolders)) {}

  std::u16string Name() override { return name_; }
  std::u16string EntryId() override { return entryId_; }
  std::size_t ItemCount() override { return book_->ItemCount(); }
  std::size_t SubfolderCount() override { return subfolders_.size(); }

  // A book that cannot be used is as unreadable as a corrupt item.
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    const BookEntry& entry = subfolders_.at(index);
    std::string failure;
    std::shared_ptr<sqlitebook::Book> book = OpenBookAt(entry.path, failure);
    if (!book) throw om::ObjectModelError(om::kMapiCorruptData, Printable(entry.path) + ": " + failure);
    return std::make_unique<BookFolder>(std::move(book), entry.path, entry.name, storeId_,
                                        storeId_ + u":" + HexText(entry.path));
  }

  ItemData FetchItem(std::size_t index) override {
    std::optional<ItemData> item = book_->ReadItem(index);
    if (!item) throw om::ObjectModelError(om::kMapiCorruptData, Location(index) + ": " + book_->Failure());
    return std::move(*item);
  }

  // "abook.sqlite, key "1f0c..."": the book's file, and the item's key in it.
  std::string Location(std::size_t index) override {
    return Printable(fs::BaseName(path_)) + ", " + book_->Location(index);
  }

 private:
  std::shared_ptr<sqlitebook::Book> book_;
  std::string path_;
  std::u16string name_;
  std::u16string storeId_;
  std::u16string entryId_;
  std::vector<BookEntry> subfolders_;
};

// The file name without its last suffix.
std::string FolderName(const std::string& path) {
  std::string name = fs::BaseName(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

class BookStore final : public StoreSource {
 public:
  BookStore(std::shared_ptr<sqlitebook::Book> book, BookEntry top, std::vector<BookEntry> others, std::string identity)
      : book_(std::move(book)), top_(std::move(top)), others_(std::move(others)), identity_(std::move(identity)) {}

  // Derived from the store's name in its profile, like a data file store's.
  std::u16string StoreId() override { return HexText("contact-export address book store:" + identity_); }
  std::unique_ptr<FolderSource> OpenTopFolder() override { return OpenFolder(); }
  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override { return OpenFolder(); }

 private:
  std::unique_ptr<FolderSource> OpenFolder() {
    const std::u16string id = StoreId();
    return std::make_unique<BookFolder>(book_, top_.path, top_.name, id, id + u":" + HexText(top_.path), others_);
  }

  std::shared_ptr<sqlitebook::Book> book_;
  BookEntry top_;
  std::vector<BookEntry> others_;
  std::string identity_;
};

}  // namespace

std::string_view AddressBooksUnavailable() { return {}; }

// The top book is opened (and checked) when the store is first used; one that
// cannot be used makes a failing store.
std::unique_ptr<StoreSource> MakeBookStore(BookEntry top, std::vector<BookEntry> others, std::string identity,
                                           bool inFolder) {
  return OpenOnFirstUse([top = std::move(top), others = std::move(others), identity = std::move(identity),
                         inFolder]() mutable -> std::unique_ptr<StoreSource> {
    std::string failure;
    std::shared_ptr<sqlitebook::Book> book = OpenBookAt(top.path, failure);
    if (!book) return FailingStore(inFolder ? Printable(top.path) + ": " + failure : std::move(failure));
    return std::make_unique<BookStore>(std::move(book), std::move(top), std::move(others), std::move(identity));
  });
}

std::unique_ptr<StoreSource> OpenAddressBookStore(const std::string& path) {
  return MakeBookStore({path, TextFromUtf8(FolderName(path))}, {}, fs::BaseName(path), false);
}

}  // namespace store
