#include "store/cards/card_index.h"

#include <algorithm>

#include "store/store_sources.h"
#include "vcard/vcard_cards.h"

namespace store {
namespace {

constexpr std::size_t kNameBlockSize = std::size_t{1} << 20;
constexpr int kNameOffsetBits = 20;

// Files are scanned in windows of this size so that a file of a million
// cards never sits in memory whole; smaller files are read in one piece.
constexpr std::size_t kScanWindow = std::size_t{4} << 20;
// A window grows past kScanWindow only to hold one large card. A card that
// would need more than this (128 MiB: no address book has such a card, but a
// broken or hostile file may) is an item that cannot be read, rather than
// the process huge.
constexpr std::size_t kMaxScanWindow = std::size_t{128} << 20;

// The bytes at the start of a file that can hold its byte-order mark. A card
// is decoded from these bytes followed by the card's own bytes.
constexpr std::size_t kMarkLength = 4;

// Hands `sink` the cards of `window`, the bytes of a file from `position`
// on (all of them when `wholeFile`); their number. `found` is scratch space.
std::size_t AddCards(std::string_view window, std::uint64_t position, bool wholeFile, NameRef name,
                     std::vector<CardRef>& found, CardSink& sink) {
  found.clear();
  for (const vcard::CardExtent& extent : vcard::FindCards(window)) {
    found.push_back({position + extent.offset, static_cast<std::uint32_t>(extent.length), name});
  }
  if (!found.empty()) sink.Add(found, wholeFile ? window : std::string_view());
  return found.size();
}

// Where the cards that start at `from` end, when no boundary lies within a
// window after it: the next boundary, or the end of the file. Searched window
// by window, each overlapping the one before by kBoundaryContext so that a
// boundary line cut by a window's end is found in the next; nothing when a
// read fails.
constexpr std::size_t kBoundaryContext = std::size_t{64} << 10;

std::optional<std::uint64_t> RegionEnd(fs::File* file, std::uint64_t from, std::uint64_t size,
                                       std::string& buffer) {
  for (std::uint64_t start = from;;) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(size - start, kScanWindow));
    buffer.resize(length);
    if (!fs::ReadAt(file, start, length, buffer.data())) return std::nullopt;
    const std::size_t cut = vcard::FirstCardBoundary(buffer, 0);
    if (cut != std::string_view::npos) return start + cut;
    if (start + length == size) return size;
    start += length - kBoundaryContext;
  }
}

// Buffers above this are let go after use rather than kept for the next window.
constexpr std::size_t kKeptScanBuffer = 2 * kScanWindow;

}  // namespace

bool ScanNext(fs::File* file, NameRef name, ScanState& s, std::string& buffer, CardSink& sink,
              std::size_t& added) {
  if (!s.started) {
    s.started = true;
    s.size = fs::FileSize(file);
    // A UTF-16 file cannot be cut by looking at bytes; such files are small.
    // Only a file too big to read whole needs its mark looked at first.
    s.whole = s.size <= 2 * kScanWindow;
    if (!s.whole) {
      char head[2] = {0, 0};
      if (!fs::ReadAt(file, 0, 2, head)) return s.failed = true, false;
      s.whole = text::StartsWithUtf16Mark(std::string_view(head, 2));
    }
    if (s.whole && s.size > kMaxScanWindow) return s.failed = true, false;
  }
  if (s.position >= s.size) return false;
  const std::uint64_t remaining = s.size - s.position;
  std::size_t length = static_cast<std::size_t>(s.whole ? remaining : std::min<std::uint64_t>(remaining, kScanWindow));
  bool readWhole = s.whole;  // the window is read below, in one piece
  if (!s.whole) {
    buffer.resize(length);
    if (!fs::ReadAt(file, s.position, length, buffer.data())) return s.failed = true, false;
    if (length == remaining) {
    } else if (const std::size_t cut = vcard::LastCardBoundary(buffer); cut > 0) {
      length = cut;
    } else {
      // A card (or cards with no boundary between them) wider than a window:
      // read whole up to the next boundary; beyond kMaxScanWindow it is one
      // item that cannot be read, and the cards after it are still found.
      const std::optional<std::uint64_t> end = RegionEnd(file, s.position, s.size, buffer);
      if (!end) return s.failed = true, false;
      if (*end - s.position > kMaxScanWindow) {
        std::string().swap(buffer);
        const CardRef unreadable{s.position, kUnreadableCard, name};
        sink.Add(std::span<const CardRef>(&unreadable, 1), std::string_view());
        ++added;
        s.position = *end;
        return true;
      }
      length = static_cast<std::size_t>(*end - s.position);
      readWhole = true;
    }
  }
  // Only one large piece of a card is in memory at a time (CardSink::HoldLarge).
  struct Hold {
    CardSink& sink;
    std::string& buffer;
    std::size_t bytes;
    ~Hold() {
      if (buffer.capacity() > kKeptScanBuffer) std::string().swap(buffer);
      if (bytes > 0) sink.LetGoLarge(bytes);
    }
  } hold{sink, buffer, length > kKeptScanBuffer ? length : 0};
  if (hold.bytes > 0) {
    std::string().swap(buffer);
    sink.HoldLarge(hold.bytes);
  }
  bool read = true;
  if (readWhole) {
    buffer.resize(length);
    read = fs::ReadAt(file, s.position, length, buffer.data());
  }
  if (read) {
    std::vector<CardRef> found;
    const std::string_view window(buffer.data(), length);
    added += AddCards(window, s.position, s.position == 0 && length == s.size, name, found, sink);
    s.position += length;
  }
  if (!read) return s.failed = true, false;
  return true;
}

namespace {

// Scans the file window by window, handing `sink` the cards found and
// counting them in `added`. False when a read fails.
bool ScanFile(fs::File* file, NameRef name, std::string& buffer, CardSink& sink, std::size_t& added) {
  ScanState state;
  while (ScanNext(file, name, state, buffer, sink, added)) {
  }
  return !state.failed;
}

// The one item of a file that cannot be read or holds no card.
void AddUnreadable(CardSink& sink, NameRef file) {
  const CardRef unreadable{0, kUnreadableCard, file};
  sink.Add(std::span<const CardRef>(&unreadable, 1), std::string_view());
}

class ListSink final : public CardSink {
 public:
  explicit ListSink(CardList& cards) : cards_(cards) {}
  void Add(std::span<const CardRef> cards, std::string_view) override {
    cards_.insert(cards_.end(), cards.begin(), cards.end());
  }
  void Withdraw(std::size_t count) override { cards_.resize(cards_.size() - count); }

 private:
  CardList& cards_;
};

}  // namespace

NameRef AddName(NamePool& pool, std::string_view name) {
  if (pool.blocks.empty() || pool.blocks.back().size() + name.size() + 1 > kNameBlockSize) {
    pool.blocks.emplace_back();
  }
  std::string& block = pool.blocks.back();
  const NameRef ref = static_cast<NameRef>(((pool.blocks.size() - 1) << kNameOffsetBits) | block.size());
  block.append(name);
  block.push_back('\0');  // names never hold a NUL byte
  return ref;
}

std::string_view GetName(const NamePool& pool, NameRef ref) {
  const std::string& block = pool.blocks[ref >> kNameOffsetBits];
  return std::string_view(block.c_str() + (ref & (kNameBlockSize - 1)));
}

void IndexCardFile(const std::string& path, NameRef file, std::string& buffer, CardSink& sink) {
  fs::FilePtr handle(fs::OpenFile(path));
  IndexOpenCardFile(handle.get(), file, buffer, sink);
}

void IndexOpenCardFile(fs::File* handle, NameRef file, std::string& buffer, CardSink& sink) {
  if (handle && fs::FileSize(handle) == 0) return;
  std::size_t added = 0;
  if (!handle || !ScanFile(handle, file, buffer, sink, added)) {
    // The cards of the windows read before the failure go with it.
    if (added > 0) sink.Withdraw(added);
    AddUnreadable(sink, file);
  } else if (added == 0) {
    AddUnreadable(sink, file);  // bytes, but not a single card
  }
}

void IndexWholeFile(std::string_view bytes, NameRef file, CardSink& sink) {
  if (bytes.empty()) return;
  std::vector<CardRef> found;
  if (AddCards(bytes, 0, true, file, found, sink) == 0) AddUnreadable(sink, file);  // bytes, but not a single card
}

void IndexCardFile(const std::string& path, NameRef file, CardList& cards, std::string& buffer) {
  ListSink sink(cards);
  IndexCardFile(path, file, buffer, sink);
}

std::optional<std::string> ReadFileHead(fs::File* file) {
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(fs::FileSize(file), kMarkLength)), '\0');
  if (!fs::ReadAt(file, 0, head.size(), head.data())) return std::nullopt;
  return head;
}

bool ReadIndexedCard(fs::File* file, std::string_view head, const CardRef& ref, std::string& buffer,
                     vcard::Card& card) {
  if (ref.length == kUnreadableCard) return false;
  // The card keeps its offset when it lies within the first bytes; otherwise
  // it is read behind a copy of those bytes, where a byte-order mark would be.
  const std::size_t lead = static_cast<std::size_t>(std::min<std::uint64_t>(ref.offset, kMarkLength));
  if (head.size() < lead) return false;
  buffer.resize(lead + ref.length);
  head.copy(buffer.data(), lead);
  if (!fs::ReadAt(file, ref.offset, ref.length, buffer.data() + lead)) return false;
  return vcard::ReadCardInto(buffer, {lead, ref.length}, card);
}

}  // namespace store
