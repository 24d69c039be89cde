// Outlook data files in builds without libpff (the Windows build among them):
// every one is a failing store, which says why.
#include "store/store_sources.h"

namespace store {

std::string_view OutlookDataFilesUnavailable() { return "built without libpff"; }

std::unique_ptr<StoreSource> OpenOutlookDataFileStore(const std::string&) {
  return FailingStore(std::string(OutlookDataFilesUnavailable()));
}

}  // namespace store
