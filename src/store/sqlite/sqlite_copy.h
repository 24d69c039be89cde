// The private copy of an SQLite book that its application holds open: the
// book and its -wal or -journal, copied where only this user may read them,
// so that the copy can be opened, its log replayed and read, while the
// original stays untouched. Platform halves: sqlite_copy_posix.cpp,
// sqlite_copy_win32.cpp.
#pragma once

#include <memory>
#include <string>

namespace sqlitebook {

// A private copy of a book: its folder is removed with the object.
class PrivateCopy {
 public:
  virtual ~PrivateCopy() = default;
  virtual const std::string& DatabasePath() const = 0;
};

// Copies `path` and those of `path`-wal and `path`-journal that exist into a
// new folder only this user may enter. Nothing when the copy could not be
// made, or when one of the files changed while they were copied (the caller
// tries again).
std::unique_ptr<PrivateCopy> CopyBook(const std::string& path);

}  // namespace sqlitebook
