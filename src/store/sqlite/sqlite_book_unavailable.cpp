// The book reader of builds without SQLite (the Windows build among them):
// no book can be opened, so every SQLite book is a failing store.
#include "store/sqlite/sqlite_book.h"

namespace sqlitebook {

std::unique_ptr<Book> OpenBook(const std::string&) { return nullptr; }

}  // namespace sqlitebook
