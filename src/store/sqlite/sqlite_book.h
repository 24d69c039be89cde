// Address books kept in SQLite databases: Thunderbird's (abook.sqlite,
// history.sqlite, abook-N.sqlite) and Evolution's (contacts.db of a local
// book, cache.db of an online one). Each book is one folder of items.
// Built only where the build finds SQLite; elsewhere the stores themselves
// are replaced (sqlite_store_unavailable.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "store/store_sources.h"

namespace sqlitebook {

class Book {
 public:
  virtual ~Book() = default;
  virtual std::size_t ItemCount() = 0;
  // Item `index` (below ItemCount()); nothing when it cannot be read,
  // Failure() then saying why.
  virtual std::optional<store::ItemData> ReadItem(std::size_t index) = 0;
  virtual std::string Failure() const = 0;
  // Where item `index` is in the book: its key ("key \"...\""), or, for an
  // item after the keyed ones, its place among those ("mailing list 2").
  virtual std::string Location(std::size_t index) = 0;
};

// Opens the book at `path` (see sqlite_db.h for how, without touching it).
// Nothing when it is no SQLite database, is damaged, stays busy, or its
// schema is none of the known books'; `failure`, when given, then says which.
std::unique_ptr<Book> OpenBook(const std::string& path, std::string* failure = nullptr);

}  // namespace sqlitebook
