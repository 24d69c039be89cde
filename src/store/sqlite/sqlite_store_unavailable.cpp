// SQLite address books in builds without SQLite (the Windows build among
// them): every book, Thunderbird profile folder and Evolution address-book
// folder is a failing store, which says why.
#include "store/store_sources.h"

namespace store {

std::string_view AddressBooksUnavailable() { return "built without SQLite"; }

std::unique_ptr<StoreSource> OpenAddressBookStore(const std::string&) {
  return FailingStore(std::string(AddressBooksUnavailable()));
}

std::unique_ptr<StoreSource> OpenThunderbirdStore(const std::string&) {
  return FailingStore(std::string(AddressBooksUnavailable()));
}

std::unique_ptr<StoreSource> OpenEvolutionStore(const std::string&) {
  return FailingStore(std::string(AddressBooksUnavailable()));
}

}  // namespace store
