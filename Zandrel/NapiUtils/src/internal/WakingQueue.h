#pragma once

// WakingQueue<Item>: the work queue of one environment. An unbounded
// multi-producer single-consumer FIFO (common/utilities/UnboundedMpscQueue.h)
// whose pushes wake the consumer, and which the consumer can close for good
// while producers are still pushing. Free of the host and its event loop: the
// wake-up is a plain function, so the queue is tested on its own.
//
// Who may call what
//   - push, wake: any thread, any number at once, also the consumer's own
//     thread (an item may push more while it runs). Never blocks, never waits
//     for the consumer.
//   - wakeUpReceived, drain, empty, close: the consumer thread only.
//   - closed: any thread.
//   - destruction: once no thread can call push or wake any more (owners hold
//     the queue by shared ownership).
//
// push publishes the item first and only then wakes the consumer, so the drain
// that the wake-up starts finds it. Wake-ups coalesce: while one is pending
// (requested, and not yet taken by the consumer's wakeUpReceived) producers
// request none, so a push costs no shared read-modify-write beyond the queue's
// own. The consumer therefore calls wakeUpReceived and then drains everything
// each time (drain stops only where no producer has claimed the head place,
// so items pushed while it runs are run too, and a claimed but not yet filled
// place is waited for).
//
// close: later pushes are refused (push returns false and the item stays with
// the caller, destroyed on its thread); then close waits until no wake-up call
// is in progress, so that once it returns `wake` is never called again (the
// consumer may free what `wake` touches, e.g. close its event-loop handle);
// then it destroys the queued items without running them, on the consumer
// thread, and answers how many. The wait is bounded by one call of `wake`;
// producers never wait.
//
// Errors: push throws std::bad_alloc when the queue cannot grow (nothing is
// queued then). Exceptions from drain's `consume` propagate after the item is
// destroyed.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/utilities/UnboundedMpscQueue.h"
#include "common/utilities/internal/SpinWait.h"

namespace quorvane::kestro::napi::internal {

template <typename Item>
class WakingQueue {
 public:
  using Wake = void (*)(void* target);

  WakingQueue(Wake wake, void* target) : wake_(wake), target_(target) {}
  WakingQueue(const WakingQueue&) = delete;
  WakingQueue& operator=(const WakingQueue&) = delete;

  // Any thread. Queues `item`, then wakes the consumer unless a wake-up is
  // already pending. False once closed.
  [[nodiscard]] bool push(Item&& item) {
    if (!queue_.push(std::move(item))) {
      return false;
    }
    wake();
    return true;
  }

  // Any thread. Wakes the consumer unless a wake-up is already pending (one
  // that wakeUpReceived has not taken yet) or the queue is closing.
  void wake() noexcept {
    if (!mayNeedWakeUp()) {
      return;
    }
    if (wakePending_.exchange(true, std::memory_order_acq_rel)) {
      return;
    }
    // seq_cst on both sides (here and in close) makes this a Dekker pair:
    // either this load sees closing_, or close sees this increment and waits.
    wakers_.fetch_add(1, std::memory_order_seq_cst);
    if (!closing_.load(std::memory_order_seq_cst)) {
      wake_(target_);
    }
    wakers_.fetch_sub(1, std::memory_order_release);
  }

  // Consumer, when a wake-up arrives and before it drains: wake-ups requested
  // from now on are delivered again.
  void wakeUpReceived() noexcept {
#if defined(__SANITIZE_THREAD__)
    wakePending_.exchange(false, std::memory_order_acq_rel);
#else
    wakePending_.store(false, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
  }

  // Consumer. Runs consume(Item&&) on every item, in claimed order.
  template <typename Consume>
  size_t drain(Consume&& consume) {
    return queue_.drain(std::forward<Consume>(consume));
  }

  // Consumer. Whether no producer has claimed the head place.
  bool empty() const { return queue_.empty(); }

  // Consumer. See the header comment. A second call does nothing (and
  // answers 0).
  size_t close() {
    closing_.store(true, std::memory_order_seq_cst);
    quorvane::internal::spinThenYieldUntil(
        [this] { return wakers_.load(std::memory_order_seq_cst) == 0; });
    return queue_.close();
  }

  bool closed() const noexcept { return closing_.load(std::memory_order_relaxed); }

 private:
  // Whether a producer that has just published (or released something the
  // consumer checks) must request a wake-up: false while one is pending.
  //
  // The pending flag spares producers a contended read-modify-write per item.
  // Skipping the wake-up is safe only if the consumer's next drain sees what
  // the producer did before: two seq_cst fences (here, after publishing, and
  // in wakeUpReceived, after clearing the flag, before draining) order it:
  // either this load sees the cleared flag and the producer wakes the
  // consumer, or the consumer's drain sees the producer's item. ThreadSanitizer
  // does not model fences, so under it the flag is always exchanged (the
  // consumer's exchange then synchronises with the last producer's).
  bool mayNeedWakeUp() noexcept {
#if defined(__SANITIZE_THREAD__)
    return true;
#else
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return !wakePending_.load(std::memory_order_relaxed);
#endif
  }

  UnboundedMpscQueue<Item> queue_;
  const Wake wake_;
  void* const target_;
  std::atomic<bool> wakePending_{false};
  std::atomic<bool> closing_{false};
  std::atomic<uint32_t> wakers_{0};
};

}  // namespace quorvane::kestro::napi::internal
