#include "store/cards/card_scheduler.h"

#include <system_error>
#include <thread>
#include <utility>

#include "om/error_numbers.h"
#include "store/card_item.h"
#include "store/cards/large_pieces.h"

namespace store {

Decoding& TheDecoding() {
  static Decoding* const decoding = new Decoding();
  return *decoding;
}

bool ShouldWake(const Decoding& d, const FolderJob& job) {
  return d.waiting && d.current.get() == &job && job.WorthWaking();
}

void ReadNextAhead(Decoding& d, FolderJob& job) {
  FileClaim claim = job.ClaimFileAhead();
  decodingMutex.Unlock();
  AheadFile read{true, nullptr};
  try {
    read = ReadAhead(job.files(), claim.directory.get(), claim.file);
  } catch (...) {
    // Out of memory: the index reads the file itself.
  }
  claim.directory.reset();
  decodingMutex.Lock();
  if (job.FileRead(claim, std::move(read)) && d.fetchWaiting) d.done.notify_one();
}

namespace {

// The second thread: claims and decodes the cards of the current folder in
// order, at most kItemsAhead ahead of its fetches. A card whose folder went
// or restarted meanwhile is dropped.
void DecodeCurrentFolders() {
  Decoding& d = TheDecoding();
  std::unique_ptr<CardReader> reader;
  std::uint64_t readerSerial = 0;
  MutexLock lock(decodingMutex);
  for (;;) {
    if (!d.current || !(d.current->CanReadAhead() || d.current->CanClaim())) {
      if (!d.current) reader.reset();  // no file kept open while idle
      d.waiting = true;
      while (!(d.current && d.current->WorthWaking())) decodingMutex.Wait(d.work);
      d.waiting = false;
      continue;
    }
    TakeReturnedCards(d.spare);
    const std::shared_ptr<FolderJob> job = d.current;
    // While the index is built, the fetching thread waits for it: reading its
    // files comes first.
    if (job->CanReadAhead()) {
      try {
        ReadNextAhead(d, *job);
      } catch (...) {
        d.unavailable = true;  // out of memory, as below
        d.current.reset();
        return;
      }
      continue;
    }
    CardClaim claim;
    try {
      if (!reader || readerSerial != job->serial()) {
        reader = std::make_unique<CardReader>(job->sharedFiles());
        readerSerial = job->serial();
      }
      claim = job->ClaimNext();
    } catch (...) {
      // Out of memory: the fetching threads decode for themselves.
      d.unavailable = true;
      d.current.reset();
      return;
    }
    std::unique_ptr<vcard::Card> card = SpareCard(d.spare, kSecond);
    lock.Unlock();
    Decoded decoded = Decode(*reader, claim, std::move(card), kSecond);
    claim.wholeFile.reset();
    lock.Lock();
    if (job->HandIn(claim, std::move(decoded)) && d.fetchWaiting) d.done.notify_one();
  }
}

}  // namespace

void MakeCurrent(Decoding& d, const std::shared_ptr<FolderJob>& job) {
  if (!job->threaded() || d.unavailable || d.current == job) return;
  if (!d.started) {
    try {
      std::thread(DecodeCurrentFolders).detach();
      d.started = true;
    } catch (const std::system_error&) {
      d.unavailable = true;
      return;
    }
  }
  d.current = job;
}

void LeaveWhenAllClaimed(Decoding& d, const std::shared_ptr<FolderJob>& job) {
  if (job->AllClaimed() && d.current == job) d.current.reset();
}

Decoded Decode(CardReader& reader, const CardClaim& claim, std::unique_ptr<vcard::Card> spare, Side side) {
  Decoded decoded;
  const std::string* wholeFile = claim.wholeFile.get();
  const CardRef& ref = claim.ref;
  const std::size_t charge =
      ref.length == kUnreadableCard || wholeFile != nullptr ? 0 : std::size_t{ref.length} * kDecodeFactor;
  struct Charge {
    std::size_t bytes;
    ~Charge() {
      if (bytes >= kLargePiece) vcard::ReleaseReadingMemory();  // before another large card starts
      LetGoLargeBytes(bytes);
    }
  };
  try {
    HoldLargeBytes(charge);
    const Charge held{charge};
    if (!spare) spare = std::make_unique<vcard::Card>();
    if (!reader.Read(ref, wholeFile, *spare)) return decoded;
    decoded.data = CardItem(ShareCard(std::move(spare), side));
    decoded.readable = true;
  } catch (...) {
    decoded.failure = std::current_exception();
  }
  return decoded;
}

ItemData Deliver(Decoded decoded) {
  if (decoded.failure) std::rethrow_exception(decoded.failure);
  if (!decoded.readable) throw om::ObjectModelError(om::kMapiCorruptData);
  return std::move(decoded.data);
}

}  // namespace store
