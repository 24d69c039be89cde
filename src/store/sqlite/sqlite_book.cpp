// The items of an SQLite book, read in key order through one cursor: an
// export fetches a folder's items in order, so each fetch continues the
// cursor where the previous one stopped, and a fetch out of order starts it
// again at the key asked for (found by its position in the keys' order).
// Nothing of the items is held: the rows of one item are read when it is
// fetched, so memory does not grow with the book.
#include "store/sqlite/sqlite_book.h"

#include <limits>

#include "store/sqlite/sqlite_book_kinds.h"

namespace sqlitebook {
namespace {

constexpr std::size_t kNoPosition = std::numeric_limits<std::size_t>::max();

class KeyedBook final : public Book {
 public:
  KeyedBook(std::unique_ptr<Database> db, BookKind kind, std::size_t keyCount)
      : db_(std::move(db)), kind_(std::move(kind)), keyCount_(keyCount), cursor_(*db_, kind_.rowsSql),
        keyAt_(*db_, kind_.keysSql + " LIMIT 1 OFFSET ?1") {}

  bool ok() const { return cursor_.ok() && keyAt_.ok(); }
  std::size_t ItemCount() override { return keyCount_ + kind_.trailing.size(); }

  std::optional<store::ItemData> ReadItem(std::size_t index) override {
    if (index >= keyCount_) {
      if (index - keyCount_ >= kind_.trailing.size()) return std::nullopt;
      return kind_.trailing[index - keyCount_];
    }
    if (index != next_) {
      // Out of order: the key at that position, then the cursor from there.
      keyAt_.Restart();
      if (!keyAt_.BindInteger(1, static_cast<std::int64_t>(index)) || keyAt_.Step() != SQLITE_ROW) return Lost();
      key_.assign(keyAt_.Text(0));
      cursor_.Restart();
      if (!cursor_.BindText(1, key_)) return Lost();
      if (!Advance()) return Lost();
    } else if (onRow_) {
      // In order: the item is the next run of rows, whose key the cursor shows.
      key_.assign(cursor_.Text(0));
    }
    rows_.used = 0;
    while (onRow_ && cursor_.Text(0) == key_) {
      if (rows_.used == rows_.rows.size()) rows_.rows.emplace_back();
      auto& [first, second] = rows_.rows[rows_.used++];
      first.assign(cursor_.Text(1));
      second.assign(cursor_.Text(2));
      if (!Advance()) return Lost();
    }
    next_ = index + 1;
    if (rows_.used == 0) return std::nullopt;
    return kind_.map(rows_);
  }

 private:
  // Steps the cursor; false on an error (a page that cannot be read).
  bool Advance() {
    const int rc = cursor_.Step();
    onRow_ = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
  }
  std::optional<store::ItemData> Lost() {
    next_ = kNoPosition;
    onRow_ = false;
    return std::nullopt;
  }

  std::unique_ptr<Database> db_;
  BookKind kind_;
  std::size_t keyCount_;
  Statement cursor_;
  Statement keyAt_;
  std::string key_;  // of the item being read
  std::size_t next_ = kNoPosition;  // the item the cursor stands at
  bool onRow_ = false;
  ItemRows rows_;
};

}  // namespace

bool HasColumns(const Database& db, std::string_view table, std::initializer_list<std::string_view> columns) {
  Statement info(db, "SELECT name FROM pragma_table_info(?1)");
  if (!info.BindText(1, table)) return false;
  std::vector<std::string> names;
  while (info.Step() == SQLITE_ROW) names.emplace_back(info.Text(0));
  for (const std::string_view column : columns) {
    bool found = false;
    for (const std::string& name : names) found = found || store::EqualsNoCase(name, column);
    if (!found) return false;
  }
  return true;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::unique_ptr<Book> OpenBook(const std::string& path, std::string* failure) {
  std::string ignored;
  std::string& why = failure ? *failure : ignored;
  std::unique_ptr<Database> db = Database::Open(path, why);
  if (!db) return nullptr;
  std::optional<BookKind> kind = ThunderbirdKind(*db);
  if (!kind) kind = EvolutionKind(*db);
  if (!kind) kind = EvolutionCacheKind(*db);
  if (!kind) {
    why = "its tables are none of a Thunderbird or Evolution address book's";
    return nullptr;
  }
  Statement count(*db, "SELECT count(*) FROM (" + kind->keysSql + ")");
  if (count.Step() != SQLITE_ROW) {
    why = std::string("SQLite: ") + sqlite3_errmsg(db->handle());
    return nullptr;
  }
  const auto keyCount = static_cast<std::size_t>(count.Integer(0));
  auto book = std::make_unique<KeyedBook>(std::move(db), std::move(*kind), keyCount);
  if (!book->ok()) {
    why = "SQLite cannot prepare the queries of its items";
    return nullptr;
  }
  return book;
}

}  // namespace sqlitebook
