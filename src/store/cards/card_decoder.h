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

#include "store/cards/card_files.h"
#include "store/cards/card_index.h"
#include "store/cards/card_reader.h"
#include "store/cards/lazy_cards.h"
#include "store/store_sources.h"

namespace store {

class FolderJob;

// Cards decoded (or being decoded) ahead of the fetches, at most. The
// second thread, once it has filled that window, waits until half of it is
// fetched (or, while the index is built, until kWakeBatch cards are new), so
// that it is not woken for every card.
inline constexpr std::size_t kItemsAhead = 64;
inline constexpr std::size_t kWakeBatch = 16;
// Where the first kHeldCards cards of a folder lie is kept (16 bytes a card);
// the cards after them are only counted while the folder is indexed, and
// are found again, window by window of their files, as the fetches reach
// them. So a file of millions of cards costs no more memory than a file of
// a million, and a folder of fewer cards is read only once.
inline constexpr std::size_t kHeldCards = std::size_t{1} << 20;
// Files that the index read in one piece are kept, up to this many bytes in
// all, until their cards are decoded: a folder of one card per file is then
// read once, not twice.
inline constexpr std::size_t kKeptFileBytes = std::size_t{8} << 20;

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
  // Where item `index` (below Count()) lies, worked out from the index: its
  // file and its number there.
  CardPlace Place(std::size_t index);

 private:
  void StartCounting(std::size_t adding);
  void IndexLazily(std::size_t index);
  std::shared_ptr<const std::string> TakeFile(std::size_t index);
  void EndIndexing();

  std::shared_ptr<FolderJob> job_;  // what both threads share (folder_job.h)
  std::unique_ptr<CardReader> reader_;  // the fetching thread's
  // What this thread has told the job: the number of cards, and of items
  // once the index is complete.
  std::size_t cards_ = 0;
  bool complete_ = false;
  std::size_t total_ = 0;
  // The files of IndexFiles, in order; the bytes of the file being indexed
  // when they were read ahead: Add keeps them as they are instead of copying
  // them.
  std::shared_ptr<const std::vector<NameRef>> indexNames_;
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
  // The cards past the first heldCards_, found again as they are fetched.
  std::unique_ptr<LazyCards> lazy_;
};

}  // namespace store
