// The scheduling of a folder's cards between the fetching thread and the
// second thread (see card_decoder.h): the decoding both share, under one
// lock with every folder's job (folder_job.h), and the second thread's loop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>

#include "store/cards/card_pool.h"
#include "store/cards/card_reader.h"
#include "store/cards/folder_job.h"
#include "store/thread_annotations.h"

namespace store {

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

// Whether to wake the second thread, waiting for work, for `job` (as the
// lock is let go: lock.UnlockAndNotify(d.work, ShouldWake(d, job))).
bool ShouldWake(const Decoding& d, const FolderJob& job) REQUIRES(decodingMutex);

// Claims the next file to read ahead of the index of `job` and reads it, the
// lock let go while reading.
void ReadNextAhead(Decoding& d, FolderJob& job) REQUIRES(decodingMutex);

// Makes `job` the one the second thread works on, starting the thread the
// first time.
void MakeCurrent(Decoding& d, const std::shared_ptr<FolderJob>& job) REQUIRES(decodingMutex);

// Lets the second thread go to another folder once every card of `job` is
// claimed.
void LeaveWhenAllClaimed(Decoding& d, const std::shared_ptr<FolderJob>& job) REQUIRES(decodingMutex);

// Decodes `claim` into `card` (or a new card) on `side`, without the lock.
Decoded Decode(CardReader& reader, const CardClaim& claim, std::unique_ptr<vcard::Card> card, Side side);

// The item decoded, or what decoding it threw.
ItemData Deliver(Decoded decoded);

}  // namespace store
