// What each lock guards, written where Clang's thread-safety analysis
// (-Wthread-safety) checks it: a field read or written without its lock, a
// function called without the lock it needs, or a lock not let go, is a
// compile-time warning there. Other compilers see nothing.
//
// std::mutex is not declared a capability by every standard library, so the
// card decoder's threads (store/cards/) lock a Mutex of this file instead.
#pragma once

#include <condition_variable>
#include <mutex>

// Each macro is defined only where nothing defined it before, so that a
// header of another library with the same annotations can come first.
#ifndef CE_THREAD_ATTRIBUTE
#if defined(__clang__)
#define CE_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define CE_THREAD_ATTRIBUTE(x)
#endif
#endif

#ifndef CAPABILITY
#define CAPABILITY(x) CE_THREAD_ATTRIBUTE(capability(x))
#endif

#ifndef SCOPED_CAPABILITY
#define SCOPED_CAPABILITY CE_THREAD_ATTRIBUTE(scoped_lockable)
#endif

#ifndef GUARDED_BY
#define GUARDED_BY(x) CE_THREAD_ATTRIBUTE(guarded_by(x))
#endif

#ifndef PT_GUARDED_BY
#define PT_GUARDED_BY(x) CE_THREAD_ATTRIBUTE(pt_guarded_by(x))
#endif

#ifndef REQUIRES
#define REQUIRES(...) CE_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#endif

#ifndef ACQUIRE
#define ACQUIRE(...) CE_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#endif

#ifndef RELEASE
#define RELEASE(...) CE_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#endif

#ifndef TRY_ACQUIRE
#define TRY_ACQUIRE(...) CE_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#endif

#ifndef EXCLUDES
#define EXCLUDES(...) CE_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#endif

#ifndef NO_THREAD_SAFETY_ANALYSIS
#define NO_THREAD_SAFETY_ANALYSIS CE_THREAD_ATTRIBUTE(no_thread_safety_analysis)
#endif

namespace store {

// A mutex the analysis knows. Lock() tries for a moment before sleeping on
// it: the decoder's threads hold it for a few instructions at a time, and
// sleeping and being woken costs many times that.
class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() {
    for (int i = 0; i < kTries; ++i) {
      if (mutex_.try_lock()) return;
    }
    mutex_.lock();
  }
  void Unlock() RELEASE() { mutex_.unlock(); }

  // Waits to be woken through `wake`; the mutex is let go meanwhile and held
  // again when this returns.
  void Wait(std::condition_variable& wake) REQUIRES(this) {
    std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
    wake.wait(lock);
    lock.release();
  }

 private:
  static constexpr int kTries = 256;
  std::mutex mutex_;
};

// Holds a Mutex for its scope; may let it go and take it again within it.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() {
    if (held_) mutex_.Unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() {
    mutex_.Unlock();
    held_ = false;
  }
  void Lock() ACQUIRE() {
    mutex_.Lock();
    held_ = true;
  }
  // Lets go of the mutex, then wakes one waiter on `wake` when `notify`:
  // the woken thread does not find the mutex still held.
  void UnlockAndNotify(std::condition_variable& wake, bool notify) RELEASE() {
    Unlock();
    if (notify) wake.notify_one();
  }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

}  // namespace store
