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

namespace standalone {
namespace {

struct Subfolder {
  NameRef name;
  fs::Identity identity;
};

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
  DirectoryFolder(std::shared_ptr<fs::Directory> directory, std::string name, std::vector<fs::Identity> lineage,
                  std::shared_ptr<ListedDirectories> listedDirectories)
      : directory_(std::move(directory)),
        name_(std::move(name)),
        lineage_(std::move(lineage)),
        listedDirectories_(std::move(listedDirectories)) {}
  // A folder of one .vcf file.
  DirectoryFolder(std::string path, std::string name, fs::Identity identity)
      : singleFile_(std::move(path)), name_(std::move(name)), lineage_{identity} {}

  std::u16string Name() override { return TextFromUtf8(name_); }

  std::u16string EntryId() override {
    const fs::Identity id = lineage_.back();
    return HexText(std::string_view(reinterpret_cast<const char*>(&id), sizeof id));
  }

  std::size_t ItemCount() override {
    Index();
    return decoder_->Count();
  }

  ItemData FetchItem(std::size_t index) override {
    Index();
    return decoder_->Fetch(index);
  }

  std::size_t SubfolderCount() override {
    List();
    return subfolders_.size();
  }

  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    List();
    const Subfolder& subfolder = subfolders_.at(index);
    std::string name(GetName(*names_, subfolder.name));
    std::vector<fs::Identity> lineage = lineage_;
    lineage.push_back(subfolder.identity);
    std::shared_ptr<fs::Directory> directory(fs::OpenDirectoryIn(directory_.get(), name), fs::DirectoryCloser());
    return OpenDirectoryFolder(std::move(directory), std::move(name), std::move(lineage), listedDirectories_);
  }

 private:
  bool IsLineage(const fs::Identity& identity) const {
    return std::find(lineage_.begin(), lineage_.end(), identity) != lineage_.end();
  }
  bool AddEntry(std::string_view name, fs::EntryType type);
  bool ListDirectory();
  void LeaveOutWalkedElsewhere();
  void List();
  void Index();

  std::shared_ptr<fs::Directory> directory_;  // nothing for a .vcf file folder
  std::string singleFile_;                    // the path of a .vcf file folder's file
  std::string name_;
  std::vector<fs::Identity> lineage_;
  std::shared_ptr<ListedDirectories> listedDirectories_;
  bool listed_ = false;
  bool unreadable_ = false;
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

// Entries whose names start with "." are neither items nor folders: they are
// hidden by convention, and hold what other programs keep beside the
// contacts (AppleDouble "._x.vcf" files, sync state, editor backups). False
// when the entry could not be examined: whether it is a folder is not known.
bool DirectoryFolder::AddEntry(std::string_view name, fs::EntryType type) {
  if (name.starts_with('.')) return true;
  const bool vcf = EndsWithNoCase(name, ".vcf");
  if (type == fs::EntryType::kRegular) {
    if (vcf) files_.push_back(AddName(*names_, name));
    return true;
  }
  if (type == fs::EntryType::kDirectory || type == fs::EntryType::kSymlink) {
    const fs::Status status = fs::StatIn(directory_.get(), std::string(name));
    if (status.failed) return false;
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
  const bool complete = fs::ForEachEntry(directory_.get(), [&](std::string_view name, fs::EntryType type) {
    if (examined) examined = AddEntry(name, type);
  });
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
    if (!seen.insert(subfolder.identity).second) return true;
    const auto walked = parents.find(subfolder.identity);
    return walked != parents.end() && walked->second != self;
  });
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
  if (unreadable_) throw om::ObjectModelError(om::kMapiCallFailed, "cannot list the folder to its end");
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

std::unique_ptr<FolderSource> OpenDirectoryFolder(std::shared_ptr<fs::Directory> directory, std::string name,
                                                  std::vector<fs::Identity> lineage,
                                                  std::shared_ptr<ListedDirectories> listed) {
  return std::make_unique<DirectoryFolder>(std::move(directory), std::move(name), std::move(lineage),
                                           std::move(listed));
}

std::unique_ptr<FolderSource> OpenVcfFileFolder(std::string path, std::string name) {
  const fs::Identity identity = fs::StatPath(path).identity;
  return std::make_unique<DirectoryFolder>(std::move(path), std::move(name), identity);
}

}  // namespace standalone
