// Reading the files of a directory store's folder for the card decoder:
// card after card from an open file with a read-ahead window, whole small
// files ahead of the index, the cards past the kept ones found again window
// by window, and the budget of large pieces of cards in memory at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/cards/card_index.h"
#include "store/store_sources.h"
#include "vcard/vcard_reader.h"

namespace standalone {

// Where the files of a folder are. Fixed once the folder is listed; the
// second thread reads it too.
class FolderFiles {
 public:
  virtual ~FolderFiles() = default;
  virtual std::string FilePath(NameRef file) const = 0;
  // The name of `file` within the folder's directory.
  virtual std::string FileName(NameRef file) const = 0;
  // Opens `file` for reading (by its path unless the folder knows better);
  // nothing when it cannot be opened.
  virtual fs::File* Open(NameRef file) const { return fs::OpenFile(FilePath(file)); }
};

// Files that the index read in one piece are kept, up to this many bytes in
// all, until their cards are decoded: a folder of one card per file is then
// read once, not twice.
inline constexpr std::size_t kKeptFileBytes = std::size_t{8} << 20;
// While a folder is indexed, files of at most kAheadFileBytes are read ahead
// of the index, by whichever thread is free: at most kFilesAhead files and
// about kAheadBytes bytes ahead. Opening, reading and closing a small file
// costs more than finding its cards, so in a folder of one card per file this
// shares out most of the index's work.
inline constexpr std::size_t kAheadFileBytes = std::size_t{1} << 20;
inline constexpr std::size_t kFilesAhead = 32;
inline constexpr std::size_t kAheadBytes = std::size_t{2} << 20;

// Reads one card after the other, keeping the file of the last one open. One
// per thread that decodes.
class CardReader {
 public:
  explicit CardReader(std::shared_ptr<const FolderFiles> files) : files_(std::move(files)) {}

  // Decodes `ref` into `card`, from `wholeFile` (its file's bytes) when the
  // index kept them, else from the file.
  bool Read(const CardRef& ref, const std::string* wholeFile, vcard::Card& card);

 private:
  bool ReadFromFile(const CardRef& ref, vcard::Card& card);
  std::optional<std::string_view> AheadBytes(const CardRef& ref);

  std::shared_ptr<const FolderFiles> files_;
  fs::FilePtr openFile_;
  NameRef openName_ = 0;
  std::optional<std::string> openHead_;  // its first bytes, once a card past them is read
  std::string cardBuffer_;
  std::string ahead_;  // bytes of the open file from aheadStart_ on
  std::uint64_t aheadStart_ = 0;
};

// Opens `file` by its name within `directory` when that is open, else as its folder does.
fs::File* OpenFolderFile(const FolderFiles& files, fs::Directory* directory, NameRef file);

// A file claimed to be read ahead of the index, read once `done`: its bytes,
// or nothing when it is large or could not be opened or read (the index then
// reads it itself, and finds what is wrong with it there).
struct AheadFile {
  bool done = false;
  std::shared_ptr<const std::string> bytes;
};

AheadFile ReadAhead(const FolderFiles& files, fs::Directory* directory, NameRef file);

// The cards past the kept ones: the files they lie in, from the first file
// not wholly kept, and how many items each gave the index; and where
// finding them again has got to. Only the fetching thread uses it.
struct LazyCards {
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

// The items of the next window of the lazy index into `out`: as many per
// file as the index counted there, whatever the file holds now (cut to that
// number, or filled up with items that cannot be read).
void FindLazyCards(LazyCards& lazy, std::vector<CardRef>& out);

// Large pieces of cards (a card's bytes read to be decoded, taking up to
// kDecodeFactor times as much while decoded; a window of a file read whole)
// are in memory together up to a budget, and a larger one alone, so that two
// threads on two large cards never need twice the memory of one. Holding
// waits for room; smaller pieces are not counted.
inline constexpr std::size_t kLargePiece = std::size_t{16} << 20;
inline constexpr std::size_t kDecodeFactor = 8;
void HoldLargePiece(std::size_t bytes);
void LetGoLargePiece(std::size_t bytes);
inline void HoldLargeBytes(std::size_t bytes) {
  if (bytes >= kLargePiece) HoldLargePiece(bytes);
}
inline void LetGoLargeBytes(std::size_t bytes) {
  if (bytes >= kLargePiece) LetGoLargePiece(bytes);
}

}  // namespace standalone
