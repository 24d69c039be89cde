#include "outlook/standalone_card_decoder.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "outlook/error_numbers.h"
#include "outlook/vcard_reader.h"

namespace standalone {
namespace {

constexpr std::size_t kKeptCardBuffer = std::size_t{1} << 20;
// Cards of a file are fetched in file order; reading this much ahead makes
// that one read per window instead of one per card.
constexpr std::size_t kReadAhead = std::size_t{256} << 10;

}  // namespace

// Reads one card after the other, keeping the file of the last one open. One
// per thread that decodes.
class CardDecoder::Reader {
 public:
  explicit Reader(const FolderFiles& files) : files_(files) {}

  // Decodes `ref` into `card`, from `wholeFile` (its file's bytes) when the
  // index kept them, else from the file.
  bool Read(const CardRef& ref, const std::string* wholeFile, vcard::Card& card) {
    if (ref.length == kUnreadableCard) return false;
    if (wholeFile != nullptr) return vcard::ReadCardInto(*wholeFile, {ref.offset, ref.length}, card);
    if (!openFile_ || openName_ != ref.file) {
      openFile_.reset(fs::OpenFile(files_.FilePath(ref.file)));
      openName_ = ref.file;
      openHead_.reset();
      ahead_.clear();
    }
    const bool read = ReadFromFile(ref, card);
    // The buffers are kept for the next card, unless one huge card made them huge.
    if (cardBuffer_.capacity() > kKeptCardBuffer) std::string().swap(cardBuffer_);
    if (ahead_.capacity() > kKeptCardBuffer + kReadAhead) std::string().swap(ahead_), aheadStart_ = 0;
    return read;
  }

 private:
  bool ReadFromFile(const CardRef& ref, vcard::Card& card) {
    if (!openFile_) return false;
    // The first card of a file needs no head; the others read it once per file.
    if (ref.offset == 0) return ReadIndexedCard(openFile_.get(), std::string_view(), ref, cardBuffer_, card);
    if (!openHead_) openHead_ = ReadFileHead(openFile_.get());
    if (!openHead_) return false;
    // A card of a byte file past its first bytes decodes the same with or
    // without them before it (it starts with BEGIN, never with a mark), so it
    // is decoded where it lies in the read-ahead bytes. UTF-16 files need their
    // mark in front of the card.
    const bool utf16 = openHead_->starts_with("\xFF\xFE") || openHead_->starts_with("\xFE\xFF");
    if (utf16) return ReadIndexedCard(openFile_.get(), *openHead_, ref, cardBuffer_, card);
    const std::optional<std::string_view> bytes = AheadBytes(ref);
    return bytes && vcard::ReadCardInto(*bytes, {0, bytes->size()}, card);
  }

  // The bytes of `ref`, from the read-ahead window, read anew when the card
  // is not wholly in it.
  std::optional<std::string_view> AheadBytes(const CardRef& ref) {
    const bool inside = !ahead_.empty() && ref.offset >= aheadStart_ &&
                        ref.offset + ref.length <= aheadStart_ + ahead_.size();
    if (!inside) {
      const std::uint64_t size = fs::FileSize(openFile_.get());
      std::size_t length = ref.length;
      if (size > ref.offset + ref.length) {
        length = static_cast<std::size_t>(
            std::max<std::uint64_t>(ref.length, std::min<std::uint64_t>(size - ref.offset, kReadAhead)));
      }
      ahead_.resize(length);
      aheadStart_ = ref.offset;
      if (!fs::ReadAt(openFile_.get(), ref.offset, length, ahead_.data())) {
        ahead_.clear();
        return std::nullopt;
      }
    }
    return std::string_view(ahead_).substr(static_cast<std::size_t>(ref.offset - aheadStart_), ref.length);
  }

  const FolderFiles& files_;
  fs::FilePtr openFile_;
  NameRef openName_ = 0;
  std::optional<std::string> openHead_;  // its first bytes, once a card past them is read
  std::string cardBuffer_;
  std::string ahead_;  // bytes of the open file from aheadStart_ on
  std::uint64_t aheadStart_ = 0;
};

CardDecoder::CardDecoder(const FolderFiles& files, bool threaded) : files_(files), threaded_(threaded) {
  if (threaded_) Start(0);
}

CardDecoder::~CardDecoder() { Stop(); }

void CardDecoder::Add(std::span<const CardRef> cards, std::string_view wholeFile) {
  std::shared_ptr<const std::string> kept;
  if (!wholeFile.empty() && !cards.empty() && wholeFile.size() <= kKeptFileBytes) {
    kept = std::make_shared<const std::string>(wholeFile);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The file goes in before its cards, so that no card of it is read from disk.
    if (kept && keptBytes_ + kept->size() <= kKeptFileBytes) {
      keptBytes_ += kept->size();
      keptFiles_[cards.front().file] = std::move(kept);
    }
    cards_.insert(cards_.end(), cards.begin(), cards.end());
    if (!decoderWaiting_ || !DecoderMayGo()) return;
  }
  fetched_.notify_one();
}

// Whether the waiting decoding thread has enough to do to be worth waking:
// room for half a window, and a batch of cards or the rest of them.
bool CardDecoder::DecoderMayGo() const {
  return ready_.size() <= kItemsAhead / 2 && (complete_ || cards_.size() >= next_ + kWakeBatch);
}

void CardDecoder::Withdraw(std::size_t count) {
  // What was decoded may include the cards taken back: start again when the
  // items are fetched.
  Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  cards_.resize(cards_.size() - std::min(count, cards_.size()));
}

void CardDecoder::Complete() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    complete_ = true;
  }
  fetched_.notify_one();
  // A folder without cards needs no thread waiting for them.
  if (cards_.empty()) Stop();
}

ItemData CardDecoder::Fetch(std::size_t index) {
  const CardRef ref = cards_.at(index);
  if (threaded_ && (!thread_.joinable() || index != expected_)) Start(index);
  std::optional<Decoded> decoded;
  if (thread_.joinable()) {
    if (taken_.empty()) TakeDecoded();
    if (!taken_.empty()) {
      decoded = std::move(taken_.front());
      taken_.pop_front();
      // The last item: the thread has nothing more to do.
      if (++expected_ == cards_.size()) Stop();
    } else {
      Stop();  // the thread failed
    }
  }
  if (!decoded) {
    // No thread (it could not be started, or failed): decoded right here.
    if (!reader_) reader_ = std::make_unique<Reader>(files_);
    const std::shared_ptr<const std::string> kept = KeptFile(ref.file);
    decoded = Decode(*reader_, ref, kept.get());
  }
  if (decoded->failure) std::rethrow_exception(decoded->failure);
  if (!decoded->readable) throw om::ObjectModelError(om::kMapiCorruptData);
  return std::move(decoded->data);
}

// Takes over every decoded item, first waiting for a batch of them (or the
// rest), so that the two threads meet once per batch, not once per item.
void CardDecoder::TakeDecoded() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (ready_.empty() && !threadFailed_) {
    wanted_ = std::min(kWakeBatch, cards_.size() - expected_);
    fetchWaiting_ = true;
    decoded_.wait(lock, [this] { return ready_.size() >= wanted_ || threadFailed_; });
    fetchWaiting_ = false;
  }
  taken_.swap(ready_);
  const bool wake = decoderWaiting_ && DecoderMayGo();
  lock.unlock();
  if (wake) fetched_.notify_one();
}

void CardDecoder::Start(std::size_t from) {
  Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = from;
    stop_ = false;
    threadFailed_ = false;
  }
  expected_ = from;
  try {
    thread_ = std::thread([this] { DecodeAhead(); });
  } catch (const std::system_error&) {
    // Without a second thread every card is decoded when it is fetched.
  }
}

void CardDecoder::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    fetched_.notify_one();
    thread_.join();
  }
  taken_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  ready_.clear();
}

std::shared_ptr<const std::string> CardDecoder::KeptFile(NameRef file) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto kept = keptFiles_.find(file);
  return kept == keptFiles_.end() ? nullptr : kept->second;
}

CardDecoder::Decoded CardDecoder::Decode(Reader& reader, const CardRef& ref, const std::string* wholeFile) {
  Decoded decoded;
  try {
    auto card = std::make_shared<vcard::Card>();
    if (!reader.Read(ref, wholeFile, *card)) return decoded;
    decoded.data.typeName = card->kind == vcard::CardKind::kGroup ? u"DistListItem" : u"ContactItem";
    // The values stay where they were decoded; the item points at them.
    decoded.data.properties = std::shared_ptr<const om::ContactValues>(card, &card->values);
    decoded.readable = true;
  } catch (...) {
    decoded.failure = std::current_exception();
  }
  return decoded;
}

// The decoding thread: decodes the indexed cards in order from next_ on, a
// batch at a time, staying at most kItemsAhead items ahead of the fetches,
// until every card of the complete index is decoded or it is stopped.
void CardDecoder::DecodeAhead() {
  Reader reader(files_);
  std::vector<std::pair<CardRef, std::shared_ptr<const std::string>>> batch;
  std::vector<Decoded> done;
  std::optional<NameRef> lastFile;
  std::unique_lock<std::mutex> lock(mutex_);
  try {
    for (;;) {
      while (!stop_ && !(next_ < cards_.size() && ready_.size() < kItemsAhead)) {
        if (complete_ && next_ >= cards_.size()) return;
        decoderWaiting_ = true;
        fetched_.wait(lock, [this] { return stop_ || DecoderMayGo(); });
        decoderWaiting_ = false;
      }
      if (stop_) return;
      const std::size_t count = std::min({kWakeBatch, cards_.size() - next_, kItemsAhead - ready_.size()});
      batch.clear();
      for (std::size_t i = next_; i < next_ + count; ++i) {
        const CardRef& ref = cards_[i];
        // A kept file is let go once the decoding has passed it.
        if (lastFile && *lastFile != ref.file) {
          if (const auto kept = keptFiles_.find(*lastFile); kept != keptFiles_.end()) {
            keptBytes_ -= kept->second->size();
            keptFiles_.erase(kept);
          }
        }
        lastFile = ref.file;
        const auto kept = keptFiles_.find(ref.file);
        batch.emplace_back(ref, kept == keptFiles_.end() ? nullptr : kept->second);
      }
      lock.unlock();
      done.clear();
      for (const auto& [ref, wholeFile] : batch) done.push_back(Decode(reader, ref, wholeFile.get()));
      batch.clear();
      lock.lock();
      if (stop_) return;
      for (Decoded& decoded : done) ready_.push_back(std::move(decoded));
      next_ += count;
      if (fetchWaiting_ && ready_.size() >= wanted_) decoded_.notify_one();
    }
  } catch (...) {
    // Out of memory outside any one card: the fetches decode for themselves.
    if (!lock.owns_lock()) lock.lock();
    threadFailed_ = true;
    decoded_.notify_one();
  }
}

}  // namespace standalone
