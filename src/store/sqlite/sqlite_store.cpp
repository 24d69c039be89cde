// A store of the profile made of one SQLite address book (Thunderbird's
// .sqlite, Evolution's .db): one folder, the store's top folder and its
// contacts folder, named by the file name without its suffix. Builds without
// SQLite get the reader's failing twin, so there every such store is a
// failing provider.
#include <memory>
#include <string>

#include "om/error_numbers.h"
#include "store/fs.h"
#include "store/sqlite/sqlite_book.h"
#include "store/store_sources.h"

namespace standalone {
namespace {

[[noreturn]] void Fail(std::uint32_t number) { throw om::ObjectModelError(number); }

class BookFolder final : public FolderSource {
 public:
  BookFolder(std::shared_ptr<sqlitebook::Book> book, std::u16string name, std::u16string entryId)
      : book_(std::move(book)), name_(std::move(name)), entryId_(std::move(entryId)) {}

  std::u16string Name() override { return name_; }
  std::u16string EntryId() override { return entryId_; }
  std::size_t ItemCount() override { return book_->ItemCount(); }
  std::size_t SubfolderCount() override { return 0; }
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t) override { Fail(om::kMapiNotFound); }

  ItemData FetchItem(std::size_t index) override {
    std::optional<ItemData> item = book_->ReadItem(index);
    if (!item) Fail(om::kMapiCorruptData);
    return std::move(*item);
  }

 private:
  std::shared_ptr<sqlitebook::Book> book_;
  std::u16string name_;
  std::u16string entryId_;
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
  explicit BookStore(std::string path) : path_(std::move(path)) {}

  // Derived from the file's name in its profile, like a data file store's.
  std::u16string StoreId() override {
    RequireOpen();
    return HexText("contact-export address book store:" + fs::BaseName(path_));
  }
  std::unique_ptr<FolderSource> OpenTopFolder() override { return OpenFolder(); }
  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override { return OpenFolder(); }

 private:
  std::unique_ptr<FolderSource> OpenFolder() {
    const std::shared_ptr<sqlitebook::Book>& book = RequireOpen();
    return std::make_unique<BookFolder>(book, TextFromUtf8(FolderName(path_)), StoreId() + u":book");
  }

  // The book is opened (and checked) once, when the store is first used; a
  // book that cannot be used is a failing provider.
  const std::shared_ptr<sqlitebook::Book>& RequireOpen() {
    if (!tried_) {
      tried_ = true;
      if (fs::FilePtr(fs::OpenFile(path_))) book_ = sqlitebook::OpenBook(path_);
    }
    if (!book_) Fail(om::kMapiFailOneProvider);
    return book_;
  }

  std::string path_;
  bool tried_ = false;
  std::shared_ptr<sqlitebook::Book> book_;
};

}  // namespace

std::unique_ptr<StoreSource> OpenAddressBookStore(const std::string& path) {
  return std::make_unique<BookStore>(path);
}

}  // namespace standalone
