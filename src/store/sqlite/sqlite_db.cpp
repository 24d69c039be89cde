#include "store/sqlite/sqlite_db.h"

#include <string>

#include "store/fs.h"

namespace sqlitebook {
namespace {

// Tries before a book that keeps changing while it is copied, or stays busy
// while it is checked, is given up.
constexpr int kTries = 4;

// A `file:` URI for `path`: the characters a URI gives a meaning to are
// escaped, so that any file name opens as itself.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (const unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
      uri += '%';
      uri += kDigits[c >> 4];
      uri += kDigits[c & 0xF];
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri;
}

struct Closer {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Handle = std::unique_ptr<sqlite3, Closer>;

enum class Check { kGood, kBad, kBusy };

// What PRAGMA quick_check says: every page is read and every b-tree checked,
// so a book cut short or overwritten in part fails here, before any of it is
// exported. A file that is no database fails at its first statement.
Check QuickCheck(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr);
  Check result = Check::kBad;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      if (text != nullptr && std::string_view(reinterpret_cast<const char*>(text)) == "ok") result = Check::kGood;
    }
  }
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) result = Check::kBusy;
  sqlite3_finalize(stmt);
  return result;
}

Handle OpenUri(const std::string& uri, int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  Handle handle(db);
  if (rc != SQLITE_OK) return nullptr;
  return handle;
}

bool SideFileExists(const std::string& path, const char* suffix) {
  return standalone::fs::StatPath(path + suffix).exists;
}

}  // namespace

std::unique_ptr<Database> Database::Open(const std::string& path) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    std::unique_ptr<PrivateCopy> copy;
    Handle db;
    if (!SideFileExists(path, "-wal") && !SideFileExists(path, "-journal")) {
      // Nobody has the book open: read it in place, without locks.
      db = OpenUri(FileUri(path) + "?mode=ro&immutable=1", SQLITE_OPEN_READONLY);
    } else {
      // Its application holds it, and may checkpoint into it at any moment:
      // a private copy of the book and its log is read instead. The copy is
      // opened for writing so that SQLite may replay the log into it (or
      // roll back what a -journal left unfinished).
      copy = CopyBook(path);
      if (!copy) continue;
      db = OpenUri(FileUri(copy->DatabasePath()), SQLITE_OPEN_READWRITE);
    }
    if (!db) return nullptr;
    sqlite3_busy_timeout(db.get(), 200);
    const Check check = QuickCheck(db.get());
    // An application that opened the book while it was checked in place
    // may write into it from now on: the book is read from a copy instead.
    if (!copy && (SideFileExists(path, "-wal") || SideFileExists(path, "-journal"))) continue;
    switch (check) {
      case Check::kGood:
        return std::unique_ptr<Database>(new Database(db.release(), std::move(copy)));
      case Check::kBad:
        return nullptr;
      case Check::kBusy:
        break;
    }
  }
  return nullptr;
}

Database::~Database() { sqlite3_close_v2(db_); }

Statement::Statement(const Database& db, std::string_view sql) {
  if (sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }
}

bool Statement::BindText(int index, std::string_view text) {
  return stmt_ && sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

std::string_view Statement::Text(int index) {
  const unsigned char* text = sqlite3_column_text(stmt_, index);
  if (text == nullptr) return {};
  return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index))};
}

}  // namespace sqlitebook
