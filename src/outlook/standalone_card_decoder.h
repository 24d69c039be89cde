// The items of one folder of a directory store: the index of its cards, and
// the cards decoded on a second thread ahead of the fetches.
//
// An export fetches a folder's items in order and spends about as long
// writing each record as decoding the next card, so one thread decodes
// while the other writes. The decoding starts as soon as the first cards are
// indexed, and at most kItemsAhead decoded items wait for their fetch, so
// memory stays small however large the folder is. A fetch out of order
// simply restarts the decoding at the item asked for; the items are the
// same whichever thread decodes them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "outlook/standalone_card_index.h"
#include "outlook/standalone_store_internal.h"

namespace standalone {

// Where the files of a folder are. Fixed once the folder is listed, and read
// from the decoding thread as well.
class FolderFiles {
 public:
  virtual ~FolderFiles() = default;
  virtual std::string FilePath(NameRef file) const = 0;
};

// Items decoded ahead of the fetches, at most (twice that while the fetches
// work through the last ones taken over). The threads meet once every
// kWakeBatch items: meeting for every item would cost more than decoding it.
inline constexpr std::size_t kItemsAhead = 64;
inline constexpr std::size_t kWakeBatch = 16;
// Files that the index read in one piece are kept, up to this many bytes in
// all, until their cards are decoded: a folder of one card per file is then
// read once, not twice.
inline constexpr std::size_t kKeptFileBytes = std::size_t{8} << 20;

class CardDecoder final : public CardSink {
 public:
  // `files` must outlive the decoder. Decoding starts with the first cards
  // added; `threaded` false decodes each card when it is fetched instead.
  explicit CardDecoder(const FolderFiles& files, bool threaded = true);
  ~CardDecoder() override;
  CardDecoder(const CardDecoder&) = delete;
  CardDecoder& operator=(const CardDecoder&) = delete;

  // Building the index (one thread: the folder's).
  void Add(std::span<const CardRef> cards, std::string_view wholeFile) override;
  void Withdraw(std::size_t count) override;
  void Complete();

  // After Complete().
  std::size_t Count() const { return cards_.size(); }
  // Item `index` (below Count()). A card that cannot be read or decoded
  // throws MAPI_E_CORRUPT_DATA; anything else thrown while decoding it (out
  // of memory) is thrown here.
  ItemData Fetch(std::size_t index);

 private:
  struct Decoded {
    ItemData data;
    bool readable = false;
    std::exception_ptr failure;
  };
  class Reader;

  void TakeDecoded();
  void Start(std::size_t from);
  void Stop();
  void DecodeAhead();
  bool DecoderMayGo() const;
  std::shared_ptr<const std::string> KeptFile(NameRef file) const;
  static Decoded Decode(Reader& reader, const CardRef& ref, const std::string* wholeFile);

  const FolderFiles& files_;
  const bool threaded_;
  std::unique_ptr<Reader> reader_;  // the folder thread's, when no thread decodes

  // Shared with the decoding thread, under mutex_. Only the folder's thread
  // writes cards_ and keptFiles_ inserts, so it reads them without the lock.
  mutable std::mutex mutex_;
  std::condition_variable decoded_;  // the folder's thread waits for items
  std::condition_variable fetched_;  // the decoding thread waits for room or cards
  bool fetchWaiting_ = false;
  std::size_t wanted_ = 0;           // items the waiting fetch waits for
  bool decoderWaiting_ = false;
  CardList cards_;
  bool complete_ = false;
  std::map<NameRef, std::shared_ptr<const std::string>> keptFiles_;
  std::size_t keptBytes_ = 0;
  std::size_t next_ = 0;         // the next card the thread decodes
  std::deque<Decoded> ready_;    // decoded cards next_ - ready_.size() .. next_ - 1
  bool stop_ = false;
  bool threadFailed_ = false;    // the thread met a failure outside any card

  std::thread thread_;
  // The folder thread's own: items taken over from ready_, and the index of
  // the first of them (or of ready_.front() when none is left).
  std::deque<Decoded> taken_;
  std::size_t expected_ = 0;
};

}  // namespace standalone
