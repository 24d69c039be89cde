// Inside the SQLite book reader: what each kind of book (Thunderbird's,
// Evolution's local book and its cache of an online book) tells the shared
// reader (sqlite_book.cpp), which walks the items in key order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/sqlite/sqlite_db.h"
#include "store/store_sources.h"

namespace sqlitebook {

// The rows of one item: (first, second) columns after the key, as bytes.
// Kept between items so that their buffers are reused.
struct ItemRows {
  std::vector<std::pair<std::string, std::string>> rows;
  std::size_t used = 0;
};

using MapItem = std::optional<store::ItemData> (*)(const ItemRows& item);

struct BookKind {
  // One column: the item keys, each once, in the order of `rowsSql`.
  std::string keysSql;
  // Three columns (key, first, second) of the items from key ?1 on, ordered
  // by key; an item is the run of rows with its key.
  std::string rowsSql;
  MapItem map = nullptr;
  // Items after the keyed ones (Thunderbird's mailing lists), read at open.
  std::vector<store::ItemData> trailing;
};

// The kind of `db`, when its schema is that book's; nothing otherwise.
std::optional<BookKind> ThunderbirdKind(const Database& db);
std::optional<BookKind> EvolutionKind(const Database& db);
std::optional<BookKind> EvolutionCacheKind(const Database& db);

// Shared by the kinds.
// True when `table` exists and has every one of `columns`.
bool HasColumns(const Database& db, std::string_view table, std::initializer_list<std::string_view> columns);
// `name` quoted as an SQL identifier.
std::string QuoteIdentifier(std::string_view name);
}  // namespace sqlitebook
