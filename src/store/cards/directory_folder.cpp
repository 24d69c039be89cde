// A folder of a directory store: holds its directory open while it lives,
// lists it once, and indexes the cards of its .vcf files when its items are
// first asked for; the cards are decoded by a CardDecoder
// (card_decoder.h). Its subfolders are opened within its
// directory, so no path grows with the depth of the tree.
#include <algorithm>
#include <set>

#include "om/error_numbers.h"
#include "store/cards/card_decoder.h"
#include "store/cards/directory_store.h"
#include "store/store_kinds.h"

namespace store {
namespace {

struct Subfolder {
  NameRef name;
  fs::Identity identity;
  const StoreKind* store = nullptr;  // a store of that kind; nothing for a directory of vCard files
  bool reached = true;               // false for a store that leads nowhere: then `identity` means nothing
};

// A store among a folder's entries, as one of its subfolders: the store's
// default contacts folder under the entry's name, with that folder's items
// and subfolders. The store is opened when the folder's contents are first
// asked for; one that cannot be opened, or has no contacts folder, is a
// folder that cannot be read. Each folder's entry ID is the entry's own,
// before the store's ID of the folder for those below it, so that no ID the
// store gives its folders can be one of another folder in the walk.
class StoreFolder final : public FolderSource {
 public:
  // The store's contacts folder, of the entry at `path`; `store` nothing for
  // a store walked along another path, which holds nothing here.
  StoreFolder(std::shared_ptr<StoreSource> store, std::u16string name, std::u16string entryId, std::string path)
      : store_(std::move(store)), name_(std::move(name)), entryId_(std::move(entryId)), path_(std::move(path)),
        top_(true) {}
  // A folder below it.
  StoreFolder(std::shared_ptr<StoreSource> store, std::unique_ptr<FolderSource> folder, std::u16string topId)
      : store_(std::move(store)), entryId_(std::move(topId)), folder_(std::move(folder)) {}

  std::u16string Name() override { return top_ ? name_ : folder_->Name(); }
  std::u16string EntryId() override { return top_ ? entryId_ : entryId_ + u":" + folder_->EntryId(); }
  std::size_t ItemCount() override { return store_ ? Folder().ItemCount() : 0; }
  ItemData FetchItem(std::size_t index) override { return Folder().FetchItem(index); }
  std::string Location(std::size_t index) override { return Folder().Location(index); }
  std::size_t SubfolderCount() override { return store_ ? Folder().SubfolderCount() : 0; }
  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    return std::make_unique<StoreFolder>(store_, Folder().OpenSubfolder(index), entryId_);
  }

 private:
  FolderSource& Folder() {
    if (!folder_ && !failure_ && store_) {
      try {
        folder_ = store_->OpenDefaultContactsFolder();
      } catch (const om::ObjectModelError& error) {
        const std::string why = error.reason().empty() ? "the store cannot be opened" : std::string(error.reason());
        failure_ = std::make_shared<const std::string>(Printable(path_) + ": " + why);
      }
    }
    if (!folder_) throw om::ObjectModelError(failure_ ? om::kMapiCallFailed : om::kDispBadIndex, failure_ ? *failure_ : "");
    return *folder_;
  }

  std::shared_ptr<StoreSource> store_;
  std::u16string name_;
  std::u16string entryId_;  // a folder below the top: the top's
  std::string path_;        // of the store's entry; a folder below the top: none
  bool top_ = false;
  std::unique_ptr<FolderSource> folder_;
  std::shared_ptr<const std::string> failure_;  // why the store's contacts folder cannot be opened
};

std::u16string IdentityText(const fs::Identity& id) {
  return HexText(std::string_view(reinterpret_cast<const char*>(&id), sizeof id));
}

// Where the folder's files are, for the decoding thread, which may still
// hold it for a moment after the folder has gone: a directory folder's files
// are opened by name within its directory, held open meanwhile, and a .vcf
// file folder's one file by its path.
class FileLocations final : public FolderFiles {
 public:
  FileLocations(std::shared_ptr<fs::Directory> directory, std::string singleFile,
                std::shared_ptr<const NamePool> names)
      : directory_(std::move(directory)), singleFile_(std::move(singleFile)), names_(std::move(names)) {}
  std::string FilePath(NameRef) const override { return singleFile_; }
  std::string FileName(NameRef file) const override { return std::string(GetName(*names_, file)); }
  fs::File* Open(NameRef file) const override {
    return directory_ ? fs::OpenFileIn(directory_.get(), FileName(file)) : fs::OpenFile(singleFile_);
  }

 private:
  std::shared_ptr<fs::Directory> directory_;
  std::string singleFile_;
  std::shared_ptr<const NamePool> names_;  // complete: the folder is listed
};

class DirectoryFolder final : public FolderSource {
 public:
  // A folder of a directory (which may have failed to open).
  DirectoryFolder(std::shared_ptr<fs::Directory> directory, std::string path, std::string name,
                  std::vector<fs::Identity> lineage, std::shared_ptr<ListedDirectories> listedDirectories,
                  std::string openFailure)
      : directory_(std::move(directory)),
        path_(std::move(path)),
        name_(std::move(name)),
        lineage_(std::move(lineage)),
        listedDirectories_(std::move(listedDirectories)),
        failure_(std::move(openFailure)) {}
  // A folder of one .vcf file.
  DirectoryFolder(std::string path, std::string name, fs::Identity identity)
      : singleFile_(std::move(path)), name_(std::move(name)), lineage_{identity} {}

  std::u16string Name() override { return TextFromUtf8(name_); }

  std::u16string EntryId() override { return IdentityText(lineage_.back()); }

  std::size_t ItemCount() override {
    Index();
    return decoder_->Count();
  }

  ItemData FetchItem(std::size_t index) override {
    Index();
    try {
      return decoder_->Fetch(index);
    } catch (const om::ObjectModelError& error) {
      if (error.number() != om::kMapiCorruptData) throw;
      throw om::ObjectModelError(error.number(), Location(index) + ": " + WhyUnreadable(index));
    }
  }

  // "a.vcf, card 3": the file's name within the folder, and the card's
  // number in the file.
  std::string Location(std::size_t index) override {
    Index();
    const CardPlace place = decoder_->Place(index);
    return Printable(GetName(*names_, place.file)) + ", card " + std::to_string(place.number);
  }

  std::size_t SubfolderCount() override {
    List();
    return subfolders_.size();
  }

  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    List();
    const Subfolder& subfolder = subfolders_.at(index);
    std::string name(GetName(*names_, subfolder.name));
    if (subfolder.store) return OpenStoreFolder(subfolder, std::move(name));
    std::vector<fs::Identity> lineage = lineage_;
    lineage.push_back(subfolder.identity);
    std::string failure;
    std::shared_ptr<fs::Directory> directory(fs::OpenDirectoryIn(directory_.get(), name, &failure),
                                             fs::DirectoryCloser());
    std::string path = fs::JoinPath(path_, name);
    return OpenDirectoryFolder(std::move(directory), std::move(path), std::move(name), std::move(lineage),
                               listedDirectories_, std::move(failure));
  }

 private:
  std::unique_ptr<FolderSource> OpenStoreFolder(const Subfolder& subfolder, std::string name);
  std::string WhyUnreadable(std::size_t index);
  bool IsLineage(const fs::Identity& identity) const {
    return std::find(lineage_.begin(), lineage_.end(), identity) != lineage_.end();
  }
  bool AddEntry(std::string_view name, fs::EntryType type);
  bool Unexamined(std::string_view name);
  bool ListDirectory();
  void LeaveOutWalkedElsewhere();
  void List();
  void Index();

  std::shared_ptr<fs::Directory> directory_;  // nothing for a .vcf file folder
  std::string path_;                          // where the directory was reached: stores in it open by their paths
  std::string singleFile_;                    // the path of a .vcf file folder's file
  std::string name_;
  std::vector<fs::Identity> lineage_;
  std::shared_ptr<ListedDirectories> listedDirectories_;
  bool listed_ = false;
  bool unreadable_ = false;
  std::string failure_;  // why the directory cannot be opened or listed
  bool indexed_ = false;
  std::shared_ptr<NamePool> names_ = std::make_shared<NamePool>();
  std::deque<NameRef> files_;  // the .vcf files until they are indexed
  std::vector<Subfolder> subfolders_;
  std::unique_ptr<CardDecoder> decoder_;
};

// Sorts entries in byte order of their names.
template <typename T, typename Key>
void SortByName(T& entries, const NamePool& names, Key key) {
  std::sort(entries.begin(), entries.end(),
            [&](const auto& a, const auto& b) { return GetName(names, key(a)) < GetName(names, key(b)); });
}

// False, with the entry `name` in the reason why it cannot be examined.
bool DirectoryFolder::Unexamined(std::string_view name) {
  failure_ = "\"" + Printable(name) + "\": " + failure_;
  return false;
}

// Entries whose names start with "." are neither items nor folders: they are
// hidden by convention, and hold what other programs keep beside the
// contacts (AppleDouble "._x.vcf" files, sync state, editor backups). False
// when the entry could not be examined: whether it is a folder is not known.
bool DirectoryFolder::AddEntry(std::string_view name, fs::EntryType type) {
  if (name.starts_with('.')) return true;
  const bool vcf = EndsWithNoCase(name, ".vcf");
  if (type == fs::EntryType::kRegular && vcf) {
    files_.push_back(AddName(*names_, name));
    return true;
  }
  // A store of another kind is a subfolder, left out as a directory is when
  // it is an ancestor; one that leads nowhere fails when it is read.
  if (!vcf) {
    if (const StoreKind* kind = KindOfNestedEntry({fs::JoinPath(path_, std::string(name)), std::string(name), type})) {
      const fs::Status status = fs::StatIn(directory_.get(), std::string(name), &failure_);
      if (status.failed) return Unexamined(name);
      if (!status.exists || !IsLineage(status.identity)) {
        subfolders_.push_back({AddName(*names_, name), status.identity, kind, status.exists});
      }
      return true;
    }
    if (type == fs::EntryType::kRegular) return true;
  }
  if (type == fs::EntryType::kDirectory || type == fs::EntryType::kSymlink) {
    const fs::Status status = fs::StatIn(directory_.get(), std::string(name), &failure_);
    if (status.failed) return Unexamined(name);
    if (status.directory) {
      if (!IsLineage(status.identity)) subfolders_.push_back({AddName(*names_, name), status.identity});
      return true;
    }
  }
  // A FIFO, device or dangling link named x.vcf is an item that cannot be read.
  if (vcf) files_.push_back(AddName(*names_, name));
  return true;
}

// Lists the directory into files_ and subfolders_; false when it cannot be
// listed to its end or one of its entries cannot be examined.
bool DirectoryFolder::ListDirectory() {
  if (!directory_) return false;
  const fs::Identity parent = lineage_.size() > 1 ? lineage_[lineage_.size() - 2] : fs::Identity{};
  const auto [walked, first] = listedDirectories_->parents.try_emplace(lineage_.back(), parent);
  // Listed before from another directory, so its contacts are exported
  // there: along this path it holds nothing. (Listed from the same directory
  // it is the same folder opened again.)
  if (!first && walked->second != parent) return true;
  bool examined = true;
  const bool complete = fs::ForEachEntry(
      directory_.get(),
      [&](std::string_view name, fs::EntryType type) {
        if (examined) examined = AddEntry(name, type);
      },
      &failure_);
  return complete && examined;
}

// Of the subfolders that lead to one directory, only the first (in byte
// order of their names) is listed, and none when it was listed before from
// another directory.
void DirectoryFolder::LeaveOutWalkedElsewhere() {
  const fs::Identity self = lineage_.back();
  const auto& parents = listedDirectories_->parents;
  std::set<fs::Identity> seen;
  std::erase_if(subfolders_, [&](const Subfolder& subfolder) {
    if (!subfolder.reached) return false;
    if (!seen.insert(subfolder.identity).second) return true;
    const auto walked = parents.find(subfolder.identity);
    return walked != parents.end() && walked->second != self;
  });
}

// Why item `index` cannot be read, as far as can be told again: its file
// cannot be opened (the system's reason), the index found no card there, or
// the card itself cannot be read or parsed.
std::string DirectoryFolder::WhyUnreadable(std::size_t index) {
  const CardPlace place = decoder_->Place(index);
  std::string failure;
  const std::string name(GetName(*names_, place.file));
  const fs::FilePtr file(directory_ ? fs::OpenFileIn(directory_.get(), name, &failure)
                                    : fs::OpenFile(singleFile_, &failure));
  if (!file) return failure;
  if (place.unreadable) {
    return "no card can be read there (no BEGIN:VCARD ... END:VCARD, a read error, or over 128 MiB)";
  }
  return "the card cannot be read or parsed";
}

// The store is walked here unless it was walked from another directory
// before (registered as directories are when they are listed).
std::unique_ptr<FolderSource> DirectoryFolder::OpenStoreFolder(const Subfolder& subfolder, std::string name) {
  const fs::Identity self = lineage_.back();
  // One that leads nowhere has no identity: the folder's and its name say
  // which it is.
  std::u16string entryId = IdentityText(self) + u":" + HexText(name);
  bool walkedElsewhere = false;
  if (subfolder.reached) {
    entryId = IdentityText(subfolder.identity);
    const auto [walked, first] = listedDirectories_->parents.try_emplace(subfolder.identity, self);
    walkedElsewhere = !first && walked->second != self;
  }
  std::string path = fs::JoinPath(path_, name);
  std::shared_ptr<StoreSource> store;
  if (!walkedElsewhere) store = subfolder.store->open({path, name, fs::EntryType::kOther}, listedDirectories_);
  return std::make_unique<StoreFolder>(std::move(store), TextFromUtf8(NestedFolderName(*subfolder.store, name)),
                                       std::move(entryId), std::move(path));
}

// A folder that cannot be read fails, and goes on failing, rather than
// passing for an empty folder: the export would otherwise end as complete
// without its contacts.
void DirectoryFolder::List() {
  if (!listed_) {
    listed_ = true;
    if (!singleFile_.empty()) {
      files_.push_back(AddName(*names_, name_));
    } else if (ListDirectory()) {
      SortByName(files_, *names_, [](NameRef ref) { return ref; });
      SortByName(subfolders_, *names_, [](const Subfolder& s) { return s.name; });
      LeaveOutWalkedElsewhere();
    } else {
      unreadable_ = true;
      files_.clear();
      subfolders_.clear();
      names_->blocks.clear();
    }
  }
  if (unreadable_) {
    throw om::ObjectModelError(om::kMapiCallFailed,
                               Printable(path_) + ": " + (failure_.empty() ? "cannot list the folder" : failure_));
  }
}

void DirectoryFolder::Index() {
  if (indexed_) return;
  List();
  indexed_ = true;
  decoder_ = std::make_unique<CardDecoder>(std::make_shared<const FileLocations>(directory_, singleFile_, names_));
  // The files are opened by name within their directory, held open meanwhile.
  decoder_->IndexFiles(std::vector<NameRef>(files_.begin(), files_.end()), directory_);
  files_ = {};
}

}  // namespace

std::unique_ptr<FolderSource> OpenDirectoryFolder(std::shared_ptr<fs::Directory> directory, std::string path,
                                                  std::string name, std::vector<fs::Identity> lineage,
                                                  std::shared_ptr<ListedDirectories> listed, std::string openFailure) {
  return std::make_unique<DirectoryFolder>(std::move(directory), std::move(path), std::move(name), std::move(lineage),
                                           std::move(listed), std::move(openFailure));
}

std::unique_ptr<FolderSource> OpenVcfFileFolder(std::string path, std::string name) {
  const fs::Identity identity = fs::StatPath(path).identity;
  return std::make_unique<DirectoryFolder>(std::move(path), std::move(name), identity);
}

}  // namespace store
