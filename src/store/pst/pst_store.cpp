// A store of the profile made of an Outlook data file (.pst, .ost), served by
// the data-file reader (pst_file.h). Builds without libpff have
// pst_store_unavailable.cpp in its place.
#include <optional>
#include <string>

#include "om/error_numbers.h"
#include "store/pst/pst_file.h"
#include "store/fs.h"
#include "store/store_sources.h"
#include "text/native_path.h"

namespace store {
namespace {

// A folder whose list of messages or subfolders cannot be read, or a subfolder
// that cannot be opened, fails the export where it is read, as a vCard folder
// that cannot be listed does: never an empty folder, which would end the
// export as complete without its contacts. libpff fails such a folder again
// every time it is asked, so it goes on failing.
[[noreturn]] void FailListing(std::string reason) {
  throw om::ObjectModelError(om::kMapiCallFailed, std::move(reason));
}

// What a folder's identity is made of: the store's identity and the folder's
// NID, which is unique within its file.
std::u16string FolderEntryId(const std::u16string& storeId, std::uint32_t nid) {
  std::u16string id = storeId + u":";
  for (int shift = 24; shift >= 0; shift -= 8) text::AppendHexByte(static_cast<unsigned char>(nid >> shift), id);
  return id;
}

class DataFileFolder final : public FolderSource {
 public:
  // The folder `folder` of the data file at `file`, reached along `path`
  // (folder names, '/' between them, from the folder the walk started at).
  DataFileFolder(pst::FolderHandle folder, std::u16string storeId, std::shared_ptr<const std::string> file,
                 std::u16string path)
      : folder_(std::move(folder)), storeId_(std::move(storeId)), file_(std::move(file)), path_(std::move(path)) {}

  std::u16string Name() override { return pst::FolderName(folder_); }
  std::u16string EntryId() override { return FolderEntryId(storeId_, pst::FolderId(folder_)); }
  std::size_t ItemCount() override {
    std::string failure;
    const std::optional<std::size_t> count = pst::MessageCount(folder_, &failure);
    if (!count) FailListing(Where() + ": " + failure);
    return *count;
  }
  std::size_t SubfolderCount() override {
    std::string failure;
    const std::optional<std::size_t> count = pst::SubfolderCount(folder_, &failure);
    if (!count) FailListing(Where() + ": " + failure);
    return *count;
  }

  // Messages are read when fetched and not kept: the folder holds no item. A
  // message libpff cannot read is a corrupt item, skipped by the export.
  ItemData FetchItem(std::size_t index) override {
    std::string failure;
    std::optional<pst::Message> message = pst::ReadMessage(folder_, index, &failure);
    if (!message) throw om::ObjectModelError(om::kMapiCorruptData, Location(index) + ": " + failure);
    ItemData item{message->kind, nullptr};
    if (om::HasContactProperties(item.kind)) {
      item.properties = std::make_shared<const om::ContactValues>(std::move(message->values));
    }
    return item;
  }

  // The message's position in its folder, as Outlook lists them.
  std::string Location(std::size_t index) override { return "message " + std::to_string(index + 1); }

  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    std::string failure;
    pst::FolderHandle sub = pst::Subfolder(folder_, index, &failure);
    if (!sub) FailListing(Where() + ": " + failure);
    std::u16string path = path_ + u"/" + pst::FolderName(sub);
    return std::make_unique<DataFileFolder>(std::move(sub), storeId_, file_, std::move(path));
  }

 private:
  // "work.pst, folder "Contacts/Old"".
  std::string Where() const {
    return Printable(*file_) + ", folder \"" + Printable(text::PathTextToBytes(path_)) + "\"";
  }

  pst::FolderHandle folder_;
  std::u16string storeId_;
  std::shared_ptr<const std::string> file_;
  std::u16string path_;
};

// Stands for the contacts folder when the search for it met a folder it
// cannot read: which folder holds the contacts is not known, so this one
// fails wherever it is read, and the export with it.
class UnsearchableFolder final : public FolderSource {
 public:
  explicit UnsearchableFolder(const std::string& file)
      : reason_(Printable(file) + ": a folder on the way to the contacts folder cannot be read") {}
  std::u16string Name() override { FailListing(reason_); }
  std::u16string EntryId() override { FailListing(reason_); }
  std::size_t ItemCount() override { FailListing(reason_); }
  ItemData FetchItem(std::size_t) override { FailListing(reason_); }
  std::size_t SubfolderCount() override { FailListing(reason_); }
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t) override { FailListing(reason_); }

 private:
  std::string reason_;
};

class DataFileStore final : public StoreSource {
 public:
  DataFileStore(std::string path, pst::FileHandle file)
      : path_(std::make_shared<const std::string>(std::move(path))), file_(std::move(file)) {}

  // Derived from the file's name in its profile, like a directory store's
  // (the file's own record key is the same in every copy of the file, and
  // two copies can sit in one profile).
  std::u16string StoreId() override { return HexText("contact-export data file store:" + fs::BaseName(*path_)); }

  // When a folder list on the way to the top folder cannot be read, the top
  // folder is one that fails when read.
  std::unique_ptr<FolderSource> OpenTopFolder() override {
    pst::FolderHandle top = pst::TopFolder(file_);
    if (!top) FailListing(Printable(*path_) + ": a folder on the way to the top folder cannot be read");
    return Folder(std::move(top));
  }

  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override {
    pst::FolderSearch search = pst::DefaultContactsFolder(file_);
    if (search.unreadable) return std::make_unique<UnsearchableFolder>(*path_);
    if (!search.folder) throw om::ObjectModelError(om::kMapiNotFound, Printable(*path_) + ": no contacts folder");
    return Folder(std::move(search.folder));
  }

 private:
  std::unique_ptr<FolderSource> Folder(pst::FolderHandle folder) {
    std::u16string name = pst::FolderName(folder);
    return std::make_unique<DataFileFolder>(std::move(folder), StoreId(), path_, std::move(name));
  }

  std::shared_ptr<const std::string> path_;
  pst::FileHandle file_;  // one libpff handle, open while the store or one of its folders lives
};

}  // namespace

std::string_view OutlookDataFilesUnavailable() { return {}; }

// The file is opened when the store is first used. An entry named like a data
// file that is no regular file (a FIFO, a device, a directory, a dangling
// link) fails without being handed to libpff, which would wait on a FIFO for
// a writer or read a device without end; so does a file libpff cannot open,
// or one without a root folder or cut short.
std::unique_ptr<StoreSource> OpenOutlookDataFileStore(const std::string& path) {
  return OpenOnFirstUse([path]() -> std::unique_ptr<StoreSource> {
    std::string failure;
    if (!fs::FilePtr(fs::OpenFile(path, &failure))) return FailingStore(std::move(failure));
    pst::FileHandle file = pst::OpenFile(path, &failure);
    if (!file) return FailingStore(std::move(failure));
    return std::make_unique<DataFileStore>(path, std::move(file));
  });
}

}  // namespace store
