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
      if (index - keyCount_ >= kind_.trailing.size()) return Failed("no such item");
      return kind_.trailing[index - keyCount_];
    }
    if (index != next_) {
      // Out of order: the key at that position, then the cursor from there.
      keyIndex_ = kNoPosition;
      if (!KeyAt(index, key_)) return Lost();
      keyIndex_ = index;
      cursor_.Restart();
      if (!cursor_.BindText(1, key_)) return Lost();
      if (!Advance()) return Lost();
    } else if (onRow_) {
      // In order: the item is the next run of rows, whose key the cursor shows.
      key_.assign(cursor_.Text(0));
      keyIndex_ = index;
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
    if (rows_.used == 0) return Failed("no rows hold its key");
    std::optional<store::ItemData> item = kind_.map(rows_);
    if (!item) return Failed("its data cannot be read as a contact");
    return item;
  }

  std::string Failure() const override { return failure_; }

  // The key of the item just read is at hand; another is looked up by its
  // position, as an out-of-order read does.
  std::string Location(std::size_t index) override {
    if (index >= keyCount_) return "mailing list " + std::to_string(index - keyCount_ + 1);
    std::string key;
    if (index == keyIndex_) {
      key = key_;
    } else if (!KeyAt(index, key)) {
      return "item " + std::to_string(index + 1);
    }
    return "key \"" + store::Printable(key) + "\"";
  }

 private:
  // The key at position `index` of the keys' order, into `key`.
  bool KeyAt(std::size_t index, std::string& key) {
    keyAt_.Restart();
    if (!keyAt_.BindInteger(1, static_cast<std::int64_t>(index)) || keyAt_.Step() != SQLITE_ROW) return false;
    key.assign(keyAt_.Text(0));
    return true;
  }
  std::optional<store::ItemData> Failed(std::string why) {
    failure_ = std::move(why);
    return std::nullopt;
  }

  // Steps the cursor; false on an error (a page that cannot be read).
  bool Advance() {
    const int rc = cursor_.Step();
    onRow_ = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
  }
  std::optional<store::ItemData> Lost() {
    next_ = kNoPosition;
    onRow_ = false;
    return Failed(std::string("SQLite: ") + sqlite3_errmsg(db_->handle()));
  }

  std::unique_ptr<Database> db_;
  BookKind kind_;
  std::size_t keyCount_;
  Statement cursor_;
  Statement keyAt_;
  std::string key_;  // of the item being read
  std::size_t keyIndex_ = kNoPosition;  // the item whose key key_ is
  std::size_t next_ = kNoPosition;  // the item the cursor stands at
  bool onRow_ = false;
  ItemRows rows_;
  std::string failure_;  // why the last item that failed could not be read
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
