// The cards of a folder past those whose places the index keeps, found again
// window by window of their files as the fetches reach them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/cards/card_files.h"

namespace store {

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

}  // namespace store
