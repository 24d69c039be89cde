// A store of the profile made of an Outlook data file (.pst, .ost), served by
// the data-file reader (pst_file.h). Builds without libpff get the reader's
// failing twin, so there every data-file store is a failing provider.
#include <optional>
#include <string>

#include "om/error_numbers.h"
#include "store/pst/pst_file.h"
#include "store/fs.h"
#include "store/store_sources.h"

namespace standalone {
namespace {

[[noreturn]] void Fail(std::uint32_t number) { throw om::ObjectModelError(number); }

// What a folder's identity is made of: the store's identity and the folder's
// NID, which is unique within its file.
std::u16string FolderEntryId(const std::u16string& storeId, std::uint32_t nid) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string id = storeId + u":";
  for (int shift = 28; shift >= 0; shift -= 4) id += kDigits[(nid >> shift) & 0xF];
  return id;
}

class DataFileFolder final : public FolderSource {
 public:
  DataFileFolder(pst::FolderHandle folder, std::u16string storeId)
      : folder_(std::move(folder)), storeId_(std::move(storeId)) {}

  std::u16string Name() override { return pst::FolderName(folder_); }
  std::u16string EntryId() override { return FolderEntryId(storeId_, pst::FolderId(folder_)); }
  std::size_t ItemCount() override { return pst::MessageCount(folder_); }
  std::size_t SubfolderCount() override { return pst::SubfolderCount(folder_); }

  // Messages are read when fetched and not kept: the folder holds no item.
  ItemData FetchItem(std::size_t index) override {
    std::optional<pst::Message> message = pst::ReadMessage(folder_, index);
    if (!message) Fail(om::kMapiCorruptData);
    ItemData item{message->kind, nullptr};
    if (om::HasContactProperties(item.kind)) {
      item.properties = std::make_shared<const om::ContactValues>(std::move(message->values));
    }
    return item;
  }

  // A subfolder that libpff cannot open is as unreadable as a corrupt item.
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    pst::FolderHandle sub = pst::Subfolder(folder_, index);
    if (!sub) Fail(om::kMapiCorruptData);
    return std::make_unique<DataFileFolder>(std::move(sub), storeId_);
  }

 private:
  pst::FolderHandle folder_;
  std::u16string storeId_;
};

class DataFileStore final : public StoreSource {
 public:
  explicit DataFileStore(std::string path) : path_(std::move(path)) {}

  // Derived from the file's name in its profile, like a directory store's
  // (the file's own record key is the same in every copy of the file, and
  // two copies can sit in one profile).
  std::u16string StoreId() override {
    RequireOpen();
    return HexText("contact-export data file store:" + fs::BaseName(path_));
  }

  std::unique_ptr<FolderSource> OpenTopFolder() override {
    return std::make_unique<DataFileFolder>(pst::TopFolder(RequireOpen()), StoreId());
  }

  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override {
    pst::FolderHandle folder = pst::DefaultContactsFolder(RequireOpen());
    if (!folder) Fail(om::kMapiNotFound);
    return std::make_unique<DataFileFolder>(std::move(folder), StoreId());
  }

 private:
  // The file is opened once, when the store is first used, and stays open
  // (one libpff handle) while the store or one of its folders lives. A file
  // libpff cannot open, or one without a root folder, is a failing provider.
  const pst::FileHandle& RequireOpen() {
    if (!tried_) {
      tried_ = true;
      file_ = pst::OpenFile(path_);
    }
    if (!file_) Fail(om::kMapiFailOneProvider);
    return file_;
  }

  std::string path_;
  bool tried_ = false;
  pst::FileHandle file_;
};

}  // namespace

std::unique_ptr<StoreSource> OpenOutlookDataFileStore(const std::string& path) {
  return std::make_unique<DataFileStore>(path);
}

}  // namespace standalone
