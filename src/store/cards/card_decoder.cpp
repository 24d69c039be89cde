#include "store/cards/card_decoder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "store/cards/card_scheduler.h"
#include "store/cards/large_pieces.h"

namespace store {

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
  job_->Abandon();
  if (d.current == job_) d.current.reset();
}

void CardDecoder::IndexFiles(std::vector<NameRef> files, std::shared_ptr<fs::Directory> directory) {
  Decoding& d = TheDecoding();
  FolderJob& job = *job_;
  indexNames_ = std::make_shared<const std::vector<NameRef>>(std::move(files));
  const std::vector<NameRef>& names = *indexNames_;
  {
    MutexLock lock(decodingMutex);
    job.StartIndexing(indexNames_, directory);
    MakeCurrent(d, job_);
    lock.UnlockAndNotify(d.work, ShouldWake(d, job));
  }
  struct Ending {
    CardDecoder* decoder;
    ~Ending() { decoder->EndIndexing(); }
  } ending{this};
  std::string scanBuffer;
  indexingFiles_ = true;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const NameRef file = names[i];
    fileIndex_ = i;
    if (counting_) {
      counts_.push_back(0);
    } else {
      fileStart_ = cards_;
    }
    indexedBytes_ = i == 0 ? nullptr : TakeFile(i);
    if (indexedBytes_) {
      IndexWholeFile(*indexedBytes_, file, *this);
      indexedBytes_.reset();
      continue;
    }
    const fs::FilePtr handle(OpenFolderFile(job.files(), directory.get(), file));
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
    if (job.ClaimFileItself(index)) return nullptr;
    if (job.FirstFileRead()) {
      std::shared_ptr<const std::string> bytes = job.TakeFirstFile();
      lock.UnlockAndNotify(d.work, ShouldWake(d, job));
      return bytes;
    }
    // The other thread is reading it: rather than wait, this thread reads the
    // next file nobody has claimed.
    if (job.CanReadAhead()) {
      ReadNextAhead(d, job);
      continue;
    }
    d.fetchWaiting = true;
    while (!job.FirstFileRead()) decodingMutex.Wait(d.done);
    d.fetchWaiting = false;
  }
}

// The index is complete, or building it failed: no more reading ahead.
void CardDecoder::EndIndexing() {
  indexedBytes_.reset();
  indexNames_.reset();
  MutexLock lock(decodingMutex);
  job_->EndIndexing();
}

void CardDecoder::Add(std::span<const CardRef> cards, std::string_view wholeFile) {
  if (counting_) {
    counts_.back() += static_cast<std::uint32_t>(cards.size());
    return;
  }
  if (indexingFiles_ && cards_ + cards.size() > heldCards_) {
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
  cards_ = job_->AddCards(cards, std::move(kept));
  lock.UnlockAndNotify(d.work, ShouldWake(d, *job_));
}

void CardDecoder::Withdraw(std::size_t count) {
  if (counting_) {
    counts_.back() -= static_cast<std::uint32_t>(std::min<std::size_t>(count, counts_.back()));
    return;
  }
  MutexLock lock(decodingMutex);
  cards_ = job_->WithdrawCards(count);
}

// Too many cards to keep: the cards of the file being indexed are taken
// back and counted instead, with all after them.
void CardDecoder::StartCounting(std::size_t adding) {
  MutexLock lock(decodingMutex);
  const std::size_t ofFile = job_->KeepFirstCards(fileStart_, (*indexNames_)[fileIndex_]);
  cards_ = fileStart_;
  counting_ = true;
  countedFrom_ = fileIndex_;
  counts_.assign(1, static_cast<std::uint32_t>(ofFile + adding));
}

void CardDecoder::HoldLarge(std::size_t bytes) { HoldLargeBytes(bytes); }
void CardDecoder::LetGoLarge(std::size_t bytes) { LetGoLargeBytes(bytes); }

void CardDecoder::Complete() {
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  std::unique_ptr<LazyCards> lazy;
  if (counting_) {
    lazy = std::make_unique<LazyCards>();
    lazy->files = job_->sharedFiles();
    lazy->directory = job_->IndexDirectory();
    lazy->names.assign(indexNames_->begin() + static_cast<std::ptrdiff_t>(countedFrom_), indexNames_->end());
    lazy->counts = std::move(counts_);
    counts_ = {};
  }
  total_ = job_->Complete(lazy.get());
  complete_ = true;
  if (lazy) lazy_ = std::move(lazy);
  counting_ = false;
  indexingFiles_ = false;
  // A folder without cards gives the second thread nothing to do.
  if (total_ == 0 && d.current == job_) d.current.reset();
  lock.UnlockAndNotify(d.work, ShouldWake(d, *job_));
}

std::size_t CardDecoder::Count() const { return complete_ ? total_ : cards_; }

// Finds the cards of the lazy index up to a window past item `index`,
// letting go of those of items already handed out. A fetch behind the
// window starts it again from the first file. The files are read without
// the decoding mutex; the second thread meanwhile decodes what it has.
void CardDecoder::IndexLazily(std::size_t index) {
  Decoding& d = TheDecoding();
  FolderJob& job = *job_;
  const std::size_t want = std::min(index + kItemsAhead + 1, total_);
  MutexLock lock(decodingMutex);
  if (job.RewindLazy(index)) lazy_->Rewind();
  if (job.Available() >= want) return;
  std::vector<CardRef> found;
  while (job.Available() < want) {
    job.DropLazyBefore(index);
    lock.Unlock();
    found.clear();
    FindLazyCards(*lazy_, found);
    if (found.empty()) found.push_back(CardRef{0, kUnreadableCard, 0});  // the files hold fewer now
    lock.Lock();
    job.AddLazy(found);
  }
  MakeCurrent(d, job_);
  lock.UnlockAndNotify(d.work, ShouldWake(d, job));
}

// Past the kept cards, the files of the lazy index and their numbers of
// items say where an item lies.
CardPlace CardDecoder::Place(std::size_t index) {
  if (index >= Count()) throw std::out_of_range("no such item");
  MutexLock lock(decodingMutex);
  const FolderJob& job = *job_;
  const std::size_t kept = job.KeptCount();
  if (index < kept || !lazy_) return job.KeptPlace(index);
  CardPlace place;
  std::size_t rest = index - kept;
  for (std::size_t file = 0; file < lazy_->counts.size(); ++file) {
    if (rest < lazy_->counts[file]) {
      place = CardPlace{lazy_->names[file], rest + 1};
      break;
    }
    rest -= lazy_->counts[file];
  }
  if (const CardRef* ref = job.FoundAgain(index)) place.unreadable = ref->length == kUnreadableCard;
  return place;
}

ItemData CardDecoder::Fetch(std::size_t index) {
  if (index >= Count()) throw std::out_of_range("no such item");
  if (lazy_) IndexLazily(index);
  Decoding& d = TheDecoding();
  MutexLock lock(decodingMutex);
  FolderJob& job = *job_;
  TakeReturnedCards(d.spare);
  job.Expect(index);
  // Another folder's fetches may have taken the second thread meanwhile.
  if (job.HasUnclaimed()) MakeCurrent(d, job_);
  Decoded decoded;
  for (;;) {
    if (job.ExpectedDecoded()) {
      decoded = job.HandOutExpected();
      break;
    }
    if (job.CanClaim()) {
      // Rather than wait, this thread decodes the next card nobody has claimed.
      std::unique_ptr<vcard::Card> card = SpareCard(d.spare, kFetching);
      if (job.NothingClaimed()) {  // it is the item asked for
        const CardClaim claim = job.ClaimExpected();
        LeaveWhenAllClaimed(d, job_);
        lock.Unlock();
        return Deliver(Decode(*reader_, claim, std::move(card), kFetching));
      }
      const CardClaim claim = job.ClaimNext();
      lock.Unlock();
      Decoded mine = Decode(*reader_, claim, std::move(card), kFetching);
      lock.Lock();
      job.HandIn(claim, std::move(mine));
      continue;
    }
    // The item asked for is still being decoded by the other thread, and the
    // window is full: only now does this thread wait, for that one card.
    // (Decoding it here as well would double the memory a huge card takes.)
    d.fetchWaiting = true;
    while (!job.ExpectedDecoded()) decodingMutex.Wait(d.done);
    d.fetchWaiting = false;
  }
  // Past the last card the second thread may go to another folder.
  LeaveWhenAllClaimed(d, job_);
  lock.UnlockAndNotify(d.work, ShouldWake(d, job));
  return Deliver(std::move(decoded));
}

}  // namespace store
