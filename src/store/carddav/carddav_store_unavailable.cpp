// The CardDAV store of builds without libcurl and expat (the Windows build
// among them): every .carddav entry is a failing store.
#include "store/store_sources.h"

namespace standalone {

std::unique_ptr<StoreSource> OpenCardDavStore(const std::string&) { return FailingStore(); }

}  // namespace standalone
