#include "store/cards/card_reader.h"

#include <algorithm>

#include "text/unicode_text.h"

namespace store {
namespace {

constexpr std::size_t kKeptCardBuffer = std::size_t{1} << 20;
// Cards of a file are fetched in file order; reading this much ahead makes
// that one read per window instead of one per card.
constexpr std::size_t kReadAhead = std::size_t{256} << 10;

}  // namespace

bool CardReader::Read(const CardRef& ref, const std::string* wholeFile, vcard::Card& card) {
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

bool CardReader::ReadFromFile(const CardRef& ref, vcard::Card& card) {
  if (!openFile_) return false;
  // The first card of a file needs no head; the others read it once per file.
  if (ref.offset == 0) return ReadIndexedCard(openFile_.get(), std::string_view(), ref, cardBuffer_, card);
  if (!openHead_) openHead_ = ReadFileHead(openFile_.get());
  if (!openHead_) return false;
  // A card of a byte file past its first bytes decodes the same with or
  // without them before it (it starts with BEGIN, never with a mark), so it
  // is decoded where it lies in the read-ahead bytes. UTF-16 files need their
  // mark in front of the card.
  const bool utf16 = text::StartsWithUtf16Mark(*openHead_);
  if (utf16) return ReadIndexedCard(openFile_.get(), *openHead_, ref, cardBuffer_, card);
  const std::optional<std::string_view> bytes = AheadBytes(ref);
  return bytes && vcard::ReadCardInto(*bytes, {0, bytes->size()}, card);
}

// The bytes of `ref`, from the read-ahead window, read anew when the card
// is not wholly in it.
std::optional<std::string_view> CardReader::AheadBytes(const CardRef& ref) {
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

}  // namespace store
