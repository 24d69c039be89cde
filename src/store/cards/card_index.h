// Where the cards of a folder's .vcf files lie: file names and card
// positions only. A folder keeps about 20 bytes per card here for its first
// million cards (the decoder counts the rest and finds them again later) and
// nothing of the cards' contents; a card is read and decoded when its item is
// fetched.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/fs.h"
#include "vcard/vcard_reader.h"

namespace store {

// File names packed into blocks of at most 1 MiB, so that many names cost
// neither one allocation each nor a doubling copy of one huge block.
struct NamePool {
  std::vector<std::string> blocks;
};
using NameRef = std::uint32_t;

NameRef AddName(NamePool& pool, std::string_view name);
std::string_view GetName(const NamePool& pool, NameRef ref);

// One item of a folder: a card at `offset` in the file `file`, or, with
// length kUnreadableCard, a file or card that cannot be read.
inline constexpr std::uint32_t kUnreadableCard = 0xFFFFFFFF;
struct CardRef {
  std::uint64_t offset = 0;
  std::uint32_t length = kUnreadableCard;
  NameRef file = 0;
};
// Where an item of a folder lies: its file, and its number among the items
// of that file (from 1); `unreadable` when the index found no card there.
struct CardPlace {
  NameRef file = 0;
  std::size_t number = 0;
  bool unreadable = false;
};

// A deque grows in blocks without moving what it holds, so the index never
// needs twice its size while it grows.
using CardList = std::deque<CardRef>;

// Where the index of a folder goes while it is built. Cards are handed over
// window by window, so that they can be decoded while the rest of the file
// is still being indexed.
class CardSink {
 public:
  virtual ~CardSink() = default;
  // Cards of one file, in file order. `wholeFile` is that file's bytes when
  // it was read in one piece (empty otherwise), valid during the call only.
  virtual void Add(std::span<const CardRef> cards, std::string_view wholeFile) = 0;
  // The last `count` cards added are taken back: their file could not be
  // read to its end, and is one unreadable item instead.
  virtual void Withdraw(std::size_t count) = 0;
  // Around reading `bytes` of a file in one piece (a large card): a sink
  // whose cards are decoded meanwhile may wait here until other large pieces
  // are out of memory.
  virtual void HoldLarge(std::size_t /*bytes*/) {}
  virtual void LetGoLarge(std::size_t /*bytes*/) {}
};

// Where the scan of one open file is: ScanNext finds its cards window by
// window, so that an index can stop and go on later.
struct ScanState {
  bool started = false;
  bool whole = false;   // read in one piece
  bool failed = false;  // a read failed, or the file cannot be read at all
  std::uint64_t size = 0;
  std::uint64_t position = 0;  // where the next window starts
};

// Hands `sink` the cards of the next window of `file` and counts them in
// `added`; false when the file is done or `state.failed`. A card too large
// to read (over 128 MiB) is one unreadable item there.
bool ScanNext(fs::File* file, NameRef name, ScanState& state, std::string& buffer, CardSink& sink,
              std::size_t& added);

// Hands `sink` the items of the file at `path`: one per card in file order;
// one unreadable item when the file cannot be opened or read, or holds bytes
// but no card; none for an empty file. `buffer` is scratch space.
void IndexCardFile(const std::string& path, NameRef file, std::string& buffer, CardSink& sink);
// The same for the file `file` already opened (nothing: it could not be).
void IndexOpenCardFile(fs::File* file, NameRef name, std::string& buffer, CardSink& sink);
// The same, appending the items to `cards`.
void IndexCardFile(const std::string& path, NameRef file, CardList& cards, std::string& buffer);
// Hands `sink` the items of a small file (at most 8 MiB) already read whole
// into `bytes`, as IndexCardFile would.
void IndexWholeFile(std::string_view bytes, NameRef file, CardSink& sink);

// The first bytes of `file` (where a byte-order mark would be), read once per
// open file, so that reading a card costs one read, not two. Nothing when they
// cannot be read.
std::optional<std::string> ReadFileHead(fs::File* file);

// Reads and decodes the card `ref` of the open `file` whose first bytes are
// `head` (ReadFileHead; may be empty for a card at offset 0) into `card`;
// false when it cannot be read or parsed. `buffer` is scratch space.
bool ReadIndexedCard(fs::File* file, std::string_view head, const CardRef& ref, std::string& buffer,
                     vcard::Card& card);

}  // namespace store
