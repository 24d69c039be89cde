#include "store/sqlite/sqlite_db.h"

#include <string>

#include "store/fs.h"
#include "text/hex_digits.h"

namespace sqlitebook {
namespace {

// Tries before a book that keeps changing while it is copied, or stays busy
// while it is checked, is given up.
constexpr int kTries = 4;

// A `file:` URI for `path`: the characters a URI gives a meaning to are
// escaped, so that any file name opens as itself.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (const unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
      uri += '%';
      text::AppendHexByte(c, uri);
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
// `failure` says what SQLite found when it is not good.
Check QuickCheck(sqlite3* db, std::string& failure) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  Check result = Check::kBad;
  if (rc == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    const std::string_view found = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    if (found == "ok") result = Check::kGood;
    failure = "SQLite's check found: " + std::string(found);
  } else {
    failure = std::string("SQLite: ") + sqlite3_errmsg(db);
  }
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) result = Check::kBusy;
  sqlite3_finalize(stmt);
  return result;
}

Handle OpenUri(const std::string& uri, int flags, std::string& failure) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  Handle handle(db);
  if (rc != SQLITE_OK) {
    failure = std::string("SQLite cannot open it: ") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return nullptr;
  }
  return handle;
}

bool SideFileExists(const std::string& path, const char* suffix) {
  return store::fs::StatPath(path + suffix).exists;
}

}  // namespace

std::unique_ptr<Database> Database::Open(const std::string& path, std::string& failure) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    std::unique_ptr<PrivateCopy> copy;
    Handle db;
    if (!SideFileExists(path, "-wal") && !SideFileExists(path, "-journal")) {
      // Nobody has the book open: read it in place, without locks.
      db = OpenUri(FileUri(path) + "?mode=ro&immutable=1", SQLITE_OPEN_READONLY, failure);
    } else {
      // Its application holds it, and may checkpoint into it at any moment:
      // a private copy of the book and its log is read instead. The copy is
      // opened for writing so that SQLite may replay the log into it (or
      // roll back what a -journal left unfinished).
      copy = CopyBook(path);
      failure = "it and its log could not be copied whole";
      if (!copy) continue;
      db = OpenUri(FileUri(copy->DatabasePath()), SQLITE_OPEN_READWRITE, failure);
    }
    if (!db) return nullptr;
    sqlite3_busy_timeout(db.get(), 200);
    const Check check = QuickCheck(db.get(), failure);
    // An application that opened the book while it was checked in place
    // may write into it from now on: the book is read from a copy instead.
    if (!copy && (SideFileExists(path, "-wal") || SideFileExists(path, "-journal"))) {
      failure = "its application kept opening it while it was checked";
      continue;
    }
    switch (check) {
      case Check::kGood:
        return std::unique_ptr<Database>(new Database(db.release(), std::move(copy)));
      case Check::kBad:
        return nullptr;
      case Check::kBusy:
        failure = "it stayed busy";
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
