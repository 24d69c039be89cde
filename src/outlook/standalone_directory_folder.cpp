// A folder of a directory store: lists its directory once, indexes the cards
// of its .vcf files when its items are first asked for, and reads one card
// per item fetch.
#include <algorithm>

#include "outlook/error_numbers.h"
#include "outlook/standalone_card_index.h"
#include "outlook/standalone_directory.h"

namespace standalone {
namespace {

constexpr std::size_t kKeptCardBuffer = std::size_t{1} << 20;

struct Subfolder {
  NameRef name;
  fs::Identity identity;
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
    return cards_.size();
  }

  ItemData FetchItem(std::size_t index) override;

  std::size_t SubfolderCount() override {
    List();
    return subfolders_.size();
  }

  std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) override {
    List();
    const Subfolder& subfolder = subfolders_.at(index);
    std::string name(GetName(names_, subfolder.name));
    std::vector<fs::Identity> lineage = lineage_;
    lineage.push_back(subfolder.identity);
    return OpenDirectoryFolder(fs::JoinPath(path_, name), name, std::move(lineage));
  }

 private:
  std::string FilePath(NameRef file) const {
    return singleFile_ ? path_ : fs::JoinPath(path_, std::string(GetName(names_, file)));
  }
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
  NamePool names_;
  std::deque<NameRef> files_;  // the .vcf files until they are indexed
  std::vector<Subfolder> subfolders_;
  CardList cards_;
  // The file of the last fetched item, kept open for the next one.
  fs::FilePtr openFile_;
  NameRef openName_ = 0;
  std::optional<std::string> openHead_;  // its first bytes, once a card past them is read
  std::string cardBuffer_;
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
    if (vcf) files_.push_back(AddName(names_, name));
    return;
  }
  if (type == fs::EntryType::kDirectory || type == fs::EntryType::kSymlink) {
    const fs::Status status = fs::StatPath(fs::JoinPath(path_, std::string(name)));
    if (status.directory) {
      if (!IsLineage(status.identity)) subfolders_.push_back({AddName(names_, name), status.identity});
      return;
    }
  }
  // A FIFO, device or dangling link named x.vcf is an item that cannot be read.
  if (vcf) files_.push_back(AddName(names_, name));
}

void DirectoryFolder::List() {
  if (listed_) return;
  listed_ = true;
  if (singleFile_) {
    files_.push_back(AddName(names_, name_));
    return;
  }
  const bool complete = fs::ForEachEntry(
      path_, [this](std::string_view name, fs::EntryType type) { AddEntry(name, type); });
  if (!complete) {
    // A directory that cannot be read to its end is an empty folder: the
    // export goes on with the folders after it instead of stopping.
    files_.clear();
    subfolders_.clear();
    names_.blocks.clear();
  }
  SortByName(files_, names_, [](NameRef ref) { return ref; });
  SortByName(subfolders_, names_, [](const Subfolder& s) { return s.name; });
}

void DirectoryFolder::Index() {
  if (indexed_) return;
  List();
  indexed_ = true;
  std::string scanBuffer;
  for (NameRef file : files_) IndexCardFile(FilePath(file), file, cards_, scanBuffer);
  files_ = {};
}

ItemData DirectoryFolder::FetchItem(std::size_t index) {
  Index();
  const CardRef& ref = cards_.at(index);
  if (ref.length == kUnreadableCard) throw om::ObjectModelError(om::kMapiCorruptData);
  if (!openFile_ || openName_ != ref.file) {
    openFile_.reset(fs::OpenFile(FilePath(ref.file)));
    openName_ = ref.file;
    openHead_.reset();
  }
  // The first card of a file needs no head; the others read it once per file.
  if (openFile_ && ref.offset > 0 && !openHead_) openHead_ = ReadFileHead(openFile_.get());
  std::optional<vcard::Card> card;
  if (openFile_ && (ref.offset == 0 || openHead_)) {
    card = ReadIndexedCard(openFile_.get(), openHead_ ? *openHead_ : std::string_view(), ref, cardBuffer_);
  }
  // The buffer is kept for the next card, unless one huge card made it huge.
  if (cardBuffer_.capacity() > kKeptCardBuffer) std::string().swap(cardBuffer_);
  if (!card) throw om::ObjectModelError(om::kMapiCorruptData);
  const bool group = card->kind == vcard::CardKind::kGroup;
  return {group ? u"DistListItem" : u"ContactItem", std::move(card->values)};
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
