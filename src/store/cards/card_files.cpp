#include "store/cards/card_files.h"

#include <algorithm>
#include <condition_variable>

#include "store/cards/thread_annotations.h"
#include "text/unicode_text.h"

namespace standalone {
namespace {

constexpr std::size_t kKeptCardBuffer = std::size_t{1} << 20;
// Cards of a file are fetched in file order; reading this much ahead makes
// that one read per window instead of one per card.
constexpr std::size_t kReadAhead = std::size_t{256} << 10;

}  // namespace

bool CardReader::Read(const CardRef& ref, const std::string* wholeFile, vcard::Card& card) {
  if (ref.length == kUnreadableCard) return false;
  if (wholeFile != nullptr) return vcard::ReadCardInto(*wholeFile, {ref.offset, ref.length}, card);
  if (!openFile_ || openName_ != ref.file) {
    openFile_.reset(files_->Open(ref.file));
    openName_ = ref.file;
    openHead_.reset();
    ahead_.clear();
  }
  const bool read = ReadFromFile(ref, card);
  // The buffers are kept for the next card, unless one huge card made them huge.
  if (cardBuffer_.capacity() > kKeptCardBuffer) std::string().swap(cardBuffer_);
  if (ahead_.capacity() > kKeptCardBuffer + kReadAhead) std::string().swap(ahead_), aheadStart_ = 0;
  return read;
}

bool CardReader::ReadFromFile(const CardRef& ref, vcard::Card& card) {
  if (!openFile_) return false;
  // The first card of a file needs no head; the others read it once per file.
  if (ref.offset == 0) return ReadIndexedCard(openFile_.get(), std::string_view(), ref, cardBuffer_, card);
  if (!openHead_) openHead_ = ReadFileHead(openFile_.get());
  if (!openHead_) return false;
  // A card of a byte file past its first bytes decodes the same with or
  // without them before it (it starts with BEGIN, never with a mark), so it
  // is decoded where it lies in the read-ahead bytes. UTF-16 files need their
  // mark in front of the card.
  const bool utf16 = text::StartsWithUtf16Mark(*openHead_);
  if (utf16) return ReadIndexedCard(openFile_.get(), *openHead_, ref, cardBuffer_, card);
  const std::optional<std::string_view> bytes = AheadBytes(ref);
  return bytes && vcard::ReadCardInto(*bytes, {0, bytes->size()}, card);
}

// The bytes of `ref`, from the read-ahead window, read anew when the card
// is not wholly in it.
std::optional<std::string_view> CardReader::AheadBytes(const CardRef& ref) {
  const bool inside = !ahead_.empty() && ref.offset >= aheadStart_ &&
                      ref.offset + ref.length <= aheadStart_ + ahead_.size();
  if (!inside) {
    const std::uint64_t size = fs::FileSize(openFile_.get());
    std::size_t length = ref.length;
    if (size > ref.offset + ref.length) {
      length = static_cast<std::size_t>(
          std::max<std::uint64_t>(ref.length, std::min<std::uint64_t>(size - ref.offset, kReadAhead)));
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

fs::File* OpenFolderFile(const FolderFiles& files, fs::Directory* directory, NameRef file) {
  return directory ? fs::OpenFileIn(directory, files.FileName(file)) : files.Open(file);
}

AheadFile ReadAhead(const FolderFiles& files, fs::Directory* directory, NameRef file) {
  AheadFile ahead{true, nullptr};
  const fs::FilePtr handle(OpenFolderFile(files, directory, file));
  if (!handle) return ahead;
  const std::uint64_t size = fs::FileSize(handle.get());
  if (size > kAheadFileBytes) return ahead;
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(size), '\0');
  if (fs::ReadAt(handle.get(), 0, bytes->size(), bytes->data())) ahead.bytes = std::move(bytes);
  return ahead;
}

namespace {

// Collects the cards of one window for the lazy index.
class Collector final : public CardSink {
 public:
  explicit Collector(std::vector<CardRef>& cards) : cards_(cards) {}
  void Add(std::span<const CardRef> cards, std::string_view) override {
    cards_.insert(cards_.end(), cards.begin(), cards.end());
  }
  void Withdraw(std::size_t) override {}
  void HoldLarge(std::size_t bytes) override { HoldLargeBytes(bytes); }
  void LetGoLarge(std::size_t bytes) override { LetGoLargeBytes(bytes); }

 private:
  std::vector<CardRef>& cards_;
};

}  // namespace

void FindLazyCards(LazyCards& z, std::vector<CardRef>& out) {
  Collector sink(out);
  while (out.empty() && z.file < z.names.size()) {
    const NameRef name = z.names[z.file];
    const std::uint32_t count = z.counts[z.file];
    bool more = false;
    if (z.given < count) {
      if (!z.open) {
        z.handle.reset(OpenFolderFile(*z.files, z.directory.get(), name));
        z.scan = ScanState();
        z.open = true;
      }
      std::size_t added = 0;
      more = z.handle && ScanNext(z.handle.get(), name, z.scan, z.buffer, sink, added);
      const std::size_t left = count - z.given;
      if (out.size() > left) out.resize(left);
      if (!more) out.resize(left, CardRef{0, kUnreadableCard, name});
      z.given += static_cast<std::uint32_t>(out.size());
    }
    if (!more || z.given == count) {
      z.handle.reset();
      z.open = false;
      z.given = 0;
      ++z.file;
    }
  }
}

namespace {

// The large pieces in memory. Made once and never destroyed: the second
// thread may hold a piece while the process ends.
struct LargePieces {
  Mutex mutex;
  std::size_t bytes GUARDED_BY(mutex) = 0;
  std::condition_variable room;
};

constexpr std::size_t kLargeBudget = std::size_t{128} << 20;

LargePieces& TheLargePieces() {
  static LargePieces* const pieces = new LargePieces();
  return *pieces;
}

}  // namespace

void HoldLargePiece(std::size_t bytes) {
  LargePieces& large = TheLargePieces();
  MutexLock lock(large.mutex);
  while (large.bytes != 0 && large.bytes + bytes > kLargeBudget) large.mutex.Wait(large.room);
  large.bytes += bytes;
}

void LetGoLargePiece(std::size_t bytes) {
  LargePieces& large = TheLargePieces();
  {
    MutexLock lock(large.mutex);
    large.bytes -= bytes;
  }
  large.room.notify_all();
}

}  // namespace standalone
