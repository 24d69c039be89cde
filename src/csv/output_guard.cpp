#include "csv/output_guard.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace csv {
namespace {

std::vector<FileIdentity> gProtected;
// Set from a signal handler, read between writes: a lock-free atomic is both
// safe there and seen by every thread.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void ClearProtected() { gProtected.clear(); }

void Protect(FileIdentity identity) {
  if (!IsProtected(identity)) gProtected.push_back(identity);
}

bool IsProtected(FileIdentity identity) {
  return std::find(gProtected.begin(), gProtected.end(), identity) != gProtected.end();
}

bool AnyProtected() { return !gProtected.empty(); }

void RequestStop() { gStop.store(true, std::memory_order_relaxed); }

bool StopRequested() { return gStop.load(std::memory_order_relaxed); }

}  // namespace csv
