// The environment's work queue without the host: producers on many threads,
// the consumer's drains, the wake-up after publishing, and closing while
// producers still push.

#include "Zandrel/NapiUtils/src/internal/WakingQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

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
  for (int round = 0, seen = 0; round < kRounds; ++round) {
    seen = signal.waitBeyond(seen);
    int ran = 0;
    const size_t count = queue.drain([&](Item&& item) {
      ++ran;
      if (item.producer == 0) {  // the producer's item schedules one more
        EXPECT_TRUE(queue.push(Item(1, item.sequence)));
      }
    });
    EXPECT_EQ(count, 2u) << "round " << round;
    EXPECT_EQ(ran, 2);
    seen = signal.count();  // the inner push's wake-up is not the next round's
    acknowledged.store(round + 1);
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
    signal.waitBeyond(100);
    queue.drain([](Item&&) {});
    queue.close();
    signal.markClosed();
    EXPECT_TRUE(queue.closed());
    EXPECT_FALSE(queue.push(Item(9, 0)));
    while (refused.load() < 100) {
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

}  // namespace
