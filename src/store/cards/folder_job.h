// What the card decoder's two threads share of one folder (card_decoder.h):
// the cards the index has found, which of them are claimed and decoded, and
// the files read ahead of the index. All of it is guarded by the one lock of
// the decoding, and changed only through the members below, each called with
// that lock held; the card and the file itself are read and decoded without
// it, between a claim and the member that hands in what was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "store/cards/card_files.h"
#include "store/cards/card_index.h"
#include "store/cards/files_ahead.h"
#include "store/cards/lazy_cards.h"
#include "store/store_sources.h"
#include "store/thread_annotations.h"

namespace store {

// The lock around everything the two threads share: the decoding and every
// folder's job. Lives until the process ends, as the second thread does.
extern Mutex& decodingMutex;

// A decoded card's item, or that it could not be read, or what decoding it threw.
struct Decoded {
  ItemData data;
  bool readable = false;
  std::exception_ptr failure;
};

// A card claimed by one of the threads, to be decoded without the lock: the
// item it is, where it lies, its file's bytes when the index kept them, and
// the decoding it belongs to (one that restarted since drops it).
struct CardClaim {
  std::size_t index = 0;
  std::uint64_t generation = 0;
  CardRef ref;
  std::shared_ptr<const std::string> wholeFile;
};

// A file of the index claimed to be read ahead of it, without the lock.
struct FileClaim {
  std::size_t index = 0;
  NameRef file = 0;
  std::shared_ptr<fs::Directory> directory;
};

class FolderJob {
 public:
  FolderJob(std::shared_ptr<const FolderFiles> files, bool threaded, std::uint64_t serial)
      : files_(std::move(files)), threaded_(threaded), serial_(serial) {}
  FolderJob(const FolderJob&) = delete;
  FolderJob& operator=(const FolderJob&) = delete;

  // Fixed for the job's life, so read without the lock.
  const FolderFiles& files() const { return *files_; }
  const std::shared_ptr<const FolderFiles>& sharedFiles() const { return files_; }
  bool threaded() const { return threaded_; }
  std::uint64_t serial() const { return serial_; }  // tells jobs apart for the second thread's reader

  // ---- The index, built by the fetching thread ----

  // Adds the cards of one file, keeping `wholeFile` (their file's bytes, or
  // nothing) while the kept files stay within kKeptFileBytes. The file goes
  // in before its cards, so that no card of it is read from disk. Returns
  // the number of cards.
  std::size_t AddCards(std::span<const CardRef> cards, std::shared_ptr<const std::string> wholeFile)
      REQUIRES(decodingMutex);
  // Takes the last `count` cards back. What was decoded may include them:
  // everything is decoded again from the first item not yet fetched. Returns
  // the number of cards.
  std::size_t WithdrawCards(std::size_t count) REQUIRES(decodingMutex);
  // Keeps the first `count` cards, those before the file `file` (whose bytes
  // are no longer kept either): the index counts the items from there on
  // instead. Returns the number of cards taken back.
  std::size_t KeepFirstCards(std::size_t count, NameRef file) REQUIRES(decodingMutex);
  // The index is complete; the items past the cards are those `lazy` counts
  // (nothing: there are none). Returns the number of items.
  std::size_t Complete(const LazyCards* lazy) REQUIRES(decodingMutex);

  // ---- Files read ahead of the index being built (IndexFiles) ----

  // The index reads `names` in order within `directory`, the first itself.
  void StartIndexing(std::shared_ptr<const std::vector<NameRef>> names,
                     std::shared_ptr<fs::Directory> directory) REQUIRES(decodingMutex);
  // The index is complete, or building it failed: no more reading ahead,
  // and a file being read meanwhile is dropped when it comes in.
  void EndIndexing() REQUIRES(decodingMutex);
  std::shared_ptr<fs::Directory> IndexDirectory() const REQUIRES(decodingMutex);

  bool CanReadAhead() const REQUIRES(decodingMutex);
  // Claims the next file nobody has claimed (CanReadAhead()) ...
  FileClaim ClaimFileAhead() REQUIRES(decodingMutex);
  // ... and hands it in, read. True when it is the first file the index is
  // waiting for.
  bool FileRead(const FileClaim& claim, AheadFile read) REQUIRES(decodingMutex);
  // For the index, which reads file `index` next: true when nobody had
  // claimed it (it is the index's own now), false when it is read ahead.
  bool ClaimFileItself(std::size_t index) REQUIRES(decodingMutex);
  // Whether the first file read ahead is in, and taking it: its bytes, or
  // nothing when the index is to read it itself.
  bool FirstFileRead() const REQUIRES(decodingMutex);
  std::shared_ptr<const std::string> TakeFirstFile() REQUIRES(decodingMutex);

  // ---- Claiming, decoding and handing out the cards ----

  // Items that can be claimed: those whose cards have been found.
  std::size_t Available() const REQUIRES(decodingMutex);
  // Whether a card nobody has claimed has been found, and one can be claimed
  // now (the window has room).
  bool HasUnclaimed() const REQUIRES(decodingMutex);
  bool CanClaim() const REQUIRES(decodingMutex);
  // Every item of the complete index is claimed.
  bool AllClaimed() const REQUIRES(decodingMutex);
  // Whether the waiting second thread has enough to do to be worth waking.
  bool WorthWaking() const REQUIRES(decodingMutex);

  // A fetch asks for item `index`: when it is not the one expected, the
  // decoding restarts there and what was claimed before is dropped.
  void Expect(std::size_t index) REQUIRES(decodingMutex);
  // Claims the next card (CanClaim()), to be handed in with Decoded. Throws
  // (out of memory) with nothing claimed.
  CardClaim ClaimNext() REQUIRES(decodingMutex);
  // With nothing claimed ahead of the fetches, claims the item expected
  // (CanClaim()) and hands it out at once, to the fetch that decodes it.
  bool NothingClaimed() const REQUIRES(decodingMutex);
  CardClaim ClaimExpected() REQUIRES(decodingMutex);
  // Hands in a claimed card, decoded; dropped when the decoding restarted
  // since. True when it is the item the next fetch waits for.
  bool HandIn(const CardClaim& claim, Decoded decoded) REQUIRES(decodingMutex);
  // Whether the item expected is decoded, and handing it out.
  bool ExpectedDecoded() const REQUIRES(decodingMutex);
  Decoded HandOutExpected() REQUIRES(decodingMutex);

  // ---- The lazy index: items past the cards, found again as they are fetched ----

  // A fetch of item `index` behind the cards found again starts them anew;
  // true when it does (the files are then to be read again from the first).
  bool RewindLazy(std::size_t index) REQUIRES(decodingMutex);
  // Lets go of the cards found again for items before `index` already
  // handed out.
  void DropLazyBefore(std::size_t index) REQUIRES(decodingMutex);
  void AddLazy(const std::vector<CardRef>& found) REQUIRES(decodingMutex);

  // ---- Where an item lies ----

  // The cards the index keeps (all of them, unless the index is lazy).
  std::size_t KeptCount() const REQUIRES(decodingMutex) { return cards_.size(); }
  // Where kept item `index` (below KeptCount()) lies. A file's cards are
  // kept next to one another, so its first is found by halving, without
  // keeping anything more per card.
  CardPlace KeptPlace(std::size_t index) const REQUIRES(decodingMutex);
  // The card of item `index` past the kept ones, when it is among those
  // found again; nothing otherwise.
  const CardRef* FoundAgain(std::size_t index) const REQUIRES(decodingMutex);

  // The folder goes: a card being decoded and a file being read are dropped
  // when they come in.
  void Abandon() REQUIRES(decodingMutex);

 private:
  // A card claimed by one of the threads, decoded once `done`.
  struct Slot {
    bool done = false;
    Decoded decoded;
  };

  void Restart(std::size_t from) REQUIRES(decodingMutex);
  // Item `index` has been handed out. A whole file kept for its cards is let
  // go after its last card.
  void Consumed(std::size_t index) REQUIRES(decodingMutex);
  // Item `index` below Available() and, past the kept cards, at or after lazyBase_.
  const CardRef& RefAt(std::size_t index) const REQUIRES(decodingMutex);
  std::shared_ptr<const std::string> KeptFile(NameRef file) const REQUIRES(decodingMutex);

  const std::shared_ptr<const FolderFiles> files_;
  const bool threaded_;
  const std::uint64_t serial_;

  CardList cards_ GUARDED_BY(decodingMutex);
  bool complete_ GUARDED_BY(decodingMutex) = false;
  std::size_t total_ GUARDED_BY(decodingMutex) = 0;  // of items, once complete
  // Items past `cards_` (found again as the fetches reach them): those from
  // lazyBase_ on whose cards have been found.
  bool lazy_ GUARDED_BY(decodingMutex) = false;
  std::size_t lazyBase_ GUARDED_BY(decodingMutex) = 0;
  CardList lazyRefs_ GUARDED_BY(decodingMutex);
  std::map<NameRef, std::shared_ptr<const std::string>> keptFiles_ GUARDED_BY(decodingMutex);
  std::size_t keptBytes_ GUARDED_BY(decodingMutex) = 0;
  // Changes when the decoding restarts; a card claimed before is dropped.
  std::uint64_t generation_ GUARDED_BY(decodingMutex) = 0;
  // Cards expected_ .. next_ - 1 are claimed, in window_; next_ is the first
  // card nobody has claimed; expected_ is the item the next fetch should ask for.
  std::size_t expected_ GUARDED_BY(decodingMutex) = 0;
  std::size_t next_ GUARDED_BY(decodingMutex) = 0;
  std::deque<Slot> window_ GUARDED_BY(decodingMutex);

  // The files of the index being built, read ahead of it. Files before
  // readNext_ are claimed: the index has them, or `ahead_` holds them, files
  // readNext_ - ahead_.size() .. readNext_ - 1, read or being read.
  bool indexing_ GUARDED_BY(decodingMutex) = false;
  std::shared_ptr<const std::vector<NameRef>> toIndex_ GUARDED_BY(decodingMutex);
  std::shared_ptr<fs::Directory> directory_ GUARDED_BY(decodingMutex);
  std::size_t readNext_ GUARDED_BY(decodingMutex) = 0;
  std::deque<AheadFile> ahead_ GUARDED_BY(decodingMutex);
  std::size_t aheadBytes_ GUARDED_BY(decodingMutex) = 0;  // of the files in `ahead_` read
};

}  // namespace store
