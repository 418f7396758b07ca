#include "common/logging/internal/HandlerListGate.h"

#include <new>

#if defined(__SANITIZE_THREAD__)
#define KESTRO_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTRO_THREAD_SANITIZER 1
#endif
#endif
#ifdef KESTRO_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace quorvane::logging::internal {

void remakeLockInForkedChild(std::shared_mutex& mutex, bool heldForWriting) {
#ifdef KESTRO_THREAD_SANITIZER
  // The new lock is made by a static initializer that ThreadSanitizer does not
  // see, so it is told of the release of the write lock the bytes no longer
  // record; otherwise it reports the child's first use as a misuse.
  if (heldForWriting) {
    __tsan_mutex_pre_unlock(mutex.native_handle(), 0);
    __tsan_mutex_post_unlock(mutex.native_handle(), 0);
  }
#else
  static_cast<void>(heldForWriting);
#endif
  new (&mutex) std::shared_mutex();
}

// Waiting here cannot deadlock: a change holds the gate only while it swaps
// one list, and never waits for anything else meanwhile.
void HandlerListGate::closeForFork() { heldForFork_ = std::unique_lock<std::shared_mutex>(gate_); }

void HandlerListGate::openInParent() { heldForFork_.unlock(); }

void HandlerListGate::remakeInChild() {
  // Nothing is half changed (the gate held every list still), and the only
  // thread is this one, so fresh locks describe the state exactly; a list
  // lock may still count readers that do not exist here.
  for (std::shared_mutex* listLock : listLocks_) {
    remakeLockInForkedChild(*listLock, /*heldForWriting=*/false);
  }
  heldForFork_.release();
  remakeLockInForkedChild(gate_, /*heldForWriting=*/true);
}

}  // namespace quorvane::logging::internal
