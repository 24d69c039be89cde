#include "store/cards/card_decoder.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "om/error_numbers.h"
#include "vcard/vcard_reader.h"

namespace standalone {
namespace {

constexpr std::size_t kKeptCardBuffer = std::size_t{1} << 20;
// Cards of a file are fetched in file order; reading this much ahead makes
// that one read per window instead of one per card.
constexpr std::size_t kReadAhead = std::size_t{256} << 10;
// Cards kept per thread to be decoded into again (see ReturnCard).
constexpr std::size_t kSpareCards = 256;

}  // namespace

// Reads one card after the other, keeping the file of the last one open. One
// per thread that decodes.
class CardDecoder::Reader {
 public:
  explicit Reader(std::shared_ptr<const FolderFiles> files) : files_(std::move(files)) {}

  // Decodes `ref` into `card`, from `wholeFile` (its file's bytes) when the
  // index kept them, else from the file.
  bool Read(const CardRef& ref, const std::string* wholeFile, vcard::Card& card) {
    if (ref.length == kUnreadableCard) return false;
    if (wholeFile != nullptr) return vcard::ReadCardInto(*wholeFile, {ref.offset, ref.length}, card);
    if (!openFile_ || openName_ != ref.file) {
      openFile_.reset(files_->Open(ref.file));
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

  std::shared_ptr<const FolderFiles> files_;
  fs::FilePtr openFile_;
  NameRef openName_ = 0;
  std::optional<std::string> openHead_;  // its first bytes, once a card past them is read
  std::string cardBuffer_;
  std::string ahead_;  // bytes of the open file from aheadStart_ on
  std::uint64_t aheadStart_ = 0;
};

namespace {

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

// A file claimed to be read ahead of the index, read once `done`: its bytes,
// or nothing when it is large or could not be opened or read (the index then
// reads it itself, and finds what is wrong with it there).
struct AheadFile {
  bool done = false;
  std::shared_ptr<const std::string> bytes;
};

// Opens `file` by its name within `directory` when that is open, else as its folder does.
fs::File* OpenFolderFile(const FolderFiles& files, fs::Directory* directory, NameRef file) {
  return directory ? fs::OpenFileIn(directory, files.FileName(file)) : files.Open(file);
}

AheadFile ReadAhead(const FolderFiles& files, fs::Directory* directory, NameRef file) {
  AheadFile ahead{true, nullptr};
  const fs::FilePtr handle(OpenFolderFile(files, directory, file));
  if (!handle) return ahead;
  const std::uint64_t size = fs::FileSize(handle.get());
  if (size > kAheadFileBytes) return ahead;
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(size), '\0');
  if (fs::ReadAt(handle.get(), 0, bytes->size(), bytes->data())) ahead.bytes = std::move(bytes);
  return ahead;
}

}  // namespace

struct CardDecoder::Job {
  Job(std::shared_ptr<const FolderFiles> folderFiles, bool useThread, std::uint64_t jobSerial)
      : files(std::move(folderFiles)), threaded(useThread), serial(jobSerial) {}

  const std::shared_ptr<const FolderFiles> files;
  const bool threaded;
  const std::uint64_t serial;  // tells jobs apart for the second thread's reader

  // The rest under the decoding mutex. Only the fetching thread changes
  // cards, so it reads them without the lock.
  CardList cards;
  bool complete = false;
  std::size_t total = 0;  // of items, once complete
  // Items past `cards` (found again as the fetches reach them): those from
  // lazyBase on whose cards have been found.
  bool lazy = false;
  std::size_t lazyBase = 0;
  CardList lazyRefs;
  std::map<NameRef, std::shared_ptr<const std::string>> keptFiles;
  std::size_t keptBytes = 0;
  // Changes when the decoding restarts; a card claimed before is dropped.
  std::uint64_t generation = 0;
  // Cards expected .. next - 1 are claimed, in window; next is the first
  // card nobody has claimed; expected is the item the next fetch should ask for.
  std::size_t expected = 0;
  std::size_t next = 0;
  std::deque<Slot> window;

  // The files of the index being built (IndexFiles), read ahead of it.
  // Files before readNext are claimed: the index has them, or `ahead` holds
  // them, files readNext - ahead.size() .. readNext - 1, read or being read.
  bool indexing = false;
  std::vector<NameRef> toIndex;
  std::shared_ptr<fs::Directory> directory;
  std::size_t readNext = 0;
  std::deque<AheadFile> ahead;
  std::size_t aheadBytes = 0;  // of the files in `ahead` read
};

namespace {

using Job = CardDecoder::Job;

// The second thread and the folder it works on: one for the process, as one
// folder at a time is exported. Made once and never destroyed, so that the
// thread can use it until the process ends.
struct Decoding {
  std::mutex mutex;  // guards this and every Job
  std::condition_variable work;  // the second thread waits for cards
  std::condition_variable done;  // a fetch waits for the second thread's card
  std::shared_ptr<Job> current;
  bool waiting = false;
  bool fetchWaiting = false;
  bool started = false;
  bool unavailable = false;  // a thread could not be started: no more tries
  std::uint64_t serials = 0;
  // Bytes of large pieces of cards in memory (HoldLargeBytes).
  std::size_t largeBytes = 0;
  std::condition_variable roomForLarge;
  // Cards whose items have gone, by the thread that made them.
  std::vector<std::unique_ptr<vcard::Card>> spare[2];
};

// Which thread decodes: the one that fetches, or the second one.
enum Side { kFetching = 0, kSecond = 1 };

Decoding& TheDecoding() {
  static Decoding* const decoding = [] {
    auto* made = new Decoding();
    for (auto& spare : made->spare) spare.reserve(kSpareCards);
    return made;
  }();
  return *decoding;
}

// Takes the decoding mutex, trying for a moment before sleeping on it: the
// other thread holds it for a few instructions at a time, and sleeping and
// being woken costs many times that.
constexpr int kLockTries = 256;

void Acquire(std::unique_lock<std::mutex>& lock) {
  for (int i = 0; i < kLockTries; ++i) {
    if (lock.try_lock()) return;
  }
  lock.lock();
}

std::unique_lock<std::mutex> Locked(std::mutex& mutex) {
  std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
  Acquire(lock);
  return lock;
}

// Items that can be claimed: those whose cards have been found.
std::size_t Available(const Job& job) {
  return job.lazy ? job.lazyBase + job.lazyRefs.size() : job.cards.size();
}

// Item `index` below Available() and, past the kept cards, at or after lazyBase.
const CardRef& RefAt(const Job& job, std::size_t index) {
  return index < job.cards.size() ? job.cards[index] : job.lazyRefs[index - job.lazyBase];
}

bool CanClaim(const Job& job) { return job.next < Available(job) && job.window.size() < kItemsAhead; }

// Large pieces of cards (a card's bytes read to be decoded, taking up to
// kDecodeFactor times as much while decoded; a window of a file read whole)
// are in memory together up to kLargeBudget bytes, and a larger one alone, so
// that two threads on two large cards never need twice the memory of one.
constexpr std::size_t kLargePiece = std::size_t{16} << 20;
constexpr std::size_t kLargeBudget = std::size_t{128} << 20;
constexpr std::size_t kDecodeFactor = 8;

void HoldLargeBytes(std::size_t bytes) {
  if (bytes < kLargePiece) return;
  Decoding& d = TheDecoding();
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
  d.roomForLarge.wait(lock, [&] { return d.largeBytes == 0 || d.largeBytes + bytes <= kLargeBudget; });
  d.largeBytes += bytes;
}

void LetGoLargeBytes(std::size_t bytes) {
  if (bytes < kLargePiece) return;
  Decoding& d = TheDecoding();
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    d.largeBytes -= bytes;
  }
  d.roomForLarge.notify_all();
}

bool CanReadAhead(const Job& job) {
  return job.indexing && job.readNext < job.toIndex.size() && job.ahead.size() < kFilesAhead &&
         job.aheadBytes < kAheadBytes;
}

// Whether the waiting second thread has enough to do to be worth waking:
// room for half the files read ahead, or room for half a window and a batch
// of cards or the rest of them.
bool WorthWaking(const Job& job) {
  if (CanReadAhead(job) && job.ahead.size() <= kFilesAhead / 2) return true;
  return job.next < Available(job) && job.window.size() <= kItemsAhead / 2 &&
         (job.complete || job.cards.size() >= job.next + kWakeBatch);
}

// Claims the next file to read ahead of the index of `job` and reads it, the
// decoding mutex held by `lock` before and after, not while reading.
void ReadNextAhead(Decoding& d, const std::shared_ptr<Job>& job, std::unique_lock<std::mutex>& lock) {
  job->ahead.emplace_back();
  const std::size_t claimed = job->readNext++;
  const NameRef file = job->toIndex[claimed];
  std::shared_ptr<fs::Directory> directory = job->directory;
  lock.unlock();
  AheadFile read{true, nullptr};
  try {
    read = ReadAhead(*job->files, directory.get(), file);
  } catch (...) {
    // Out of memory: the index reads the file itself.
  }
  directory.reset();
  Acquire(lock);
  // An index that ended meanwhile (its folder went) no longer wants it.
  if (!job->indexing) return;
  const std::size_t first = job->readNext - job->ahead.size();
  if (read.bytes) job->aheadBytes += read.bytes->size();
  job->ahead[claimed - first] = std::move(read);
  if (d.fetchWaiting && claimed == first) d.done.notify_one();
}

void WakeIfWorth(Decoding& d, const Job& job, std::unique_lock<std::mutex>& lock) {
  const bool wake = d.waiting && d.current.get() == &job && WorthWaking(job);
  lock.unlock();
  if (wake) d.work.notify_one();
}

std::shared_ptr<const std::string> KeptFile(const Job& job, NameRef file) {
  const auto kept = job.keptFiles.find(file);
  return kept == job.keptFiles.end() ? nullptr : kept->second;
}

// Item `index` has been handed out. A whole file kept for its cards is let
// go after its last card.
void Consumed(Job& job, std::size_t index) {
  job.expected = index + 1;
  if (index >= job.cards.size() || job.keptFiles.empty()) return;
  const NameRef file = job.cards[index].file;
  if (index + 1 < job.cards.size() && job.cards[index + 1].file == file) return;
  if (const auto kept = job.keptFiles.find(file); kept != job.keptFiles.end()) {
    job.keptBytes -= kept->second->size();
    job.keptFiles.erase(kept);
  }
}

// Cards are handed back when their item goes and decoded into again by the
// thread that made them, so that each thread frees only what it allocated
// itself: a text freed by the other thread costs a lock of the allocator's
// heap it came from, which the two threads would otherwise contend for on
// every card. A card that grew large is not kept.
constexpr std::size_t kSpareCardBytes = std::size_t{64} << 10;

std::size_t CardBytes(const vcard::Card& card) {
  std::size_t bytes = sizeof card;
  for (const om::Value& value : card.values) {
    if (const auto* text = std::get_if<std::u16string>(&value)) bytes += text->capacity() * sizeof(char16_t);
  }
  return bytes;
}

// Cards handed back by this thread, not yet in the spare lists. The deleter
// of an item's card may run where the decoding mutex is held (an item
// dropped in a restart), so it only puts the card here; the thread moves
// them on the next time it takes the mutex.
thread_local std::vector<std::unique_ptr<vcard::Card>> tReturned[2];

void ReturnCard(vcard::Card* card, Side side) noexcept {
  std::unique_ptr<vcard::Card> owned(card);
  if (CardBytes(*card) > kSpareCardBytes || tReturned[side].size() >= kSpareCards) return;
  try {
    tReturned[side].push_back(std::move(owned));
  } catch (const std::bad_alloc&) {
    // No room to keep it: it is freed here instead.
  }
}

// Under the decoding mutex. Never allocates: the spare lists are made with
// room for all they hold.
void MoveReturnedCards(Decoding& d) {
  for (int side : {kFetching, kSecond}) {
    for (std::unique_ptr<vcard::Card>& card : tReturned[side]) {
      if (d.spare[side].size() < d.spare[side].capacity()) d.spare[side].push_back(std::move(card));
    }
    tReturned[side].clear();
  }
}

// A card to decode into (under the decoding mutex); nothing when none is spare.
std::unique_ptr<vcard::Card> SpareCard(Decoding& d, Side side) {
  if (d.spare[side].empty()) return nullptr;
  std::unique_ptr<vcard::Card> card = std::move(d.spare[side].back());
  d.spare[side].pop_back();
  return card;
}

Decoded Decode(CardDecoder::Reader& reader, const CardRef& ref, const std::string* wholeFile,
               std::unique_ptr<vcard::Card> card, Side side);

// The second thread: claims and decodes the cards of the current folder in
// order, at most kItemsAhead ahead of its fetches. A card whose folder went
// or restarted meanwhile is dropped.
void DecodeCurrentFolders() {
  Decoding& d = TheDecoding();
  std::unique_ptr<CardDecoder::Reader> reader;
  std::uint64_t readerSerial = 0;
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
  for (;;) {
    if (!d.current || !(CanReadAhead(*d.current) || CanClaim(*d.current))) {
      if (!d.current) reader.reset();  // no file kept open while idle
      d.waiting = true;
      d.work.wait(lock, [&d] { return d.current && WorthWaking(*d.current); });
      d.waiting = false;
      continue;
    }
    MoveReturnedCards(d);
    const std::shared_ptr<Job> job = d.current;
    // While the index is built, the fetching thread waits for it: reading its
    // files comes first.
    if (CanReadAhead(*job)) {
      try {
        ReadNextAhead(d, job, lock);
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
        reader = std::make_unique<CardDecoder::Reader>(job->files);
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
    std::unique_ptr<vcard::Card> card = SpareCard(d, kSecond);
    lock.unlock();
    Decoded decoded = Decode(*reader, ref, wholeFile.get(), std::move(card), kSecond);
    wholeFile.reset();
    Acquire(lock);
    if (job->generation == generation) {
      job->window[claimed - job->expected] = Slot{true, std::move(decoded)};
      if (d.fetchWaiting && claimed == job->expected) d.done.notify_one();
    }
  }
}

// Makes `job` the one the second thread works on, starting the thread the
// first time.
void MakeCurrent(Decoding& d, const std::shared_ptr<Job>& job) {
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

Decoded Decode(CardDecoder::Reader& reader, const CardRef& ref, const std::string* wholeFile,
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
    const bool group = spare->kind == vcard::CardKind::kGroup;
    std::shared_ptr<vcard::Card> card(spare.get(), [side](vcard::Card* gone) { ReturnCard(gone, side); });
    spare.release();
    decoded.data.typeName = group ? u"DistListItem" : u"ContactItem";
    // The values stay where they were decoded; the item points at them.
    decoded.data.properties = std::shared_ptr<const om::ContactValues>(card, &card->values);
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

}  // namespace

// The cards past the kept ones: the files they lie in, from the first file
// not wholly kept, and how many items each gave the index; and where
// finding them again has got to. Only the fetching thread uses it.
struct CardDecoder::Lazy {
  std::shared_ptr<const FolderFiles> files;
  std::shared_ptr<fs::Directory> directory;
  std::vector<NameRef> names;
  std::vector<std::uint32_t> counts;
  std::size_t file = 0;
  std::uint32_t given = 0;  // items of `file` found again
  bool open = false;
  fs::FilePtr handle;
  ScanState scan;
  std::string buffer;

  void Rewind() {
    file = 0;
    given = 0;
    open = false;
    handle.reset();
  }
};

namespace {

// Collects the cards of one window for the lazy index.
class Collector final : public CardSink {
 public:
  explicit Collector(std::vector<CardRef>& cards) : cards_(cards) {}
  void Add(std::span<const CardRef> cards, std::string_view) override {
    cards_.insert(cards_.end(), cards.begin(), cards.end());
  }
  void Withdraw(std::size_t) override {}
  void HoldLarge(std::size_t bytes) override { HoldLargeBytes(bytes); }
  void LetGoLarge(std::size_t bytes) override { LetGoLargeBytes(bytes); }

 private:
  std::vector<CardRef>& cards_;
};

// The items of the next window of the lazy index into `out`: as many per
// file as the index counted there, whatever the file holds now (cut to that
// number, or filled up with items that cannot be read).
void FindLazyCards(CardDecoder::Lazy& z, std::vector<CardRef>& out) {
  Collector sink(out);
  while (out.empty() && z.file < z.names.size()) {
    const NameRef name = z.names[z.file];
    const std::uint32_t count = z.counts[z.file];
    bool more = false;
    if (z.given < count) {
      if (!z.open) {
        z.handle.reset(OpenFolderFile(*z.files, z.directory.get(), name));
        z.scan = ScanState();
        z.open = true;
      }
      std::size_t added = 0;
      more = z.handle && ScanNext(z.handle.get(), name, z.scan, z.buffer, sink, added);
      const std::size_t left = count - z.given;
      if (out.size() > left) out.resize(left);
      if (!more) out.resize(left, CardRef{0, kUnreadableCard, name});
      z.given += static_cast<std::uint32_t>(out.size());
    }
    if (!more || z.given == count) {
      z.handle.reset();
      z.open = false;
      z.given = 0;
      ++z.file;
    }
  }
}

}  // namespace

CardDecoder::CardDecoder(std::shared_ptr<const FolderFiles> files, bool threaded, std::size_t heldCards)
    : reader_(std::make_unique<Reader>(files)), heldCards_(heldCards) {
  Decoding& d = TheDecoding();
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
  job_ = std::make_shared<Job>(std::move(files), threaded, ++d.serials);
  MakeCurrent(d, job_);
}

CardDecoder::~CardDecoder() {
  Decoding& d = TheDecoding();
  std::lock_guard<std::mutex> lock(d.mutex);
  ++job_->generation;  // a card the second thread is decoding now is dropped
  job_->indexing = false;  // and so is a file it is reading ahead
  job_->ahead.clear();
  job_->directory.reset();
  if (d.current == job_) d.current.reset();
}

void CardDecoder::IndexFiles(std::vector<NameRef> files, std::shared_ptr<fs::Directory> directory) {
  Decoding& d = TheDecoding();
  Job& job = *job_;
  const std::size_t count = files.size();
  {
    std::unique_lock<std::mutex> lock = Locked(d.mutex);
    job.toIndex = std::move(files);
    job.directory = directory;
    job.indexing = true;
    // This thread reads the first file itself, so a folder of one big file
    // is not opened twice.
    job.readNext = count > 0 ? 1 : 0;
    MakeCurrent(d, job_);
    WakeIfWorth(d, job, lock);
  }
  struct Ending {
    CardDecoder* decoder;
    ~Ending() { decoder->EndIndexing(); }
  } ending{this};
  std::string scanBuffer;
  indexingFiles_ = true;
  for (std::size_t i = 0; i < count; ++i) {
    const NameRef file = job.toIndex[i];
    fileIndex_ = i;
    if (counting_) {
      counts_.push_back(0);
    } else {
      fileStart_ = job.cards.size();
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
  Job& job = *job_;
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
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
      WakeIfWorth(d, job, lock);
      return bytes;
    }
    // The other thread is reading it: rather than wait, this thread reads the
    // next file nobody has claimed.
    if (CanReadAhead(job)) {
      ReadNextAhead(d, job_, lock);
      continue;
    }
    d.fetchWaiting = true;
    d.done.wait(lock, [&job] { return job.ahead.front().done; });
    d.fetchWaiting = false;
  }
}

// The index is complete, or building it failed: no more reading ahead.
void CardDecoder::EndIndexing() {
  indexedBytes_.reset();
  Decoding& d = TheDecoding();
  std::lock_guard<std::mutex> lock(d.mutex);
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
  if (indexingFiles_ && job_->cards.size() + cards.size() > heldCards_) {
    StartCounting(cards.size());
    return;
  }
  std::shared_ptr<const std::string> kept;
  if (!wholeFile.empty() && !cards.empty() && wholeFile.size() <= kKeptFileBytes) {
    const bool readAhead = indexedBytes_ && wholeFile.data() == indexedBytes_->data();
    kept = readAhead ? indexedBytes_ : std::make_shared<const std::string>(wholeFile);
  }
  Decoding& d = TheDecoding();
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
  Job& job = *job_;
  // The file goes in before its cards, so that no card of it is read from disk.
  if (kept && job.keptBytes + kept->size() <= kKeptFileBytes) {
    job.keptBytes += kept->size();
    job.keptFiles[cards.front().file] = std::move(kept);
  }
  job.cards.insert(job.cards.end(), cards.begin(), cards.end());
  WakeIfWorth(d, job, lock);
}

void CardDecoder::Withdraw(std::size_t count) {
  if (counting_) {
    counts_.back() -= static_cast<std::uint32_t>(std::min<std::size_t>(count, counts_.back()));
    return;
  }
  Decoding& d = TheDecoding();
  std::lock_guard<std::mutex> lock(d.mutex);
  Job& job = *job_;
  // What was decoded may include the cards taken back: everything is decoded
  // again from the first item not yet fetched.
  Restart(job.expected);
  job.cards.resize(job.cards.size() - std::min(count, job.cards.size()));
}

// Too many cards to keep: the cards of the file being indexed are taken
// back and counted instead, with all after them.
void CardDecoder::StartCounting(std::size_t adding) {
  Decoding& d = TheDecoding();
  std::lock_guard<std::mutex> lock(d.mutex);
  Job& job = *job_;
  if (job.next > fileStart_) Restart(job.expected);
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
  std::unique_ptr<Lazy> lazy;
  if (counting_) {
    lazy = std::make_unique<Lazy>();
    lazy->files = job_->files;
    lazy->directory = job_->directory;
    lazy->names.assign(job_->toIndex.begin() + static_cast<std::ptrdiff_t>(countedFrom_), job_->toIndex.end());
    lazy->counts = std::move(counts_);
    counts_ = {};
  }
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
  Job& job = *job_;
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
  WakeIfWorth(d, job, lock);
}

std::size_t CardDecoder::Count() const { return job_->complete ? job_->total : job_->cards.size(); }

// Finds the cards of the lazy index up to a window past item `index`,
// letting go of those of items already handed out. A fetch behind the
// window starts it again from the first file. The files are read without
// the decoding mutex; the second thread meanwhile decodes what it has.
void CardDecoder::IndexLazily(std::size_t index) {
  Decoding& d = TheDecoding();
  Job& job = *job_;
  const std::size_t want = std::min(index + kItemsAhead + 1, job.total);
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
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
    lock.unlock();
    found.clear();
    FindLazyCards(*lazy_, found);
    if (found.empty()) found.push_back(CardRef{0, kUnreadableCard, 0});  // the files hold fewer now
    Acquire(lock);
    job.lazyRefs.insert(job.lazyRefs.end(), found.begin(), found.end());
  }
  MakeCurrent(d, job_);
  WakeIfWorth(d, job, lock);
}

// Under the decoding mutex.
void CardDecoder::Restart(std::size_t from) {
  Job& job = *job_;
  ++job.generation;
  job.window.clear();
  job.expected = from;
  job.next = from;
}

ItemData CardDecoder::Fetch(std::size_t index) {
  if (index >= Count()) throw std::out_of_range("no such item");
  if (lazy_) IndexLazily(index);
  Decoding& d = TheDecoding();
  std::unique_lock<std::mutex> lock = Locked(d.mutex);
  Job& job = *job_;
  MoveReturnedCards(d);
  if (index != job.expected) Restart(index);
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
      std::unique_ptr<vcard::Card> card = SpareCard(d, kFetching);
      if (job.window.empty()) {  // it is the item asked for
        Consumed(job, index);
        if (job.next == job.total && d.current == job_) d.current.reset();
        lock.unlock();
        decoded = Decode(*reader_, ref, wholeFile.get(), std::move(card), kFetching);
        return Deliver(std::move(decoded));
      }
      job.window.emplace_back();
      lock.unlock();
      Decoded mine = Decode(*reader_, ref, wholeFile.get(), std::move(card), kFetching);
      Acquire(lock);
      job.window[claimed - job.expected] = Slot{true, std::move(mine)};
      continue;
    }
    // The item asked for is still being decoded by the other thread, and the
    // window is full: only now does this thread wait, for that one card.
    // (Decoding it here as well would double the memory a huge card takes.)
    d.fetchWaiting = true;
    d.done.wait(lock, [&job] { return job.window.front().done; });
    d.fetchWaiting = false;
  }
  Consumed(job, index);
  // Past the last card the second thread may go to another folder.
  if (job.next == job.total && d.current == job_) d.current.reset();
  WakeIfWorth(d, job, lock);
  return Deliver(std::move(decoded));
}

}  // namespace standalone
