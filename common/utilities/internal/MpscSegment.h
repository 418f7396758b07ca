#pragma once

// MpscSegment: a block of places of an UnboundedMpscQueue, with the link to
// the next block and the count that decides when the block may be reclaimed.
//
// A slot holds one item in raw storage; its producer constructs the item there
// and then sets `ready` (release), the consumer waits for `ready` (acquire),
// moves the item out and destroys it.
//
// `holders` counts who may still touch the segment besides the producers that
// fill its slots (those never touch it after setting `ready`, and the consumer
// waits for every slot, so they need no count):
//   - the consumer, until it has taken every slot and moved to the next
//     segment: 1;
//   - producers that claimed a place past the end ("late" producers), until
//     they have helped move the position on: one each. Their number is known
//     only when the position leaves the segment, so the count starts with
//     kUnannounced in its stead and the producer that moves the position adds
//     (late - kUnannounced).
// Every change is an acq_rel read-modify-write; whoever brings the count to
// zero is the last to touch the segment and reclaims it. Before the position
// leaves, the count is at least kUnannounced minus the late producers, so it
// cannot reach zero early.
//
// Internal to the queue.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "common/utilities/internal/MpscTailWord.h"

namespace quorvane::internal {

template <typename T>
struct MpscSlot {
  std::atomic<bool> ready{false};
  alignas(T) unsigned char storage[sizeof(T)];

  T* item() { return std::launder(reinterpret_cast<T*>(storage)); }
};

template <typename T, size_t kSlots>
struct alignas(MpscTailWord::kSegmentAlignment) MpscSegment {
  // Stands for the late producers until their number is announced; larger
  // than any number of them.
  static constexpr int64_t kUnannounced = int64_t{1} << 40;
  static constexpr int64_t kInitialHolders = kUnannounced + 1;

  // The segment that follows, linked once by a producer (null until then).
  std::atomic<MpscSegment*> next{nullptr};
  std::atomic<int64_t> holders{kInitialHolders};
  alignas(MpscTailWord::kSegmentAlignment) MpscSlot<T> slots[kSlots];

  // Makes a reclaimed segment (every slot empty, no holder left) new again.
  // The caller owns it exclusively and publishes it with a release operation.
  void resetForReuse() {
    next.store(nullptr, std::memory_order_relaxed);
    holders.store(kInitialHolders, std::memory_order_relaxed);
    for (MpscSlot<T>& slot : slots) {
      slot.ready.store(false, std::memory_order_relaxed);
    }
  }
};

}  // namespace quorvane::internal
