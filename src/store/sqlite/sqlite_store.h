// Inside the SQLite store: a store of address books (sqlite_store.cpp),
// made of one book (a profile entry that is a book) or of an application's
// books (application_books.cpp: a Thunderbird profile folder, an Evolution
// address-book folder).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/store_sources.h"

namespace store {

// One book as a folder: its file and the folder's name.
struct BookEntry {
  std::string path;
  std::u16string name;
};

// A store whose top folder, and default contacts folder, is the book `top`,
// and whose subfolders are the books `others`, in that order, each a folder
// without subfolders. `identity` tells the store apart from the profile's
// other stores. A `top` that cannot be used makes a failing store (whose
// reason names the book when `inFolder`, the store being an application's
// folder); a subfolder book that cannot be used is a folder that cannot be
// opened.
std::unique_ptr<StoreSource> MakeBookStore(BookEntry top, std::vector<BookEntry> others, std::string identity,
                                           bool inFolder);

}  // namespace store
