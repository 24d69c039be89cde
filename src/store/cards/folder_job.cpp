#include "store/cards/folder_job.h"

#include <algorithm>
#include <utility>

#include "store/cards/card_decoder.h"

namespace store {

Mutex& decodingMutex = *new Mutex();

// ---- The index ----

std::size_t FolderJob::AddCards(std::span<const CardRef> cards,
                                std::shared_ptr<const std::string> wholeFile) {
  if (wholeFile && keptBytes_ + wholeFile->size() <= kKeptFileBytes) {
    keptBytes_ += wholeFile->size();
    keptFiles_[cards.front().file] = std::move(wholeFile);
  }
  cards_.insert(cards_.end(), cards.begin(), cards.end());
  return cards_.size();
}

std::size_t FolderJob::WithdrawCards(std::size_t count) {
  Restart(expected_);
  cards_.resize(cards_.size() - std::min(count, cards_.size()));
  return cards_.size();
}

std::size_t FolderJob::KeepFirstCards(std::size_t count, NameRef file) {
  if (next_ > count) Restart(expected_);
  const std::size_t after = cards_.size() - count;
  cards_.resize(count);
  if (const auto kept = keptFiles_.find(file); kept != keptFiles_.end()) {
    keptBytes_ -= kept->second->size();
    keptFiles_.erase(kept);
  }
  return after;
}

std::size_t FolderJob::Complete(const LazyCards* lazy) {
  total_ = cards_.size();
  if (lazy) {
    for (std::uint32_t count : lazy->counts) total_ += count;
    lazy_ = true;
    lazyBase_ = cards_.size();
  }
  complete_ = true;
  return total_;
}

// ---- Files read ahead of the index ----

void FolderJob::StartIndexing(std::shared_ptr<const std::vector<NameRef>> names,
                              std::shared_ptr<fs::Directory> directory) {
  // The index reads the first file itself, so a folder of one big file is
  // not opened twice.
  readNext_ = names->empty() ? 0 : 1;
  toIndex_ = std::move(names);
  directory_ = std::move(directory);
  indexing_ = true;
}

void FolderJob::EndIndexing() {
  indexing_ = false;
  ahead_.clear();
  aheadBytes_ = 0;
  toIndex_.reset();
  directory_.reset();
}

std::shared_ptr<fs::Directory> FolderJob::IndexDirectory() const { return directory_; }

bool FolderJob::CanReadAhead() const {
  return indexing_ && readNext_ < toIndex_->size() && ahead_.size() < kFilesAhead &&
         aheadBytes_ < kAheadBytes;
}

FileClaim FolderJob::ClaimFileAhead() {
  ahead_.emplace_back();
  const std::size_t claimed = readNext_++;
  return FileClaim{claimed, (*toIndex_)[claimed], directory_};
}

bool FolderJob::FileRead(const FileClaim& claim, AheadFile read) {
  // An index that ended meanwhile (its folder went) no longer wants it.
  if (!indexing_) return false;
  const std::size_t first = readNext_ - ahead_.size();
  if (read.bytes) aheadBytes_ += read.bytes->size();
  ahead_[claim.index - first] = std::move(read);
  return claim.index == first;
}

bool FolderJob::ClaimFileItself(std::size_t index) {
  if (index != readNext_) return false;
  ++readNext_;
  return true;
}

bool FolderJob::FirstFileRead() const { return ahead_.front().done; }

std::shared_ptr<const std::string> FolderJob::TakeFirstFile() {
  std::shared_ptr<const std::string> bytes = std::move(ahead_.front().bytes);
  if (bytes) aheadBytes_ -= bytes->size();
  ahead_.pop_front();
  return bytes;
}

// ---- Claiming, decoding and handing out ----

std::size_t FolderJob::Available() const { return lazy_ ? lazyBase_ + lazyRefs_.size() : cards_.size(); }

bool FolderJob::HasUnclaimed() const { return next_ < Available(); }

bool FolderJob::CanClaim() const { return HasUnclaimed() && window_.size() < kItemsAhead; }

bool FolderJob::AllClaimed() const { return next_ == total_; }

// Room for half the files read ahead, or room for half a window and a batch
// of cards or the rest of them.
bool FolderJob::WorthWaking() const {
  if (CanReadAhead() && ahead_.size() <= kFilesAhead / 2) return true;
  return HasUnclaimed() && window_.size() <= kItemsAhead / 2 &&
         (complete_ || cards_.size() >= next_ + kWakeBatch);
}

void FolderJob::Expect(std::size_t index) {
  if (index != expected_) Restart(index);
}

CardClaim FolderJob::ClaimNext() {
  window_.emplace_back();
  const std::size_t claimed = next_++;
  const CardRef& ref = RefAt(claimed);
  return CardClaim{claimed, generation_, ref, KeptFile(ref.file)};
}

bool FolderJob::NothingClaimed() const { return window_.empty(); }

CardClaim FolderJob::ClaimExpected() {
  const std::size_t claimed = next_++;
  const CardRef& ref = RefAt(claimed);
  CardClaim claim{claimed, generation_, ref, KeptFile(ref.file)};
  Consumed(claimed);
  return claim;
}

bool FolderJob::HandIn(const CardClaim& claim, Decoded decoded) {
  if (claim.generation != generation_) return false;
  window_[claim.index - expected_] = Slot{true, std::move(decoded)};
  return claim.index == expected_;
}

bool FolderJob::ExpectedDecoded() const { return !window_.empty() && window_.front().done; }

Decoded FolderJob::HandOutExpected() {
  Decoded decoded = std::move(window_.front().decoded);
  window_.pop_front();
  Consumed(expected_);
  return decoded;
}

// ---- The lazy index ----

bool FolderJob::RewindLazy(std::size_t index) {
  if (index >= lazyBase_ || lazyBase_ <= cards_.size()) return false;
  lazyRefs_.clear();
  lazyBase_ = cards_.size();
  return true;
}

void FolderJob::DropLazyBefore(std::size_t index) {
  const std::size_t done = std::min(index, expected_);
  while (lazyBase_ < done && !lazyRefs_.empty()) {
    lazyRefs_.pop_front();
    ++lazyBase_;
  }
}

void FolderJob::AddLazy(const std::vector<CardRef>& found) {
  lazyRefs_.insert(lazyRefs_.end(), found.begin(), found.end());
}

// ---- Where an item lies ----

CardPlace FolderJob::KeptPlace(std::size_t index) const {
  const CardRef& ref = cards_[index];
  // The cards before `index` are of its file from some point on, and of
  // other files before that.
  std::size_t first = 0;
  std::size_t last = index;
  while (first < last) {
    const std::size_t middle = first + (last - first) / 2;
    if (cards_[middle].file == ref.file) {
      last = middle;
    } else {
      first = middle + 1;
    }
  }
  return CardPlace{ref.file, index - first + 1, ref.length == kUnreadableCard};
}

const CardRef* FolderJob::FoundAgain(std::size_t index) const {
  if (!lazy_ || index < lazyBase_ || index - lazyBase_ >= lazyRefs_.size()) return nullptr;
  return &lazyRefs_[index - lazyBase_];
}

void FolderJob::Abandon() {
  ++generation_;
  EndIndexing();
}

// ---- Inside ----

void FolderJob::Restart(std::size_t from) {
  ++generation_;
  window_.clear();
  expected_ = from;
  next_ = from;
}

void FolderJob::Consumed(std::size_t index) {
  expected_ = index + 1;
  if (index >= cards_.size() || keptFiles_.empty()) return;
  const NameRef file = cards_[index].file;
  if (index + 1 < cards_.size() && cards_[index + 1].file == file) return;
  if (const auto kept = keptFiles_.find(file); kept != keptFiles_.end()) {
    keptBytes_ -= kept->second->size();
    keptFiles_.erase(kept);
  }
}

const CardRef& FolderJob::RefAt(std::size_t index) const {
  return index < cards_.size() ? cards_[index] : lazyRefs_[index - lazyBase_];
}

std::shared_ptr<const std::string> FolderJob::KeptFile(NameRef file) const {
  const auto kept = keptFiles_.find(file);
  return kept == keptFiles_.end() ? nullptr : kept->second;
}

}  // namespace store
