// Where a CardDAV store's books are: the url's own properties, else its
// current-user-principal's address-book home, else the same from the
// server's /.well-known/carddav. Anything that goes wrong then (no answer, a
// refused login, a server error, a body that is not a multistatus) is a
// failure, said in words that never hold credentials.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/carddav/carddav_book.h"
#include "store/carddav/carddav_connection.h"

namespace carddav {

struct Discovered {
  bool singleBook = false;
  Book home;  // the one book when singleBook
  std::optional<Book> contacts;
  std::vector<Book> others;
};

// Nothing when no book is found, `failure` then saying why.
std::optional<Discovered> Discover(Connection& connection, std::string& failure);

}  // namespace carddav
