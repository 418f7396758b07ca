#pragma once

// UnboundedMpscQueue<T>: a first-in-first-out queue of move-only items that
// any number of threads push into and one thread at a time takes out of.
// Producers never take a lock, never wait for the consumer and never fail for
// lack of room.
//
// Who may call what
//   - push: any thread, any number at once, also the consumer thread itself
//     (an item may push more items while it is being consumed).
//   - pop, drain, empty, close: the consumer side, ONE thread at a time. The
//     consumer may change threads when the calls are ordered (one thread's
//     last call happens-before the next thread's first).
//   - closed, segmentCount: any thread.
//   - destruction: consumer side, and only once no producer is inside push
//     and none can enter it any more; the owner guarantees it (e.g. producers
//     hold the queue by shared ownership). Queued items are destroyed without
//     being consumed.
//
// Order. push claims a place with one atomic increment of the producer
// position, then constructs the item in the place and publishes it. Items come
// out in the order of the claimed places, so one producer's items come out in
// the order it pushed them. A place that a producer has claimed but not yet
// filled counts as present: the consumer waits for it (a brief spin, then
// yielding the processor). The queue is empty when no producer has claimed the
// head place; a drain stops only there, so it takes every item whose place was
// claimed before it stops, including items pushed while it runs.
//
// Closing. close() is for queues whose consumer goes away: it marks the
// position closed and destroys, without consuming them, every item whose place
// was claimed before (waiting for those still being filled), on the closing
// thread. Afterwards push refuses: it returns false and leaves the item with
// the caller, who destroys it on its own thread. A push racing with close either claimed its place
// first (its item is destroyed by close) or is refused; an item is never lost
// without being destroyed. pop and drain find nothing after close.
//
// Memory ordering
//   - Everything a producer did before pushing an item happens-before the
//     consumption of that item (release when the slot is published, acquire
//     when the consumer sees it).
//   - A push that returned before some signal (a mutex, an atomic
//     release/acquire pair, an event loop's wake-up such as uv_async_send) is
//     found by a drain started after the signal was received.
//
// Errors. T must be nothrow move-constructible and nothrow destructible (the
// consumer waits for every claimed place, so filling one must not fail).
// push throws std::bad_alloc when a new segment cannot be allocated (or would
// lie above 48-bit addresses); the item then stays with the caller and
// nothing is queued. An exception thrown by drain's `consume` propagates after
// the item is destroyed; the queue stays usable.
//
// Memory and cost. Places come in segments of kSegmentSlots; a segment is
// allocated once per kSegmentSlots pushes (normally by the producer of a
// segment's last place, which takes the queue's spare segment when there is
// one), never per item. A push is one
// atomic increment of the shared position, a move-construction and one release
// store. A pop is one acquire load of the slot's flag, a move and a
// destruction; the consumer reads the shared position only when the head place
// is not filled yet (to tell a claimed place from an empty queue), and does one
// atomic operation per segment.
// An empty queue holds one segment, plus at most one spare.
//
// Reclamation. A segment is reclaimed once nobody can touch it any more: the
// consumer has taken all its slots, every slot's producer published (it never
// touches the segment again), and every producer that claimed a place past its
// end has moved on, counted as described in internal/MpscSegment.h. Such a
// producer reads the segment's address and claims in the same atomic
// increment, so no producer can hold the address of a segment without being
// counted. A reclaimed segment becomes the spare if there is none, else it is
// freed; since nobody holds its old address, reusing it cannot confuse anyone.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "common/utilities/internal/MpscSegment.h"
#include "common/utilities/internal/MpscTailWord.h"
#include "common/utilities/internal/SpinWait.h"

namespace quorvane {

template <typename T, size_t kSegmentSlots = 256>
class UnboundedMpscQueue {
  static_assert(std::is_nothrow_move_constructible_v<T>, "filling a claimed place must not fail");
  static_assert(std::is_nothrow_destructible_v<T>);
  static_assert(kSegmentSlots >= 1 && kSegmentSlots <= internal::MpscTailWord::kMaxSegmentSlots);

 public:
  using value_type = T;
  static constexpr size_t kSlotsPerSegment = kSegmentSlots;

  // Allocates the first segment; throws std::bad_alloc.
  UnboundedMpscQueue();
  ~UnboundedMpscQueue();
  UnboundedMpscQueue(const UnboundedMpscQueue&) = delete;
  UnboundedMpscQueue& operator=(const UnboundedMpscQueue&) = delete;

  // Any thread. Moves `item` into the queue and returns true; once the queue
  // is closed returns false and leaves `item` as it was.
  [[nodiscard]] bool push(T&& item);

  // Consumer. The head item, or nothing when no producer has claimed the head
  // place.
  std::optional<T> pop();

  // Consumer. Calls consume(T&&) on each item in order, destroying each after
  // its call, until no producer has claimed the head place; returns how many.
  template <typename Consume>
  size_t drain(Consume&& consume);

  // Consumer. True when no producer has claimed the head place.
  bool empty() const;

  // Consumer side. Refuses later pushes and destroys the queued items without
  // consuming them; returns how many. A second call does nothing (returns 0).
  size_t close();

  // Any thread. Whether close() has been called.
  bool closed() const noexcept;

  // Any thread. Segments currently allocated, the spare included (a snapshot,
  // for diagnostics and tests).
  size_t segmentCount() const noexcept { return segmentCount_.load(std::memory_order_relaxed); }

 private:
  using Segment = internal::MpscSegment<T, kSegmentSlots>;
  using TailWord = internal::MpscTailWord;

  // Destroys a consumed item when the consumer's call returns or throws.
  struct DestroyOnExit {
    T* item;
    ~DestroyOnExit() { std::destroy_at(item); }
  };

  // Producers.
  void publish(internal::MpscSlot<T>& slot, T&& item) noexcept;
  void advanceTail(Segment* full);
  void tryAdvanceTail(Segment* full) noexcept;
  Segment* linkNext(Segment* full);
  void dropHolders(Segment* segment, int64_t count) noexcept;
  void reclaim(Segment* segment) noexcept;

  // Segments.
  Segment* takeSpareOrAllocate();
  Segment* allocateSegment();
  void keepAsSpareOrFree(Segment* segment) noexcept;
  void freeSegment(Segment* segment) noexcept;

  // Consumer.
  bool placeClaimed(const Segment* segment, size_t index, uint64_t tailWord) const;
  uint64_t refreshedTail();
  bool leaveTakenSegment();
  bool reachHeadItem();
  template <typename Consume>
  bool consumeHead(Consume& consume);

  alignas(TailWord::kSegmentAlignment) std::atomic<uint64_t> tail_;
  alignas(TailWord::kSegmentAlignment) std::atomic<Segment*> spare_{nullptr};
  std::atomic<size_t> segmentCount_{0};

  // Consumer side only.
  alignas(TailWord::kSegmentAlignment) Segment* head_;
  size_t headIndex_ = 0;
  // The consumer's last reading of tail_ (or a lower bound of it), never
  // behind the head segment; after close, the position as close found it (the
  // last place claimed before the queue closed).
  uint64_t knownTail_;
  bool closedByConsumer_ = false;
};

// ---------------------------------------------------------------------------
// Implementation

template <typename T, size_t kSegmentSlots>
UnboundedMpscQueue<T, kSegmentSlots>::UnboundedMpscQueue() : head_(allocateSegment()) {
  knownTail_ = TailWord::make(head_, 0);
  tail_.store(knownTail_, std::memory_order_relaxed);
}

template <typename T, size_t kSegmentSlots>
UnboundedMpscQueue<T, kSegmentSlots>::~UnboundedMpscQueue() {
  close();
  // No producer is left: every segment before the head has been reclaimed,
  // and the head starts the chain of the rest (including one a late producer
  // may have linked after close).
  for (Segment* segment = head_; segment != nullptr;) {
    Segment* next = segment->next.load(std::memory_order_acquire);
    freeSegment(segment);
    segment = next;
  }
  if (Segment* spare = spare_.exchange(nullptr, std::memory_order_acquire)) {
    freeSegment(spare);
  }
}

template <typename T, size_t kSegmentSlots>
bool UnboundedMpscQueue<T, kSegmentSlots>::push(T&& item) {
  for (;;) {
    const uint64_t word = tail_.fetch_add(1, std::memory_order_acquire);
    if (TailWord::closed(word)) {
      return false;
    }
    Segment* segment = TailWord::segment<Segment>(word);
    const uint64_t index = TailWord::index(word);
    if (index < kSegmentSlots) {
      // The producer of the last place moves the position on before filling
      // it (afterwards it may not touch the segment), so that later producers
      // rarely claim past the end.
      if (index == kSegmentSlots - 1) {
        tryAdvanceTail(segment);
      }
      publish(segment->slots[index], std::move(item));
      return true;
    }
    // Claimed past the end: help move the position to the next segment, leave
    // this one and claim again.
    try {
      advanceTail(segment);
    } catch (...) {
      dropHolders(segment, 1);
      throw;
    }
    dropHolders(segment, 1);
  }
}

template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::publish(internal::MpscSlot<T>& slot, T&& item) noexcept {
  ::new (static_cast<void*>(slot.storage)) T(std::move(item));
  slot.ready.store(true, std::memory_order_release);
}

// Moves the position from `full` (every place claimed) to the segment after
// it, linking one if needed, unless another producer already did or the queue
// closed. The caller holds `full` (an unfilled place or a late claim).
template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::advanceTail(Segment* full) {
  Segment* next = linkNext(full);
  uint64_t seen = tail_.load(std::memory_order_relaxed);
  while (!TailWord::closed(seen) && TailWord::segment<Segment>(seen) == full) {
    if (tail_.compare_exchange_weak(seen, TailWord::make(next, 0), std::memory_order_acq_rel,
                                    std::memory_order_relaxed)) {
      // Exactly the claims counted in `seen` landed on `full`; those past
      // its end are the late producers that still have to leave it.
      const auto late = static_cast<int64_t>(TailWord::index(seen) - kSegmentSlots);
      dropHolders(full, Segment::kUnannounced - late);
      return;
    }
  }
}

// For the producer of the last place, which must fill it whatever happens:
// without memory for a new segment it leaves the linking to late producers.
template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::tryAdvanceTail(Segment* full) noexcept {
  try {
    advanceTail(full);
  } catch (const std::bad_alloc&) {
  }
}

template <typename T, size_t kSegmentSlots>
auto UnboundedMpscQueue<T, kSegmentSlots>::linkNext(Segment* full) -> Segment* {
  if (Segment* next = full->next.load(std::memory_order_acquire)) {
    return next;
  }
  Segment* fresh = takeSpareOrAllocate();
  Segment* linked = nullptr;
  if (full->next.compare_exchange_strong(linked, fresh, std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
    return fresh;
  }
  keepAsSpareOrFree(fresh);
  return linked;
}

// Removes `count` holders from `segment`; the one that removes the last
// reclaims it.
template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::dropHolders(Segment* segment, int64_t count) noexcept {
  if (segment->holders.fetch_sub(count, std::memory_order_acq_rel) == count) {
    reclaim(segment);
  }
}

template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::reclaim(Segment* segment) noexcept {
  segment->resetForReuse();
  keepAsSpareOrFree(segment);
}

template <typename T, size_t kSegmentSlots>
auto UnboundedMpscQueue<T, kSegmentSlots>::takeSpareOrAllocate() -> Segment* {
  if (Segment* spare = spare_.exchange(nullptr, std::memory_order_acquire)) {
    return spare;
  }
  return allocateSegment();
}

template <typename T, size_t kSegmentSlots>
auto UnboundedMpscQueue<T, kSegmentSlots>::allocateSegment() -> Segment* {
  auto* segment = new Segment;  // the slots' storage stays uninitialised
  if (!TailWord::fits(segment)) {
    delete segment;
    throw std::bad_alloc();
  }
  segmentCount_.fetch_add(1, std::memory_order_relaxed);
  return segment;
}

// `segment` is owned by the caller alone and unlinked.
template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::keepAsSpareOrFree(Segment* segment) noexcept {
  Segment* none = nullptr;
  if (!spare_.compare_exchange_strong(none, segment, std::memory_order_release,
                                      std::memory_order_relaxed)) {
    freeSegment(segment);
  }
}

template <typename T, size_t kSegmentSlots>
void UnboundedMpscQueue<T, kSegmentSlots>::freeSegment(Segment* segment) noexcept {
  delete segment;
  segmentCount_.fetch_sub(1, std::memory_order_relaxed);
}

// Whether a producer has claimed place `index` of `segment`, by a reading of
// the position: the position has left the segment, or counts past `index`.
template <typename T, size_t kSegmentSlots>
bool UnboundedMpscQueue<T, kSegmentSlots>::placeClaimed(const Segment* segment, size_t index,
                                                        uint64_t tailWord) const {
  return TailWord::segment<Segment>(tailWord) != segment || TailWord::index(tailWord) > index;
}

// The consumer's view of the position, read afresh unless the queue is closed
// (then the position as close found it stays the view).
template <typename T, size_t kSegmentSlots>
uint64_t UnboundedMpscQueue<T, kSegmentSlots>::refreshedTail() {
  if (!closedByConsumer_) {
    knownTail_ = tail_.load(std::memory_order_acquire);
  }
  return knownTail_;
}

// Moves past the fully taken head segment once the position has left it, which
// an item already filled in the next segment shows without reading the shared
// position. False while the position is still in it.
template <typename T, size_t kSegmentSlots>
bool UnboundedMpscQueue<T, kSegmentSlots>::leaveTakenSegment() {
  Segment* next = head_->next.load(std::memory_order_acquire);
  if (next == nullptr) {
    return false;  // the next segment is linked before the position moves
  }
  if (!next->slots[0].ready.load(std::memory_order_acquire) &&
      TailWord::segment<Segment>(knownTail_) == head_ &&
      TailWord::segment<Segment>(refreshedTail()) == head_) {
    return false;
  }
  Segment* taken = head_;
  head_ = next;
  headIndex_ = 0;
  // The view must not fall behind the head: the position is at least here.
  if (!closedByConsumer_ && TailWord::segment<Segment>(knownTail_) == taken) {
    knownTail_ = TailWord::make(next, 0);
  }
  dropHolders(taken, 1);
  return true;
}

// True once the head place holds an item, after waiting for it when a producer
// has claimed the place but not yet filled it; false when no producer has
// claimed it. A filled place needs no look at the shared position.
template <typename T, size_t kSegmentSlots>
bool UnboundedMpscQueue<T, kSegmentSlots>::reachHeadItem() {
  if (headIndex_ == kSegmentSlots && !leaveTakenSegment()) {
    return false;
  }
  internal::MpscSlot<T>& slot = head_->slots[headIndex_];
  if (slot.ready.load(std::memory_order_acquire)) {
    return true;
  }
  if (!placeClaimed(head_, headIndex_, knownTail_) &&
      !placeClaimed(head_, headIndex_, refreshedTail())) {
    return false;
  }
  internal::spinThenYieldUntil([&slot] { return slot.ready.load(std::memory_order_acquire); });
  return true;
}

template <typename T, size_t kSegmentSlots>
template <typename Consume>
bool UnboundedMpscQueue<T, kSegmentSlots>::consumeHead(Consume& consume) {
  if (!reachHeadItem()) {
    return false;
  }
  DestroyOnExit destroy{head_->slots[headIndex_++].item()};
  consume(std::move(*destroy.item));
  return true;
}

template <typename T, size_t kSegmentSlots>
std::optional<T> UnboundedMpscQueue<T, kSegmentSlots>::pop() {
  std::optional<T> head;
  auto take = [&head](T&& item) { head.emplace(std::move(item)); };
  consumeHead(take);
  return head;
}

template <typename T, size_t kSegmentSlots>
template <typename Consume>
size_t UnboundedMpscQueue<T, kSegmentSlots>::drain(Consume&& consume) {
  size_t count = 0;
  while (consumeHead(consume)) {
    ++count;
  }
  return count;
}

template <typename T, size_t kSegmentSlots>
bool UnboundedMpscQueue<T, kSegmentSlots>::empty() const {
  const uint64_t word = closedByConsumer_ ? knownTail_ : tail_.load(std::memory_order_acquire);
  if (headIndex_ < kSegmentSlots) {
    return !placeClaimed(head_, headIndex_, word);
  }
  return TailWord::segment<Segment>(word) == head_ ||
         !placeClaimed(head_->next.load(std::memory_order_acquire), 0, word);
}

template <typename T, size_t kSegmentSlots>
size_t UnboundedMpscQueue<T, kSegmentSlots>::close() {
  if (closedByConsumer_) {
    return 0;
  }
  closedByConsumer_ = true;
  knownTail_ = tail_.fetch_or(TailWord::kClosedBit, std::memory_order_acq_rel);
  auto discard = [](T&&) {};
  return drain(discard);
}

template <typename T, size_t kSegmentSlots>
bool UnboundedMpscQueue<T, kSegmentSlots>::closed() const noexcept {
  return TailWord::closed(tail_.load(std::memory_order_relaxed));
}

}  // namespace quorvane
