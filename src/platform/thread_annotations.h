#pragma once
// Lock contracts the compiler checks. Under Clang these are its thread-safety
// attributes (checked by -Wthread-safety; scripts/thread_safety_check.sh runs
// that over src/); under GCC they expand to nothing.
//
// libstdc++'s std::mutex carries no capability attribute, so code whose
// fields are GUARDED_BY a lock uses `platform::Mutex` and holds it through
// `platform::MutexLock`, which Clang can follow. A condition-variable wait
// takes `MutexLock::native()`; its predicate, analysed on its own, states
// the lock with `Mutex::AssertHeld()`.
#include <mutex>

#if defined(__clang__)
#define QUORIX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define QUORIX_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) QUORIX_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY QUORIX_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) QUORIX_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) QUORIX_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) QUORIX_THREAD_ATTRIBUTE(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) QUORIX_THREAD_ATTRIBUTE(acquired_after(__VA_ARGS__))
#define REQUIRES(...) QUORIX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) QUORIX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUORIX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define EXCLUDES(...) QUORIX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) QUORIX_THREAD_ATTRIBUTE(assert_capability(x))
#define RETURN_CAPABILITY(x) QUORIX_THREAD_ATTRIBUTE(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS QUORIX_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace platform {

// A std::mutex the analysis knows as a lock.
class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  // Tells the analysis the caller holds this lock (a condition variable's
  // predicate runs with it held); checks nothing at run time.
  void AssertHeld() const ASSERT_CAPABILITY(this) {}
  std::mutex& native() { return mutex_; }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope; `Unlock` ends the hold early.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.native()) {}
  ~MutexLock() RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() { lock_.unlock(); }
  // For condition-variable waits, which leave the lock held on return.
  std::unique_lock<std::mutex>& native() { return lock_; }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace platform
