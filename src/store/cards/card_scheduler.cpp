#include "store/cards/card_scheduler.h"

#include <system_error>
#include <thread>
#include <utility>

#include "om/error_numbers.h"
#include "store/card_item.h"

namespace standalone {

Mutex& decodingMutex = *new Mutex();

Decoding& TheDecoding() {
  static Decoding* const decoding = new Decoding();
  return *decoding;
}

// Room for half the files read ahead, or room for half a window and a batch
// of cards or the rest of them.
bool WorthWaking(const FolderJob& job) {
  if (CanReadAhead(job) && job.ahead.size() <= kFilesAhead / 2) return true;
  return job.next < Available(job) && job.window.size() <= kItemsAhead / 2 &&
         (job.complete || job.cards.size() >= job.next + kWakeBatch);
}

bool ShouldWake(const Decoding& d, const FolderJob& job) {
  return d.waiting && d.current.get() == &job && WorthWaking(job);
}

void ReadNextAhead(Decoding& d, const std::shared_ptr<FolderJob>& job) {
  job->ahead.emplace_back();
  const std::size_t claimed = job->readNext++;
  const NameRef file = job->toIndex[claimed];
  std::shared_ptr<fs::Directory> directory = job->directory;
  decodingMutex.Unlock();
  AheadFile read{true, nullptr};
  try {
    read = ReadAhead(*job->files, directory.get(), file);
  } catch (...) {
    // Out of memory: the index reads the file itself.
  }
  directory.reset();
  decodingMutex.Lock();
  // An index that ended meanwhile (its folder went) no longer wants it.
  if (!job->indexing) return;
  const std::size_t first = job->readNext - job->ahead.size();
  if (read.bytes) job->aheadBytes += read.bytes->size();
  job->ahead[claimed - first] = std::move(read);
  if (d.fetchWaiting && claimed == first) d.done.notify_one();
}

std::shared_ptr<const std::string> KeptFile(const FolderJob& job, NameRef file) {
  const auto kept = job.keptFiles.find(file);
  return kept == job.keptFiles.end() ? nullptr : kept->second;
}

void Consumed(FolderJob& job, std::size_t index) {
  job.expected = index + 1;
  if (index >= job.cards.size() || job.keptFiles.empty()) return;
  const NameRef file = job.cards[index].file;
  if (index + 1 < job.cards.size() && job.cards[index + 1].file == file) return;
  if (const auto kept = job.keptFiles.find(file); kept != job.keptFiles.end()) {
    job.keptBytes -= kept->second->size();
    job.keptFiles.erase(kept);
  }
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
    if (!d.current || !(CanReadAhead(*d.current) || CanClaim(*d.current))) {
      if (!d.current) reader.reset();  // no file kept open while idle
      d.waiting = true;
      while (!(d.current && WorthWaking(*d.current))) decodingMutex.Wait(d.work);
      d.waiting = false;
      continue;
    }
    TakeReturnedCards(d.spare);
    const std::shared_ptr<FolderJob> job = d.current;
    // While the index is built, the fetching thread waits for it: reading its
    // files comes first.
    if (CanReadAhead(*job)) {
      try {
        ReadNextAhead(d, job);
      } catch (...) {
        d.unavailable = true;  // out of memory, as below
        d.current.reset();
        return;
      }
      continue;
    }
    const std::size_t claimed = job->next;
    const std::uint64_t generation = job->generation;
    const CardRef ref = RefAt(*job, claimed);
    std::shared_ptr<const std::string> wholeFile = KeptFile(*job, ref.file);
    try {
      if (!reader || readerSerial != job->serial) {
        reader = std::make_unique<CardReader>(job->files);
        readerSerial = job->serial;
      }
      job->window.emplace_back();
    } catch (...) {
      // Out of memory: the fetching threads decode for themselves.
      d.unavailable = true;
      d.current.reset();
      return;
    }
    ++job->next;
    std::unique_ptr<vcard::Card> card = SpareCard(d.spare, kSecond);
    lock.Unlock();
    Decoded decoded = Decode(*reader, ref, wholeFile.get(), std::move(card), kSecond);
    wholeFile.reset();
    lock.Lock();
    if (job->generation == generation) {
      job->window[claimed - job->expected] = Slot{true, std::move(decoded)};
      if (d.fetchWaiting && claimed == job->expected) d.done.notify_one();
    }
  }
}

}  // namespace

void MakeCurrent(Decoding& d, const std::shared_ptr<FolderJob>& job) {
  if (!job->threaded || d.unavailable || d.current == job) return;
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

Decoded Decode(CardReader& reader, const CardRef& ref, const std::string* wholeFile,
               std::unique_ptr<vcard::Card> spare, Side side) {
  Decoded decoded;
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

}  // namespace standalone
