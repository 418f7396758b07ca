#pragma once

// MpscTailWord: the producer position of an UnboundedMpscQueue packed into one
// 64-bit word, so that a producer learns the segment it writes into and claims
// a place in it with a single atomic increment:
//
//   bit 63      closed: set once by close(); a push that reads it is refused
//   bits 21-62  the segment's address divided by kSegmentAlignment (42 bits,
//               enough for 48-bit addresses)
//   bits 0-20   the number of places claimed in that segment so far; it runs
//               past the segment's size by one for each producer that came too
//               late and moves on to the next segment
//
// An increment adds to the count only, as long as fewer than 2^21 increments
// land on one segment: its slots, one per producer that came too late, and one
// per push that failed there for lack of memory (a million producers or failed
// allocations in a row would be needed to reach it). Once closed, refused
// pushes may carry into the address bits, which nobody reads any more; they
// cannot reach the closed bit within 2^62 pushes.
//
// Internal to the queue; every function is pure.

#include <cstddef>
#include <cstdint>

namespace quorvane::internal {

struct MpscTailWord {
  static constexpr size_t kSegmentAlignment = 64;
  static constexpr unsigned kAlignmentBits = 6;
  static constexpr unsigned kIndexBits = 21;
  static constexpr uint64_t kIndexMask = (uint64_t{1} << kIndexBits) - 1;
  static constexpr uint64_t kClosedBit = uint64_t{1} << 63;
  static constexpr uintptr_t kAddressLimit = uintptr_t{1} << 48;
  // The largest segment size that leaves room for a million late producers.
  static constexpr size_t kMaxSegmentSlots = size_t{1} << (kIndexBits - 1);

  static_assert(sizeof(void*) == sizeof(uint64_t), "the word holds a 64-bit address");
  static_assert(kSegmentAlignment == size_t{1} << kAlignmentBits);

  // Whether `segment` can be packed: aligned, and below 2^48.
  static bool fits(const void* segment) {
    const auto address = reinterpret_cast<uintptr_t>(segment);
    return address % kSegmentAlignment == 0 && address < kAddressLimit;
  }

  static uint64_t make(const void* segment, uint64_t index) {
    const auto address = reinterpret_cast<uintptr_t>(segment);
    return (uint64_t{address} >> kAlignmentBits << kIndexBits) | index;
  }

  template <typename Segment>
  static Segment* segment(uint64_t word) {
    const uint64_t address = (word & ~kClosedBit) >> kIndexBits << kAlignmentBits;
    return reinterpret_cast<Segment*>(static_cast<uintptr_t>(address));
  }

  static uint64_t index(uint64_t word) { return word & kIndexMask; }

  static bool closed(uint64_t word) { return (word & kClosedBit) != 0; }
};

}  // namespace quorvane::internal
