// The scheduling of a folder's cards between the fetching thread and the
// second thread (see card_decoder.h): what both share of the folder being
// decoded, under one lock, and the second thread's loop.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/cards/card_decoder.h"
#include "store/cards/card_files.h"
#include "store/cards/card_pool.h"
#include "store/cards/thread_annotations.h"

namespace standalone {

// The lock around everything the two threads share: the decoding and every
// folder's job. Lives until the process ends, as the second thread does.
extern Mutex& decodingMutex;

// A decoded card's item, or that it could not be read, or what decoding it threw.
struct Decoded {
  ItemData data;
  bool readable = false;
  std::exception_ptr failure;
};
// A card claimed by one of the threads, decoded once `done`.
struct Slot {
  bool done = false;
  Decoded decoded;
};

// What both threads share of one folder.
struct FolderJob {
  FolderJob(std::shared_ptr<const FolderFiles> folderFiles, bool useThread, std::uint64_t jobSerial)
      : files(std::move(folderFiles)), threaded(useThread), serial(jobSerial) {}

  const std::shared_ptr<const FolderFiles> files;
  const bool threaded;
  const std::uint64_t serial;  // tells jobs apart for the second thread's reader

  // Only the fetching thread changes cards, complete, total and toIndex (under
  // the lock), so it reads them without it (OwnCards and the like below).
  CardList cards GUARDED_BY(decodingMutex);
  bool complete GUARDED_BY(decodingMutex) = false;
  std::size_t total GUARDED_BY(decodingMutex) = 0;  // of items, once complete
  // Items past `cards` (found again as the fetches reach them): those from
  // lazyBase on whose cards have been found.
  bool lazy GUARDED_BY(decodingMutex) = false;
  std::size_t lazyBase GUARDED_BY(decodingMutex) = 0;
  CardList lazyRefs GUARDED_BY(decodingMutex);
  std::map<NameRef, std::shared_ptr<const std::string>> keptFiles GUARDED_BY(decodingMutex);
  std::size_t keptBytes GUARDED_BY(decodingMutex) = 0;
  // Changes when the decoding restarts; a card claimed before is dropped.
  std::uint64_t generation GUARDED_BY(decodingMutex) = 0;
  // Cards expected .. next - 1 are claimed, in window; next is the first
  // card nobody has claimed; expected is the item the next fetch should ask for.
  std::size_t expected GUARDED_BY(decodingMutex) = 0;
  std::size_t next GUARDED_BY(decodingMutex) = 0;
  std::deque<Slot> window GUARDED_BY(decodingMutex);

  // The files of the index being built (IndexFiles), read ahead of it.
  // Files before readNext are claimed: the index has them, or `ahead` holds
  // them, files readNext - ahead.size() .. readNext - 1, read or being read.
  bool indexing GUARDED_BY(decodingMutex) = false;
  std::vector<NameRef> toIndex GUARDED_BY(decodingMutex);
  std::shared_ptr<fs::Directory> directory GUARDED_BY(decodingMutex);
  std::size_t readNext GUARDED_BY(decodingMutex) = 0;
  std::deque<AheadFile> ahead GUARDED_BY(decodingMutex);
  std::size_t aheadBytes GUARDED_BY(decodingMutex) = 0;  // of the files in `ahead` read
};

// What the fetching thread alone changes, read by it without the lock.
inline const CardList& OwnCards(const FolderJob& job) NO_THREAD_SAFETY_ANALYSIS { return job.cards; }
inline bool OwnComplete(const FolderJob& job) NO_THREAD_SAFETY_ANALYSIS { return job.complete; }
inline std::size_t OwnTotal(const FolderJob& job) NO_THREAD_SAFETY_ANALYSIS { return job.total; }
inline const std::vector<NameRef>& OwnToIndex(const FolderJob& job) NO_THREAD_SAFETY_ANALYSIS {
  return job.toIndex;
}

// The second thread and the folder it works on: one for the process, as one
// folder at a time is exported.
struct Decoding {
  std::condition_variable work;  // the second thread waits for cards
  std::condition_variable done;  // a fetch waits for the second thread's card
  std::shared_ptr<FolderJob> current GUARDED_BY(decodingMutex);
  bool waiting GUARDED_BY(decodingMutex) = false;
  bool fetchWaiting GUARDED_BY(decodingMutex) = false;
  bool started GUARDED_BY(decodingMutex) = false;
  bool unavailable GUARDED_BY(decodingMutex) = false;  // a thread could not be started: no more tries
  std::uint64_t serials GUARDED_BY(decodingMutex) = 0;
  SpareCards spare GUARDED_BY(decodingMutex);
};

// Made once and never destroyed, so that the thread can use it until the
// process ends.
Decoding& TheDecoding();

// Items that can be claimed: those whose cards have been found.
inline std::size_t Available(const FolderJob& job) REQUIRES(decodingMutex) {
  return job.lazy ? job.lazyBase + job.lazyRefs.size() : job.cards.size();
}

// Item `index` below Available() and, past the kept cards, at or after lazyBase.
inline const CardRef& RefAt(const FolderJob& job, std::size_t index) REQUIRES(decodingMutex) {
  return index < job.cards.size() ? job.cards[index] : job.lazyRefs[index - job.lazyBase];
}

inline bool CanClaim(const FolderJob& job) REQUIRES(decodingMutex) {
  return job.next < Available(job) && job.window.size() < kItemsAhead;
}

inline bool CanReadAhead(const FolderJob& job) REQUIRES(decodingMutex) {
  return job.indexing && job.readNext < job.toIndex.size() && job.ahead.size() < kFilesAhead &&
         job.aheadBytes < kAheadBytes;
}

// Whether the waiting second thread has enough to do to be worth waking.
bool WorthWaking(const FolderJob& job) REQUIRES(decodingMutex);

// Whether to wake the second thread, waiting for work, for `job` (as the
// lock is let go: lock.UnlockAndNotify(d.work, ShouldWake(d, job))).
bool ShouldWake(const Decoding& d, const FolderJob& job) REQUIRES(decodingMutex);

// Claims the next file to read ahead of the index of `job` and reads it, the
// lock let go while reading.
void ReadNextAhead(Decoding& d, const std::shared_ptr<FolderJob>& job) REQUIRES(decodingMutex);

std::shared_ptr<const std::string> KeptFile(const FolderJob& job, NameRef file) REQUIRES(decodingMutex);

// Item `index` has been handed out. A whole file kept for its cards is let
// go after its last card.
void Consumed(FolderJob& job, std::size_t index) REQUIRES(decodingMutex);

// Makes `job` the one the second thread works on, starting the thread the
// first time.
void MakeCurrent(Decoding& d, const std::shared_ptr<FolderJob>& job) REQUIRES(decodingMutex);

// Decodes `ref` into `card` (or a new card) on `side`, without the lock.
Decoded Decode(CardReader& reader, const CardRef& ref, const std::string* wholeFile,
               std::unique_ptr<vcard::Card> card, Side side);

// The item decoded, or what decoding it threw.
ItemData Deliver(Decoded decoded);

}  // namespace standalone
