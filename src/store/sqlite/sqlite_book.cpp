// The items of an SQLite book, read in key order through one cursor: an
// export fetches a folder's items in order, so each fetch continues the
// cursor where the previous one stopped, and a fetch out of order starts it
// again at the key asked for. Only the keys are held (for the count and for
// such a restart); the items' rows are read when fetched and not kept.
#include "store/sqlite/sqlite_book.h"

#include <limits>

#include "store/sqlite/sqlite_book_kinds.h"
#include "vcard/vcard_reader.h"

namespace sqlitebook {
namespace {

constexpr std::size_t kNoPosition = std::numeric_limits<std::size_t>::max();

class KeyedBook final : public Book {
 public:
  KeyedBook(std::unique_ptr<Database> db, BookKind kind, std::vector<std::string> keys)
      : db_(std::move(db)), kind_(std::move(kind)), keys_(std::move(keys)), cursor_(*db_, kind_.rowsSql) {}

  bool ok() const { return cursor_.ok(); }
  std::size_t ItemCount() override { return keys_.size() + kind_.trailing.size(); }

  std::optional<standalone::ItemData> ReadItem(std::size_t index) override {
    if (index >= keys_.size()) {
      if (index - keys_.size() >= kind_.trailing.size()) return std::nullopt;
      return kind_.trailing[index - keys_.size()];
    }
    const std::string& key = keys_[index];
    if (index != next_) {
      cursor_.Restart();
      if (!cursor_.BindText(1, key)) return Lost();
      if (!Advance()) return Lost();
    }
    rows_.used = 0;
    while (onRow_ && cursor_.Text(0) == key) {
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
  std::optional<standalone::ItemData> Lost() {
    next_ = kNoPosition;
    onRow_ = false;
    return std::nullopt;
  }

  std::unique_ptr<Database> db_;
  BookKind kind_;
  std::vector<std::string> keys_;
  Statement cursor_;
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
    for (const std::string& name : names) found = found || standalone::EqualsNoCase(name, column);
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

std::optional<standalone::ItemData> ItemFromCard(std::string_view text, bool list) {
  auto card = std::make_shared<vcard::Card>();
  if (!vcard::ReadCardInto(text, {0, text.size()}, *card)) return std::nullopt;
  const bool group = list || card->kind == vcard::CardKind::kGroup;
  standalone::ItemData item{group ? u"DistListItem" : u"ContactItem", nullptr};
  // The values stay where they were decoded; the item points at them.
  item.properties = std::shared_ptr<const om::ContactValues>(card, &card->values);
  return item;
}

std::unique_ptr<Book> OpenBook(const std::string& path) {
  std::unique_ptr<Database> db = Database::Open(path);
  if (!db) return nullptr;
  std::optional<BookKind> kind = ThunderbirdKind(*db);
  if (!kind) kind = EvolutionKind(*db);
  if (!kind) kind = EvolutionCacheKind(*db);
  if (!kind) return nullptr;
  Statement keys(*db, kind->keysSql);
  std::vector<std::string> list;
  int rc;
  while ((rc = keys.Step()) == SQLITE_ROW) list.emplace_back(keys.Text(0));
  if (rc != SQLITE_DONE) return nullptr;
  auto book = std::make_unique<KeyedBook>(std::move(db), std::move(*kind), std::move(list));
  if (!book->ok()) return nullptr;
  return book;
}

}  // namespace sqlitebook
