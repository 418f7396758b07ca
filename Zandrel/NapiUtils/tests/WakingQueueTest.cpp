// The environment's work queue without the host: producers on many threads,
// the consumer's drains, the wake-up after publishing, closing while
// producers still push, and the work callables the queue carries.

#include "Zandrel/NapiUtils/src/internal/WakingQueue.h"

#include "Zandrel/NapiUtils/src/internal/UniqueFunction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using quorvane::kestro::napi::internal::UniqueFunction;
using quorvane::kestro::napi::internal::WakingQueue;

std::atomic<int> liveItems{0};

// A move-only item that counts the live ones.
struct Item {
  int producer = 0;
  int sequence = 0;
  bool owned = true;
  Item(int p, int s) : producer(p), sequence(s) { liveItems.fetch_add(1); }
  Item(Item&& other) noexcept : producer(other.producer), sequence(other.sequence) {
    other.owned = false;
  }
  ~Item() {
    if (owned) {
      liveItems.fetch_sub(1);
    }
  }
};

// The consumer's side of the wake-up: a counted signal it can wait for.
class Signal {
 public:
  static void wake(void* self) { static_cast<Signal*>(self)->raise(); }
  void raise() {
    std::lock_guard lock(mutex_);
    ++raised_;
    if (closed_) {
      ++afterClose_;
    }
    changed_.notify_all();
  }
  // Waits until raised more often than `seen`; returns the new count.
  int waitBeyond(int seen) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return raised_ > seen; });
    return raised_;
  }
  int count() {
    std::lock_guard lock(mutex_);
    return raised_;
  }
  void markClosed() {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  int afterClose() {
    std::lock_guard lock(mutex_);
    return afterClose_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int raised_ = 0;
  int afterClose_ = 0;
  bool closed_ = false;
};

class WakingQueueTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(liveItems.load(), 0); }
};

TEST_F(WakingQueueTest, ItemsFromEightThreadsRunOnceInEachProducersOrder) {
  constexpr int kProducers = 8;
  constexpr int kPerProducer = 5000;
  Signal signal;
  {
    WakingQueue<Item> queue(&Signal::wake, &signal);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
      producers.emplace_back([&queue, p] {
        for (int s = 0; s < kPerProducer; ++s) {
          ASSERT_TRUE(queue.push(Item(p, s)));
        }
      });
    }
    std::vector<int> next(kProducers, 0);
    int consumed = 0;
    int drains = 0;
    for (int seen = 0; consumed < kProducers * kPerProducer;) {
      seen = signal.waitBeyond(seen);
      queue.wakeUpReceived();
      drains += queue.drain([&](Item&& item) {
        EXPECT_EQ(item.sequence, next[item.producer]++);
        ++consumed;
      }) != 0;
    }
    for (std::thread& t : producers) {
      t.join();
    }
    EXPECT_EQ(consumed, kProducers * kPerProducer);
    EXPECT_LT(drains, consumed);  // several items per drain
    EXPECT_TRUE(queue.empty());
  }
}

// A lost wake-up (one signalled before the item was published, or skipped
// while none was pending) leaves this test waiting for good.
TEST_F(WakingQueueTest, AWakeUpFindsThePushedItemAndItemsPushedWhileDrainingRunInTheSameDrain) {
  Signal signal;
  WakingQueue<Item> queue(&Signal::wake, &signal);
  constexpr int kRounds = 2000;
  std::atomic<int> acknowledged{0};
  std::thread producer([&] {
    for (int round = 0; round < kRounds; ++round) {
      ASSERT_TRUE(queue.push(Item(0, round)));
      while (acknowledged.load() == round) {
        std::this_thread::yield();
      }
    }
  });
  for (int round = 0, seen = 0; round < kRounds;) {
    seen = signal.waitBeyond(seen);
    queue.wakeUpReceived();
    bool producersItemRan = false;
    queue.drain([&](Item&& item) {
      EXPECT_EQ(item.sequence, round);
      if (item.producer == 0) {  // schedules a follow-up
        producersItemRan = true;
        EXPECT_TRUE(queue.push(Item(1, item.sequence)));
      } else {
        EXPECT_TRUE(producersItemRan) << "the follow-up of round " << round << " ran later";
        acknowledged.store(++round);
      }
    });
  }
  producer.join();
}

TEST_F(WakingQueueTest, CloseRefusesLaterPushesDropsQueuedItemsAndStopsWakeUps) {
  Signal signal;
  std::atomic<int> refused{0};
  std::atomic<bool> stop{false};
  {
    WakingQueue<Item> queue(&Signal::wake, &signal);
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
      producers.emplace_back([&, p] {
        for (int s = 0; !stop.load(); ++s) {
          refused += queue.push(Item(p, s)) ? 0 : 1;
          queue.wake();
        }
      });
    }
    signal.waitBeyond(0);
    EXPECT_GT(queue.close(), 0u);  // with items queued and producers pushing
    signal.markClosed();
    EXPECT_TRUE(queue.closed());
    EXPECT_FALSE(queue.push(Item(9, 0)));
    while (refused.load() < 100) {  // producers keep pushing and waking
      std::this_thread::yield();
    }
    stop = true;
    for (std::thread& t : producers) {
      t.join();
    }
    EXPECT_EQ(queue.drain([](Item&&) { ADD_FAILURE() << "ran after close"; }), 0u);
  }
  EXPECT_EQ(signal.afterClose(), 0);
}

// Work callables small enough to live inside the item and larger ones are
// both called, moved and destroyed exactly once.
TEST_F(WakingQueueTest, WorkCallablesOfAnySizeRunAndDieOnce) {
  using Work = UniqueFunction<int(int)>;
  struct Large {
    Item item{0, 0};
    char padding[Work::kInlineSize] = {};
  };
  int calls = 0;
  std::vector<Work> works;
  works.emplace_back([&calls, item = Item(0, 1)](int x) { return ++calls, x + item.sequence; });
  works.emplace_back(
      [&calls, large = Large{}](int x) { return ++calls, x + 2 + large.padding[0]; });
  EXPECT_EQ(liveItems.load(), 2);
  Work moved = std::move(works[1]);
  works[1] = std::move(works[0]);
  EXPECT_FALSE(works[0]);
  EXPECT_EQ(works[1](10), 11);
  EXPECT_EQ(moved(10), 12);
  EXPECT_EQ(calls, 2);
  works.clear();
  EXPECT_EQ(liveItems.load(), 1);
}

}  // namespace
