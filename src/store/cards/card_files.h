// Where the files of a directory store's folder are, for the card decoder and
// the readers it uses: card after card (card_reader.h), whole small files
// ahead of the index (files_ahead.h), the cards past the kept ones found again
// (lazy_cards.h); and the budget of large pieces of cards in memory at once
// (large_pieces.h).
#pragma once

#include <string>

#include "store/cards/card_index.h"
#include "store/fs.h"

namespace store {

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

// Opens `file` by its name within `directory` when that is open, else as its folder does.
fs::File* OpenFolderFile(const FolderFiles& files, fs::Directory* directory, NameRef file);

}  // namespace store
