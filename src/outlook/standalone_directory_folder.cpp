// A folder of a directory store: lists its directory once, and indexes the
// cards of its .vcf files when its items are first asked for; the cards are
// decoded by a CardDecoder (standalone_card_decoder.h).
#include <algorithm>

#include "outlook/standalone_card_decoder.h"
#include "outlook/standalone_directory.h"

namespace standalone {
namespace {

struct Subfolder {
  NameRef name;
  fs::Identity identity;
};

// Where the folder's files are, for the decoding thread, which may still
// hold it for a moment after the folder has gone.
class FileLocations final : public FolderFiles {
 public:
  FileLocations(std::string path, bool singleFile, std::shared_ptr<const NamePool> names)
      : path_(std::move(path)), singleFile_(singleFile), names_(std::move(names)) {}
  std::string FilePath(NameRef file) const override {
    return singleFile_ ? path_ : fs::JoinPath(path_, FileName(file));
  }
  std::string FileName(NameRef file) const override { return std::string(GetName(*names_, file)); }

 private:
  std::string path_;
  bool singleFile_;
  std::shared_ptr<const NamePool> names_;  // complete: the folder is listed
};

class DirectoryFolder final : public FolderSource {
 public:
  DirectoryFolder(std::string path, std::string name, std::vector<fs::Identity> lineage, bool singleFile)
      : path_(std::move(path)), name_(std::move(name)), lineage_(std::move(lineage)), singleFile_(singleFile) {}

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
    return OpenDirectoryFolder(fs::JoinPath(path_, name), name, std::move(lineage));
  }

 private:
  bool IsLineage(const fs::Identity& identity) const {
    return std::find(lineage_.begin(), lineage_.end(), identity) != lineage_.end();
  }
  void AddEntry(std::string_view name, fs::EntryType type);
  void List();
  void Index();

  std::string path_;
  std::string name_;
  std::vector<fs::Identity> lineage_;
  bool singleFile_;
  bool listed_ = false;
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
// contacts (AppleDouble "._x.vcf" files, sync state, editor backups).
void DirectoryFolder::AddEntry(std::string_view name, fs::EntryType type) {
  if (name.starts_with('.')) return;
  const bool vcf = EndsWithNoCase(name, ".vcf");
  if (type == fs::EntryType::kRegular) {
    if (vcf) files_.push_back(AddName(*names_, name));
    return;
  }
  if (type == fs::EntryType::kDirectory || type == fs::EntryType::kSymlink) {
    const fs::Status status = fs::StatPath(fs::JoinPath(path_, std::string(name)));
    if (status.directory) {
      if (!IsLineage(status.identity)) subfolders_.push_back({AddName(*names_, name), status.identity});
      return;
    }
  }
  // A FIFO, device or dangling link named x.vcf is an item that cannot be read.
  if (vcf) files_.push_back(AddName(*names_, name));
}

void DirectoryFolder::List() {
  if (listed_) return;
  listed_ = true;
  if (singleFile_) {
    files_.push_back(AddName(*names_, name_));
    return;
  }
  const bool complete = fs::ForEachEntry(
      path_, [this](std::string_view name, fs::EntryType type) { AddEntry(name, type); });
  if (!complete) {
    // A directory that cannot be read to its end is an empty folder: the
    // export goes on with the folders after it instead of stopping.
    files_.clear();
    subfolders_.clear();
    names_->blocks.clear();
  }
  SortByName(files_, *names_, [](NameRef ref) { return ref; });
  SortByName(subfolders_, *names_, [](const Subfolder& s) { return s.name; });
}

void DirectoryFolder::Index() {
  if (indexed_) return;
  List();
  indexed_ = true;
  decoder_ = std::make_unique<CardDecoder>(std::make_shared<const FileLocations>(path_, singleFile_, names_));
  // The files are opened by name within their directory, held open meanwhile.
  std::shared_ptr<fs::Directory> directory(singleFile_ ? nullptr : fs::OpenDirectory(path_), fs::DirectoryCloser());
  decoder_->IndexFiles(std::vector<NameRef>(files_.begin(), files_.end()), std::move(directory));
  files_ = {};
}

}  // namespace

std::unique_ptr<FolderSource> OpenDirectoryFolder(std::string path, std::string name,
                                                  std::vector<fs::Identity> lineage) {
  return std::make_unique<DirectoryFolder>(std::move(path), std::move(name), std::move(lineage), false);
}

std::unique_ptr<FolderSource> OpenVcfFileFolder(std::string path, std::string name) {
  std::vector<fs::Identity> lineage{fs::StatPath(path).identity};
  return std::make_unique<DirectoryFolder>(std::move(path), std::move(name), std::move(lineage), true);
}

}  // namespace standalone
