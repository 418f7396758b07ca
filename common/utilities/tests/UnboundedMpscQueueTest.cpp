#include "common/utilities/UnboundedMpscQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quorvane {
namespace {

// Segments of four places put a boundary every few items.
constexpr size_t kSmall = 4;

enum Fate { kPending, kRan, kDestroyedUnrun };

// What became of each item, by id, and how many items are alive.
struct Ledger {
  explicit Ledger(size_t items) : fates(items) {}
  size_t count(Fate fate) const {
    return std::count_if(fates.begin(), fates.end(), [fate](auto& f) { return f == fate; });
  }
  // Every item ran or was destroyed unrun, exactly once, and none is alive.
  bool allSettledOnce() const { return count(kPending) == 0 && settledTwice == 0 && alive == 0; }

  std::vector<std::atomic<int>> fates;
  std::atomic<int> settledTwice{0}, alive{0};
};

// A move-only item with a non-trivial destructor, which settles the item as
// kDestroyedUnrun unless it ran.
class Item {
 public:
  struct Record {
    Ledger* ledger;
    size_t id, producer, seq;
    bool ran = false;
  };
  Item(Ledger* ledger, size_t id, size_t producer = 0, size_t seq = 0)
      : record_(new Record{ledger, id, producer, seq}) {
    ++ledger->alive;
  }
  Item(Item&&) noexcept = default;
  ~Item() {
    if (record_) {
      if (!record_->ran) {
        settle(kDestroyedUnrun);
      }
      --record_->ledger->alive;
    }
  }
  void run() {
    record_->ran = true;
    settle(kRan);
  }
  const Record* operator->() const { return record_.get(); }
  bool owned() const { return record_ != nullptr; }

 private:
  void settle(Fate fate) {
    record_->ledger->settledTwice += record_->ledger->fates[record_->id].exchange(fate) != kPending;
  }
  std::unique_ptr<Record> record_;
};

const auto runItem = [](Item&& item) { item.run(); };

// Starts `producers` threads that each push `perProducer` items (ids
// producer * perProducer + seq); `afterPush(accepted)` runs after each push.
template <typename Queue, typename AfterPush>
std::vector<std::thread> startProducers(Queue& queue, Ledger& ledger, size_t producers,
                                        size_t perProducer, AfterPush afterPush) {
  std::vector<std::thread> threads;
  for (size_t p = 0; p < producers; ++p) {
    threads.emplace_back([&queue, &ledger, p, perProducer, afterPush]() mutable {
      for (uint64_t seq = 0; seq < perProducer; ++seq) {
        afterPush(queue.push(Item(&ledger, p * perProducer + seq, p, seq)));
      }
    });
  }
  return threads;
}

void joinAll(std::vector<std::thread>& threads) {
  for (auto& thread : threads) {
    thread.join();
  }
}

TEST(UnboundedMpscQueueTest, EmptyQueuePopsNothingAndItemsLeaveInPushOrderAcrossSegments) {
  constexpr size_t kItems = 7 * kSmall + 1;
  Ledger ledger(kItems);
  UnboundedMpscQueue<Item, kSmall> queue;
  EXPECT_TRUE(queue.empty());
  EXPECT_FALSE(queue.pop());
  EXPECT_EQ(queue.drain(runItem), 0u);

  size_t next = 0;
  auto popInOrder = [&] {
    std::optional<Item> item = queue.pop();
    ASSERT_TRUE(item);
    EXPECT_EQ((*item)->id, next++);
    item->run();
  };
  for (size_t id = 0; id < kItems; ++id) {
    EXPECT_TRUE(queue.push(Item(&ledger, id)));
    if (id % 3 == 2) {  // pops trail pushes, crossing boundaries on both sides
      popInOrder();
      popInOrder();
    }
  }
  while (!queue.empty()) {
    popInOrder();
  }
  EXPECT_EQ(next, kItems);
  EXPECT_FALSE(queue.pop());
  EXPECT_TRUE(ledger.allSettledOnce());
  EXPECT_EQ(ledger.count(kRan), kItems);
  EXPECT_LE(queue.segmentCount(), 2u);  // the head segment and a spare
}

TEST(UnboundedMpscQueueTest, ItemsPushedDuringADrainLeaveInTheSameDrain) {
  UnboundedMpscQueue<std::unique_ptr<int>, kSmall> queue;
  constexpr int kDepth = 5 * kSmall;
  EXPECT_TRUE(queue.push(std::make_unique<int>(0)));
  size_t drained = queue.drain([&queue](std::unique_ptr<int>&& depth) {
    if (*depth < kDepth) {
      EXPECT_TRUE(queue.push(std::make_unique<int>(*depth + 1)));
    }
  });
  EXPECT_EQ(drained, kDepth + 1u);
  EXPECT_TRUE(queue.empty());
}

// Producers push while this thread drains: every item leaves exactly once,
// each producer's items in the order it pushed them, and a push that was
// signalled before a drain started is found by that drain.
template <size_t kSlots>
void checkProducersAgainstDrains(size_t producers, size_t perProducer) {
  SCOPED_TRACE(testing::Message() << kSlots << " places per segment");
  Ledger ledger(producers * perProducer);
  UnboundedMpscQueue<Item, kSlots> queue;
  std::atomic<size_t> signalled{0};
  auto threads = startProducers(queue, ledger, producers, perProducer, [&](bool accepted) {
    EXPECT_TRUE(accepted);
    signalled.fetch_add(1, std::memory_order_release);
  });
  std::vector<size_t> nextSeq(producers, 0);
  size_t outOfOrder = 0;
  for (size_t drained = 0; drained < producers * perProducer;) {
    const size_t before = signalled.load(std::memory_order_acquire);
    drained += queue.drain([&](Item&& item) {
      outOfOrder += item->seq != nextSeq[item->producer]++;
      item.run();
    });
    ASSERT_GE(drained, before);
    std::this_thread::yield();
  }
  joinAll(threads);
  EXPECT_EQ(outOfOrder, 0u);
  EXPECT_TRUE(queue.empty());
  EXPECT_TRUE(ledger.allSettledOnce());
  EXPECT_EQ(ledger.count(kRan), producers * perProducer);
}

TEST(UnboundedMpscQueueTest, EightProducersItemsLeaveOnceEachInOrderAndAfterTheirSignal) {
  checkProducersAgainstDrains<kSmall>(8, 20000);
  checkProducersAgainstDrains<256>(8, 20000);
}

// Its move constructor waits for the gate: the producer stays between
// claiming its place and filling it until the gate opens.
struct Gated {
  explicit Gated(std::atomic<bool>* gate) : gate(gate) {}
  Gated(Gated&& other) noexcept : gate(other.gate) {
    internal::spinThenYieldUntil([this] { return gate->load(); });
  }
  std::atomic<bool>* gate;
};

TEST(UnboundedMpscQueueTest, APlaceClaimedButNotYetFilledIsWaitedFor) {
  UnboundedMpscQueue<Gated> queue;
  std::atomic<bool> gate{false};
  std::thread producer([&] { EXPECT_TRUE(queue.push(Gated(&gate))); });
  internal::spinThenYieldUntil([&] { return !queue.empty(); });
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gate = true;
  });
  EXPECT_TRUE(queue.pop());  // waits for the producer instead of finding nothing
  producer.join();
  opener.join();
}

TEST(UnboundedMpscQueueTest, CloseDestroysQueuedItemsUnrunAndRefusesLaterPushes) {
  Ledger ledger(12);
  {
    UnboundedMpscQueue<Item, kSmall> queue;
    for (size_t id = 0; id < 10; ++id) {
      EXPECT_TRUE(queue.push(Item(&ledger, id)));
    }
    for (int i = 0; i < 3; ++i) {
      queue.pop()->run();
    }
    EXPECT_EQ(queue.close(), 7u);
    EXPECT_TRUE(queue.closed());
    EXPECT_EQ(ledger.count(kDestroyedUnrun), 7u);

    Item late(&ledger, 10);
    EXPECT_FALSE(queue.push(std::move(late)));
    EXPECT_TRUE(late.owned());  // still the caller's, destroyed on its thread
    EXPECT_TRUE(queue.empty());
    EXPECT_FALSE(queue.pop());
    EXPECT_EQ(queue.drain(runItem), 0u);
    EXPECT_EQ(queue.close(), 0u);
  }
  {
    UnboundedMpscQueue<Item, kSmall> queue;  // destroyed with an item queued
    EXPECT_TRUE(queue.push(Item(&ledger, 11)));
    EXPECT_FALSE(queue.closed());
  }
  EXPECT_EQ(ledger.count(kRan), 3u);
  EXPECT_EQ(ledger.count(kDestroyedUnrun), 9u);
  EXPECT_TRUE(ledger.allSettledOnce());
}

TEST(UnboundedMpscQueueTest, PushesRacingWithCloseAreEachRunOrDestroyedExactlyOnce) {
  constexpr size_t kProducers = 8, kPerProducer = 2000, kRounds = 12;
  constexpr size_t kTotal = kProducers * kPerProducer;
  for (size_t round = 0; round < kRounds; ++round) {
    Ledger ledger(kTotal);
    std::atomic<int> acceptedAfterRefusal{0};
    auto queue = std::make_unique<UnboundedMpscQueue<Item, kSmall>>();
    // Once refused, a producer is refused for good. Producers yield now and
    // then, so that close lands among them.
    auto afterPush = [&, refused = false, pushes = 0](bool accepted) mutable {
      acceptedAfterRefusal += refused && accepted;
      refused = refused || !accepted;
      if (++pushes % 16 == 0) {
        std::this_thread::yield();
      }
    };
    auto threads = startProducers(*queue, ledger, kProducers, kPerProducer, afterPush);
    // Close at a different point of the run each round.
    const size_t closeAfter = kTotal * round / kRounds;
    for (size_t ran = 0; ran < closeAfter;) {
      if (std::optional<Item> item = queue->pop()) {
        item->run();
        ++ran;
      }
    }
    queue->close();
    joinAll(threads);
    queue.reset();
    EXPECT_EQ(acceptedAfterRefusal, 0) << "round " << round;
    EXPECT_TRUE(ledger.allSettledOnce()) << "round " << round;
  }
}

TEST(UnboundedMpscQueueTest, SegmentsAreReusedOrFreedAsASlowConsumerCatchesUp) {
  constexpr size_t kSlots = 8, kProducers = 4, kBurst = 1000, kRounds = 30;
  UnboundedMpscQueue<Item, kSlots> queue;
  EXPECT_EQ(queue.segmentCount(), 1u);
  for (size_t round = 0; round < kRounds; ++round) {
    Ledger ledger(kProducers * kBurst);
    auto threads = startProducers(queue, ledger, kProducers, kBurst, [](bool) {});
    joinAll(threads);
    // The backlog's segments, the one the position moved to, and a spare.
    EXPECT_LE(queue.segmentCount(), kProducers * kBurst / kSlots + 2);
    EXPECT_EQ(queue.drain(runItem), kProducers * kBurst);
    EXPECT_LE(queue.segmentCount(), 2u) << "round " << round;
    EXPECT_TRUE(ledger.allSettledOnce());
  }
}

TEST(UnboundedMpscQueueTest, AnItemWhoseConsumerThrowsIsDestroyedAndTheQueueGoesOn) {
  Ledger ledger(2);
  UnboundedMpscQueue<Item, kSmall> queue;
  EXPECT_TRUE(queue.push(Item(&ledger, 0)));
  EXPECT_TRUE(queue.push(Item(&ledger, 1)));
  EXPECT_THROW(queue.drain([](Item&&) { throw std::runtime_error("consumer failed"); }),
               std::runtime_error);
  EXPECT_EQ(ledger.count(kDestroyedUnrun), 1u);
  EXPECT_EQ((*queue.pop())->id, 1u);
  EXPECT_TRUE(ledger.allSettledOnce());
}

}  // namespace
}  // namespace quorvane
