// An SQLite address book opened for reading without touching it: the one
// place that opens databases for the SQLite store (sqlite_book.cpp reads them).
//
// A book with nothing beside it (no -wal, no -journal) is opened read-only
// and immutable: SQLite then takes no lock and creates no -shm or -wal file
// next to it. A book with a -wal or -journal beside it belongs to an
// application that has it open (or left it mid-transaction): it and those
// files are copied into a private temporary folder, the copy is read
// (committed WAL content included) and removed with the database object.
#pragma once

#include <sqlite3.h>

#include <cstdint>

#include <memory>
#include <string>
#include <string_view>

#include "store/sqlite/sqlite_copy.h"

namespace sqlitebook {

class Statement;

class Database {
 public:
  // Opens the book at `path` as described above, and checks it: nothing when
  // it is no SQLite database, is damaged or cut short (PRAGMA quick_check),
  // or stays locked or changing after a few tries, `failure` then saying why.
  static std::unique_ptr<Database> Open(const std::string& path, std::string& failure);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }

 private:
  Database(sqlite3* db, std::unique_ptr<PrivateCopy> copy) : db_(db), copy_(std::move(copy)) {}
  sqlite3* db_;
  std::unique_ptr<PrivateCopy> copy_;  // closed after db_
};

// A prepared statement; every failure is reported by the return values.
class Statement {
 public:
  Statement(const Database& db, std::string_view sql);
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  void Restart() { sqlite3_reset(stmt_); }
  bool BindText(int index, std::string_view text);
  bool BindInteger(int index, std::int64_t value) {
    return stmt_ && sqlite3_bind_int64(stmt_, index, value) == SQLITE_OK;
  }
  // Column `index` of the current row as bytes ("" for NULL).
  std::string_view Text(int index);
  bool IsNull(int index) { return sqlite3_column_type(stmt_, index) == SQLITE_NULL; }
  std::int64_t Integer(int index) { return sqlite3_column_int64(stmt_, index); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace sqlitebook
