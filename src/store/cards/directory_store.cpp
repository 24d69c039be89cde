// A store of a profile made of a directory (or of one .vcf file).
#include "om/error_numbers.h"
#include "store/cards/directory_store.h"

namespace store {
namespace {

// The folders that hold a store's contacts, in order of preference: the
// English name in any ASCII case, then the Japanese one.
bool IsContactsName(const std::u16string& name) { return EqualsNoCase(name, u"contacts"); }

std::unique_ptr<FolderSource> FindSubfolder(FolderSource& top, bool (*matches)(const std::u16string&)) {
  const std::size_t count = top.SubfolderCount();
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_ptr<FolderSource> folder = top.OpenSubfolder(i);
    if (matches(folder->Name())) return folder;
  }
  return nullptr;
}

class DirectoryStore final : public StoreSource {
 public:
  DirectoryStore(std::string path, std::string name, StoreShape shape, std::shared_ptr<ListedDirectories> listed,
                 std::shared_ptr<fs::Directory> directory, std::string openFailure)
      : path_(std::move(path)),
        name_(std::move(name)),
        shape_(shape),
        listed_(std::move(listed)),
        directory_(std::move(directory)),
        openFailure_(std::move(openFailure)) {}

  // Derived from the store's name in its profile, which is what makes a
  // store this store from run to run; the hexadecimal form keeps it in the
  // shape of Outlook's store identifiers.
  std::u16string StoreId() override { return HexText("contact-export directory store:" + name_); }

  std::unique_ptr<FolderSource> OpenTopFolder() override {
    if (shape_ == StoreShape::kVcfFile) return OpenVcfFileFolder(path_, name_);
    const fs::Identity identity = directory_ ? fs::StatDirectory(directory_.get()).identity : fs::StatPath(path_).identity;
    return OpenDirectoryFolder(directory_, path_, name_, {identity}, listed_, openFailure_);
  }

  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override {
    std::unique_ptr<FolderSource> top = OpenTopFolder();
    if (shape_ != StoreShape::kStoreDirectory) return top;
    // A top folder that cannot be listed hides which of its folders holds the
    // contacts: it stands for the contacts folder, and fails the export where
    // it is first read, as any folder that cannot be read does.
    try {
      top->SubfolderCount();
    } catch (const om::ObjectModelError&) {
      return top;
    }
    if (auto folder = FindSubfolder(*top, IsContactsName)) return folder;
    if (auto folder = FindSubfolder(*top, [](const std::u16string& name) { return name == u"連絡先"; })) {
      return folder;
    }
    throw om::ObjectModelError(om::kMapiNotFound, Printable(path_) + ": no folder named Contacts or 連絡先");
  }

 private:
  std::string path_;
  std::string name_;
  StoreShape shape_;
  std::shared_ptr<ListedDirectories> listed_;
  std::shared_ptr<fs::Directory> directory_;  // held open for the top folders; none for a .vcf file
  std::string openFailure_;                   // why there is no directory_, when there should be
};

}  // namespace

// The directory is opened when the store is first used. One that cannot be
// opened (a dangling link, a file in place of the directory, an I/O error)
// makes a failing store; one that could not be opened only for want of a
// free descriptor does not: its top folder fails when read.
std::unique_ptr<StoreSource> OpenDirectoryStore(std::string path, std::string name, StoreShape shape,
                                                std::shared_ptr<ListedDirectories> listed) {
  return OpenOnFirstUse([path = std::move(path), name = std::move(name), shape,
                         listed = std::move(listed)]() -> std::unique_ptr<StoreSource> {
    std::shared_ptr<fs::Directory> directory;
    std::string failure;
    if (shape != StoreShape::kVcfFile) {
      bool outOfDescriptors = false;
      directory.reset(fs::OpenDirectory(path, &outOfDescriptors, &failure), fs::DirectoryCloser());
      if (!directory && !outOfDescriptors) return FailingStore(std::move(failure));
    }
    return std::make_unique<DirectoryStore>(path, name, shape, listed, std::move(directory), std::move(failure));
  });
}

}  // namespace store
