// Whole small files read ahead of a folder's index, by whichever of the card
// decoder's threads is free.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "store/cards/card_files.h"

namespace store {

// While a folder is indexed, files of at most kAheadFileBytes are read ahead
// of the index, by whichever thread is free: at most kFilesAhead files and
// about kAheadBytes bytes ahead. Opening, reading and closing a small file
// costs more than finding its cards, so in a folder of one card per file this
// shares out most of the index's work.
inline constexpr std::size_t kAheadFileBytes = std::size_t{1} << 20;
inline constexpr std::size_t kFilesAhead = 32;
inline constexpr std::size_t kAheadBytes = std::size_t{2} << 20;

// A file claimed to be read ahead of the index, read once `done`: its bytes,
// or nothing when it is large or could not be opened or read (the index then
// reads it itself, and finds what is wrong with it there).
struct AheadFile {
  bool done = false;
  std::shared_ptr<const std::string> bytes;
};

AheadFile ReadAhead(const FolderFiles& files, fs::Directory* directory, NameRef file);

}  // namespace store
