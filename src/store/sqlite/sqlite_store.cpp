// Stores of SQLite address books (Thunderbird's .sqlite, Evolution's .db):
// one book, or an application's books with the main one on top. Builds
// without SQLite get the reader's failing twin, so there every such store is
// a failing provider.
#include <memory>
#include <string>

#include "om/error_numbers.h"
#include "store/fs.h"
#include "store/sqlite/sqlite_book.h"
#include "store/sqlite/sqlite_store.h"
#include "store/store_sources.h"

namespace standalone {
namespace {

[[noreturn]] void Fail(std::uint32_t number) { throw om::ObjectModelError(number); }

// The book at `path`; nothing when it is no regular file or cannot be used.
std::shared_ptr<sqlitebook::Book> OpenBookAt(const std::string& path) {
  if (!fs::FilePtr(fs::OpenFile(path))) return nullptr;
  return sqlitebook::OpenBook(path);
}

class BookFolder final : public FolderSource {
 public:
  BookFolder(std::shared_ptr<sqlitebook::Book> book, std::u16string name, std::u16string storeId,
             std::u16string entryId, std::vector<BookEntry> subfolders = {})
      : book_(std::move(book)), name_(std::move(name)), storeId_(std::move(storeId)),
        entryId_(std::move(entryId)), subfolders_(std::move(subfolders)) {}

  std::u16string Name() override { return name_; }
  std::u16string EntryId() override { return entryId_; }
  std::size_t ItemCount() override { return book_->ItemCount(); }
  std::size_t SubfolderCount() override { return subfolders_.size(); }

  // A book that cannot be used is as unreadable as a corrupt item.
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    const BookEntry& entry = subfolders_.at(index);
    std::shared_ptr<sqlitebook::Book> book = OpenBookAt(entry.path);
    if (!book) Fail(om::kMapiCorruptData);
    return std::make_unique<BookFolder>(std::move(book), entry.name, storeId_,
                                        storeId_ + u":" + HexText(entry.path));
  }

  ItemData FetchItem(std::size_t index) override {
    std::optional<ItemData> item = book_->ReadItem(index);
    if (!item) Fail(om::kMapiCorruptData);
    return std::move(*item);
  }

 private:
  std::shared_ptr<sqlitebook::Book> book_;
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
  BookStore(BookEntry top, std::vector<BookEntry> others, std::string identity)
      : top_(std::move(top)), others_(std::move(others)), identity_(std::move(identity)) {}

  // Derived from the store's name in its profile, like a data file store's.
  std::u16string StoreId() override {
    RequireOpen();
    return HexText("contact-export address book store:" + identity_);
  }
  std::unique_ptr<FolderSource> OpenTopFolder() override { return OpenFolder(); }
  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override { return OpenFolder(); }

 private:
  std::unique_ptr<FolderSource> OpenFolder() {
    const std::shared_ptr<sqlitebook::Book>& book = RequireOpen();
    const std::u16string id = StoreId();
    return std::make_unique<BookFolder>(book, top_.name, id, id + u":" + HexText(top_.path),
                                        others_);
  }

  // The top book is opened (and checked) once, when the store is first used;
  // one that cannot be used makes a failing provider.
  const std::shared_ptr<sqlitebook::Book>& RequireOpen() {
    if (!tried_) {
      tried_ = true;
      book_ = OpenBookAt(top_.path);
    }
    if (!book_) Fail(om::kMapiFailOneProvider);
    return book_;
  }

  BookEntry top_;
  std::vector<BookEntry> others_;
  std::string identity_;
  bool tried_ = false;
  std::shared_ptr<sqlitebook::Book> book_;
};

}  // namespace

std::unique_ptr<StoreSource> MakeBookStore(BookEntry top, std::vector<BookEntry> others, std::string identity) {
  return std::make_unique<BookStore>(std::move(top), std::move(others), std::move(identity));
}

std::unique_ptr<StoreSource> OpenAddressBookStore(const std::string& path) {
  return MakeBookStore({path, TextFromUtf8(FolderName(path))}, {}, fs::BaseName(path));
}

}  // namespace standalone
