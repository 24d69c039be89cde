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
// Cards of a file are fetched in file order; reading this much ahead makes
// that one read per window instead of one per card.
constexpr std::size_t kReadAhead = std::size_t{256} << 10;

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
  std::optional<vcard::Card> ReadCard(const CardRef& ref);
  std::optional<std::string_view> AheadBytes(const CardRef& ref);

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
  std::string ahead_;  // bytes of the open file from aheadStart_ on
  std::uint64_t aheadStart_ = 0;
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
    ahead_.clear();
  }
  std::optional<vcard::Card> card = ReadCard(ref);
  // The buffers are kept for the next card, unless one huge card made them huge.
  if (cardBuffer_.capacity() > kKeptCardBuffer) std::string().swap(cardBuffer_);
  if (ahead_.capacity() > kKeptCardBuffer + kReadAhead) std::string().swap(ahead_), aheadStart_ = 0;
  if (!card) throw om::ObjectModelError(om::kMapiCorruptData);
  const bool group = card->kind == vcard::CardKind::kGroup;
  return {group ? u"DistListItem" : u"ContactItem", std::move(card->values)};
}

std::optional<vcard::Card> DirectoryFolder::ReadCard(const CardRef& ref) {
  if (!openFile_) return std::nullopt;
  // The first card of a file needs no head; the others read it once per file.
  if (ref.offset == 0) return ReadIndexedCard(openFile_.get(), std::string_view(), ref, cardBuffer_);
  if (!openHead_) openHead_ = ReadFileHead(openFile_.get());
  if (!openHead_) return std::nullopt;
  // A card of a byte file past its first bytes decodes the same with or
  // without them before it (it starts with BEGIN, never with a mark), so it
  // is decoded where it lies in the read-ahead bytes. UTF-16 files need their
  // mark in front of the card.
  const bool utf16 = openHead_->starts_with("\xFF\xFE") || openHead_->starts_with("\xFE\xFF");
  if (utf16) return ReadIndexedCard(openFile_.get(), *openHead_, ref, cardBuffer_);
  const std::optional<std::string_view> bytes = AheadBytes(ref);
  if (!bytes) return std::nullopt;
  return vcard::ReadCard(*bytes, {0, bytes->size()});
}

// The bytes of `ref`, from the read-ahead window, read anew when the card
// is not wholly in it.
std::optional<std::string_view> DirectoryFolder::AheadBytes(const CardRef& ref) {
  const bool inside = !ahead_.empty() && ref.offset >= aheadStart_ &&
                      ref.offset + ref.length <= aheadStart_ + ahead_.size();
  if (!inside) {
    const std::uint64_t size = fs::FileSize(openFile_.get());
    std::size_t length = ref.length;
    if (size > ref.offset + ref.length) {
      length = static_cast<std::size_t>(std::max<std::uint64_t>(ref.length, std::min<std::uint64_t>(size - ref.offset, kReadAhead)));
    }
    ahead_.resize(length);
    aheadStart_ = ref.offset;
    if (!fs::ReadAt(openFile_.get(), ref.offset, length, ahead_.data())) {
      ahead_.clear();
      return std::nullopt;
    }
  }
  return std::string_view(ahead_).substr(static_cast<std::size_t>(ref.offset - aheadStart_), ref.length);
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
