// The items of one folder of a directory store: the index of its cards, and
// the cards decoded by two threads.
//
// An export fetches a folder's items in order, and writing a record costs
// about as much as decoding a card. So a second thread, one for the whole
// process, decodes the cards of the folder being exported ahead of the
// fetches, starting while the index is still being built; and the fetching
// thread, instead of waiting when it catches up, decodes the next cards
// itself. So on a busy machine where the second thread gets little
// processor time, the fetching thread does most of the work itself; it waits
// only for a card the other thread is decoding when it has decoded the whole
// window after it. A folder that goes never waits: the second thread
// finishes its card on its own and drops it. At most kItemsAhead cards are
// decoded ahead of the fetches, so memory stays small however large the
// folder is. A fetch out of order restarts the decoding at the item asked
// for; the items are the same whichever thread decodes them.
//
// Before that, the index: the export asks how many items a folder has before
// it fetches any, so the whole folder is indexed first (past kHeldCards cards
// only counted, see below). In a folder of one
// card per file, most of that is opening, reading and closing the files; the
// second thread reads small files ahead of the index, and the fetching thread,
// when it reaches a file still being read, reads the next one nobody has
// claimed rather than wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/cards/card_index.h"
#include "store/store_sources.h"

namespace standalone {

// Where the files of a folder are. Fixed once the folder is listed; the
// second thread reads it too.
class FolderFiles {
 public:
  virtual ~FolderFiles() = default;
  virtual std::string FilePath(NameRef file) const = 0;
  // The name of `file` within the folder's directory.
  virtual std::string FileName(NameRef file) const = 0;
  // Opens `file` for reading (by its path unless the folder knows better);
  // nothing when it cannot be opened.
  virtual fs::File* Open(NameRef file) const { return fs::OpenFile(FilePath(file)); }
};

// Cards decoded (or being decoded) ahead of the fetches, at most. The
// second thread, once it has filled that window, waits until half of it is
// fetched (or, while the index is built, until kWakeBatch cards are new), so
// that it is not woken for every card.
inline constexpr std::size_t kItemsAhead = 64;
inline constexpr std::size_t kWakeBatch = 16;
// Files that the index read in one piece are kept, up to this many bytes in
// all, until their cards are decoded: a folder of one card per file is then
// read once, not twice.
inline constexpr std::size_t kKeptFileBytes = std::size_t{8} << 20;
// While a folder is indexed, files of at most kAheadFileBytes are read ahead
// of the index, by whichever thread is free: at most kFilesAhead files and
// about kAheadBytes bytes ahead. Opening, reading and closing a small file
// costs more than finding its cards, so in a folder of one card per file this
// shares out most of the index's work.
inline constexpr std::size_t kAheadFileBytes = std::size_t{1} << 20;
inline constexpr std::size_t kFilesAhead = 32;
inline constexpr std::size_t kAheadBytes = std::size_t{2} << 20;
// Where the first kHeldCards cards of a folder lie is kept (16 bytes a card);
// the cards after them are only counted while the folder is indexed, and
// are found again, window by window of their files, as the fetches reach
// them. So a file of millions of cards costs no more memory than a file of
// a million, and a folder of fewer cards is read only once.
inline constexpr std::size_t kHeldCards = std::size_t{1} << 20;

class CardDecoder final : public CardSink {
 public:
  // Decoding starts with the first cards added; `threaded` false has the
  // fetching thread decode every card itself.
  explicit CardDecoder(std::shared_ptr<const FolderFiles> files, bool threaded = true,
                       std::size_t heldCards = kHeldCards);
  ~CardDecoder() override;
  CardDecoder(const CardDecoder&) = delete;
  CardDecoder& operator=(const CardDecoder&) = delete;

  // Builds the index of the folder's `files`, in that order, and completes
  // it; the files are opened within `directory` when it is given, else by
  // their paths. The second thread reads files ahead meanwhile.
  void IndexFiles(std::vector<NameRef> files, std::shared_ptr<fs::Directory> directory);

  // Building the index card by card (the fetching thread; IndexFiles uses
  // these too).
  void Add(std::span<const CardRef> cards, std::string_view wholeFile) override;
  void Withdraw(std::size_t count) override;
  void HoldLarge(std::size_t bytes) override;
  void LetGoLarge(std::size_t bytes) override;
  void Complete();

  // After Complete().
  std::size_t Count() const;
  // Item `index` (below Count()). A card that cannot be read or decoded
  // throws MAPI_E_CORRUPT_DATA; anything else thrown while decoding it (out
  // of memory), by either thread, is thrown here.
  ItemData Fetch(std::size_t index);

  // What both threads share of one folder (standalone_card_decoder.cpp).
  struct Job;
  class Reader;
  // The cards past the first kHeldCards, found again as they are fetched.
  struct Lazy;

 private:
  void Restart(std::size_t from);
  void StartCounting(std::size_t adding);
  void IndexLazily(std::size_t index);
  std::shared_ptr<const std::string> TakeFile(std::size_t index);
  void EndIndexing();

  std::shared_ptr<Job> job_;
  std::unique_ptr<Reader> reader_;  // the fetching thread's
  // The bytes of the file being indexed when they were read ahead: Add keeps
  // them as they are instead of copying them.
  std::shared_ptr<const std::string> indexedBytes_;
  // Counting instead of keeping cards (IndexFiles, past heldCards_): the
  // files from countedFrom_ on and their numbers of items.
  const std::size_t heldCards_;
  bool indexingFiles_ = false;
  bool counting_ = false;
  std::size_t fileIndex_ = 0;  // of the file being indexed
  std::size_t fileStart_ = 0;  // the cards kept before it
  std::size_t countedFrom_ = 0;
  std::vector<std::uint32_t> counts_;
  std::unique_ptr<Lazy> lazy_;
};

}  // namespace standalone
