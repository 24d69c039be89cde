#include "store/cards/large_pieces.h"

#include <condition_variable>

#include "store/thread_annotations.h"

namespace store {
namespace {

// The large pieces in memory. Made once and never destroyed: the second
// thread may hold a piece while the process ends.
struct LargePieces {
  Mutex mutex;
  std::size_t bytes GUARDED_BY(mutex) = 0;
  std::condition_variable room;
};

constexpr std::size_t kLargeBudget = std::size_t{128} << 20;

LargePieces& TheLargePieces() {
  static LargePieces* const pieces = new LargePieces();
  return *pieces;
}

}  // namespace

void HoldLargePiece(std::size_t bytes) {
  LargePieces& large = TheLargePieces();
  MutexLock lock(large.mutex);
  while (large.bytes != 0 && large.bytes + bytes > kLargeBudget) large.mutex.Wait(large.room);
  large.bytes += bytes;
}

void LetGoLargePiece(std::size_t bytes) {
  LargePieces& large = TheLargePieces();
  {
    MutexLock lock(large.mutex);
    large.bytes -= bytes;
  }
  large.room.notify_all();
}

}  // namespace store
