// CardDAV stores in builds without libcurl and expat (the Windows build among
// them): every .carddav entry is a failing store, which says why.
#include "store/store_sources.h"

namespace store {

std::string_view CardDavUnavailable() { return "built without libcurl and expat"; }

std::unique_ptr<StoreSource> OpenCardDavStore(const std::string&) {
  return FailingStore(std::string(CardDavUnavailable()));
}

// Without libcurl's URL parser no URL can be shown with certainty that it
// holds no credentials.
std::optional<std::string> CardDavServerUrl(const std::string&, std::string& failure) {
  failure = std::string(CardDavUnavailable());
  return std::nullopt;
}

}  // namespace store
