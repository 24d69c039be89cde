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
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "outlook/standalone_card_index.h"
#include "outlook/standalone_store_internal.h"

namespace standalone {

// Where the files of a folder are. Fixed once the folder is listed; the
// second thread reads it too.
class FolderFiles {
 public:
  virtual ~FolderFiles() = default;
  virtual std::string FilePath(NameRef file) const = 0;
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

class CardDecoder final : public CardSink {
 public:
  // Decoding starts with the first cards added; `threaded` false has the
  // fetching thread decode every card itself.
  explicit CardDecoder(std::shared_ptr<const FolderFiles> files, bool threaded = true);
  ~CardDecoder() override;
  CardDecoder(const CardDecoder&) = delete;
  CardDecoder& operator=(const CardDecoder&) = delete;

  // Building the index (the fetching thread).
  void Add(std::span<const CardRef> cards, std::string_view wholeFile) override;
  void Withdraw(std::size_t count) override;
  void Complete();

  // After Complete().
  std::size_t Count() const;
  // Item `index` (below Count()). A card that cannot be read or decoded
  // throws MAPI_E_CORRUPT_DATA; anything else thrown while decoding it (out
  // of memory) is thrown here.
  ItemData Fetch(std::size_t index);

  // What both threads share of one folder (standalone_card_decoder.cpp).
  struct Job;
  class Reader;

 private:
  void Restart(std::size_t from);

  std::shared_ptr<Job> job_;
  std::unique_ptr<Reader> reader_;  // the fetching thread's
};

}  // namespace standalone
