// Windows builds do not read SQLite books (the cross build has no SQLite):
// there is no private copy, and a book in use is a failing store.
#include "store/sqlite/sqlite_copy.h"

namespace sqlitebook {

std::unique_ptr<PrivateCopy> CopyBook(const std::string&) { return nullptr; }

}  // namespace sqlitebook
