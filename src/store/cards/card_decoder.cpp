#include "store/cards/card_decoder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "store/cards/card_scheduler.h"

namespace standalone {
namespace {

// The decoding restarts at item `from`: what was claimed before is dropped.
void Restart(FolderJob& job, std::size_t from) REQUIRES(decodingMutex) {
  ++job.generation;
  job.window.clear();
  job.expected = from;
  job.next = from;
}

}  // namespace

CardDecoder::CardDecoder(std::shared_ptr<const FolderFiles> files, bool threaded, std::size_t heldCards)
    : reader_(std::make_unique<CardReader>(files)), heldCards_(heldCards) {
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  job_ = std::make_shared<FolderJob>(std::move(files), threaded, ++d.serials);
  MakeCurrent(d, job_);
}

CardDecoder::~CardDecoder() {
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  ++job_->generation;  // a card the second thread is decoding now is dropped
  job_->indexing = false;  // and so is a file it is reading ahead
  job_->ahead.clear();
  job_->directory.reset();
  if (d.current == job_) d.current.reset();
}

void CardDecoder::IndexFiles(std::vector<NameRef> files, std::shared_ptr<fs::Directory> directory) {
  Decoding& d = TheDecoding();
  FolderJob& job = *job_;
  const std::size_t count = files.size();
  {
    MutexLock lock(decodingMutex);
    job.toIndex = std::move(files);
    job.directory = directory;
    job.indexing = true;
    // This thread reads the first file itself, so a folder of one big file
    // is not opened twice.
    job.readNext = count > 0 ? 1 : 0;
    MakeCurrent(d, job_);
    lock.UnlockAndNotify(d.work, ShouldWake(d, job));
  }
  struct Ending {
    CardDecoder* decoder;
    ~Ending() { decoder->EndIndexing(); }
  } ending{this};
  std::string scanBuffer;
  indexingFiles_ = true;
  for (std::size_t i = 0; i < count; ++i) {
    const NameRef file = OwnToIndex(job)[i];
    fileIndex_ = i;
    if (counting_) {
      counts_.push_back(0);
    } else {
      fileStart_ = OwnCards(job).size();
    }
    indexedBytes_ = i == 0 ? nullptr : TakeFile(i);
    if (indexedBytes_) {
      IndexWholeFile(*indexedBytes_, file, *this);
      indexedBytes_.reset();
      continue;
    }
    const fs::FilePtr handle(OpenFolderFile(*job.files, directory.get(), file));
    IndexOpenCardFile(handle.get(), file, scanBuffer, *this);
  }
  Complete();
}

// The bytes of file `index`, the next one to index, when it was read ahead;
// nothing when this thread is to read it.
std::shared_ptr<const std::string> CardDecoder::TakeFile(std::size_t index) {
  Decoding& d = TheDecoding();
  FolderJob& job = *job_;
  MutexLock lock(decodingMutex);
  for (;;) {
    if (index == job.readNext) {  // nobody has claimed it
      ++job.readNext;
      return nullptr;
    }
    AheadFile& front = job.ahead.front();
    if (front.done) {
      std::shared_ptr<const std::string> bytes = std::move(front.bytes);
      if (bytes) job.aheadBytes -= bytes->size();
      job.ahead.pop_front();
      lock.UnlockAndNotify(d.work, ShouldWake(d, job));
      return bytes;
    }
    // The other thread is reading it: rather than wait, this thread reads the
    // next file nobody has claimed.
    if (CanReadAhead(job)) {
      ReadNextAhead(d, job_);
      continue;
    }
    d.fetchWaiting = true;
    while (!job.ahead.front().done) decodingMutex.Wait(d.done);
    d.fetchWaiting = false;
  }
}

// The index is complete, or building it failed: no more reading ahead.
void CardDecoder::EndIndexing() {
  indexedBytes_.reset();
  MutexLock lock(decodingMutex);
  job_->indexing = false;
  job_->ahead.clear();
  job_->aheadBytes = 0;
  job_->toIndex = {};
  job_->directory.reset();
}

void CardDecoder::Add(std::span<const CardRef> cards, std::string_view wholeFile) {
  if (counting_) {
    counts_.back() += static_cast<std::uint32_t>(cards.size());
    return;
  }
  if (indexingFiles_ && OwnCards(*job_).size() + cards.size() > heldCards_) {
    StartCounting(cards.size());
    return;
  }
  std::shared_ptr<const std::string> kept;
  if (!wholeFile.empty() && !cards.empty() && wholeFile.size() <= kKeptFileBytes) {
    const bool readAhead = indexedBytes_ && wholeFile.data() == indexedBytes_->data();
    kept = readAhead ? indexedBytes_ : std::make_shared<const std::string>(wholeFile);
  }
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  FolderJob& job = *job_;
  // The file goes in before its cards, so that no card of it is read from disk.
  if (kept && job.keptBytes + kept->size() <= kKeptFileBytes) {
    job.keptBytes += kept->size();
    job.keptFiles[cards.front().file] = std::move(kept);
  }
  job.cards.insert(job.cards.end(), cards.begin(), cards.end());
  lock.UnlockAndNotify(d.work, ShouldWake(d, job));
}

void CardDecoder::Withdraw(std::size_t count) {
  if (counting_) {
    counts_.back() -= static_cast<std::uint32_t>(std::min<std::size_t>(count, counts_.back()));
    return;
  }
  MutexLock lock(decodingMutex);
  FolderJob& job = *job_;
  // What was decoded may include the cards taken back: everything is decoded
  // again from the first item not yet fetched.
  Restart(job, job.expected);
  job.cards.resize(job.cards.size() - std::min(count, job.cards.size()));
}

// Too many cards to keep: the cards of the file being indexed are taken
// back and counted instead, with all after them.
void CardDecoder::StartCounting(std::size_t adding) {
  MutexLock lock(decodingMutex);
  FolderJob& job = *job_;
  if (job.next > fileStart_) Restart(job, job.expected);
  const std::size_t ofFile = job.cards.size() - fileStart_;
  job.cards.resize(fileStart_);
  if (const auto kept = job.keptFiles.find(job.toIndex[fileIndex_]); kept != job.keptFiles.end()) {
    job.keptBytes -= kept->second->size();
    job.keptFiles.erase(kept);
  }
  counting_ = true;
  countedFrom_ = fileIndex_;
  counts_.assign(1, static_cast<std::uint32_t>(ofFile + adding));
}

void CardDecoder::HoldLarge(std::size_t bytes) { HoldLargeBytes(bytes); }
void CardDecoder::LetGoLarge(std::size_t bytes) { LetGoLargeBytes(bytes); }

void CardDecoder::Complete() {
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  FolderJob& job = *job_;
  std::unique_ptr<LazyCards> lazy;
  if (counting_) {
    lazy = std::make_unique<LazyCards>();
    lazy->files = job.files;
    lazy->directory = job.directory;
    lazy->names.assign(job.toIndex.begin() + static_cast<std::ptrdiff_t>(countedFrom_), job.toIndex.end());
    lazy->counts = std::move(counts_);
    counts_ = {};
  }
  job.total = job.cards.size();
  if (lazy) {
    for (std::uint32_t count : lazy->counts) job.total += count;
    job.lazy = true;
    job.lazyBase = job.cards.size();
    lazy_ = std::move(lazy);
  }
  counting_ = false;
  indexingFiles_ = false;
  job.complete = true;
  // A folder without cards gives the second thread nothing to do.
  if (job.total == 0 && d.current == job_) d.current.reset();
  lock.UnlockAndNotify(d.work, ShouldWake(d, job));
}

std::size_t CardDecoder::Count() const {
  return OwnComplete(*job_) ? OwnTotal(*job_) : OwnCards(*job_).size();
}

// Finds the cards of the lazy index up to a window past item `index`,
// letting go of those of items already handed out. A fetch behind the
// window starts it again from the first file. The files are read without
// the decoding mutex; the second thread meanwhile decodes what it has.
void CardDecoder::IndexLazily(std::size_t index) {
  Decoding& d = TheDecoding();
  FolderJob& job = *job_;
  const std::size_t want = std::min(index + kItemsAhead + 1, OwnTotal(job));
  MutexLock lock(decodingMutex);
  if (index < job.lazyBase && job.lazyBase > job.cards.size()) {
    job.lazyRefs.clear();
    job.lazyBase = job.cards.size();
    lazy_->Rewind();
  }
  if (Available(job) >= want) return;
  std::vector<CardRef> found;
  while (Available(job) < want) {
    const std::size_t done = std::min(index, job.expected);
    while (job.lazyBase < done && !job.lazyRefs.empty()) {
      job.lazyRefs.pop_front();
      ++job.lazyBase;
    }
    lock.Unlock();
    found.clear();
    FindLazyCards(*lazy_, found);
    if (found.empty()) found.push_back(CardRef{0, kUnreadableCard, 0});  // the files hold fewer now
    lock.Lock();
    job.lazyRefs.insert(job.lazyRefs.end(), found.begin(), found.end());
  }
  MakeCurrent(d, job_);
  lock.UnlockAndNotify(d.work, ShouldWake(d, job));
}

ItemData CardDecoder::Fetch(std::size_t index) {
  if (index >= Count()) throw std::out_of_range("no such item");
  if (lazy_) IndexLazily(index);
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  FolderJob& job = *job_;
  TakeReturnedCards(d.spare);
  if (index != job.expected) Restart(job, index);
  // Another folder's fetches may have taken the second thread meanwhile.
  if (job.next < Available(job)) MakeCurrent(d, job_);
  Decoded decoded;
  for (;;) {
    if (!job.window.empty() && job.window.front().done) {
      decoded = std::move(job.window.front().decoded);
      job.window.pop_front();
      break;
    }
    if (CanClaim(job)) {
      // Rather than wait, this thread decodes the next card nobody has claimed.
      const std::size_t claimed = job.next++;
      const CardRef ref = RefAt(job, claimed);
      const std::shared_ptr<const std::string> wholeFile = KeptFile(job, ref.file);
      std::unique_ptr<vcard::Card> card = SpareCard(d.spare, kFetching);
      if (job.window.empty()) {  // it is the item asked for
        Consumed(job, index);
        if (job.next == job.total && d.current == job_) d.current.reset();
        lock.Unlock();
        decoded = Decode(*reader_, ref, wholeFile.get(), std::move(card), kFetching);
        return Deliver(std::move(decoded));
      }
      job.window.emplace_back();
      lock.Unlock();
      Decoded mine = Decode(*reader_, ref, wholeFile.get(), std::move(card), kFetching);
      lock.Lock();
      job.window[claimed - job.expected] = Slot{true, std::move(mine)};
      continue;
    }
    // The item asked for is still being decoded by the other thread, and the
    // window is full: only now does this thread wait, for that one card.
    // (Decoding it here as well would double the memory a huge card takes.)
    d.fetchWaiting = true;
    while (!job.window.front().done) decodingMutex.Wait(d.done);
    d.fetchWaiting = false;
  }
  Consumed(job, index);
  // Past the last card the second thread may go to another folder.
  if (job.next == job.total && d.current == job_) d.current.reset();
  lock.UnlockAndNotify(d.work, ShouldWake(d, job));
  return Deliver(std::move(decoded));
}

}  // namespace standalone
