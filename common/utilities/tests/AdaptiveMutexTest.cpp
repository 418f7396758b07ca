#include "common/utilities/AdaptiveMutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane {
namespace {

using std::chrono::milliseconds;

TEST(AdaptiveMutexTest, ExcludesEveryOtherThreadWhetherItSpinsOrSleeps) {
  AdaptiveMutex mutex;
  int counter = 0;  // plain: only the mutex orders the increments
  constexpr int kThreads = 4;
  constexpr int kRounds = 20'000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        std::unique_lock<AdaptiveMutex> lock(mutex);
        ++counter;
        if ((i + t) % 4096 == 0) {
          // Held long enough that the others stop spinning and sleep.
          std::this_thread::sleep_for(milliseconds(1));
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(counter, kThreads * kRounds);
  EXPECT_TRUE(mutex.try_lock());
  EXPECT_FALSE(mutex.try_lock());
  mutex.unlock();
}

TEST(AdaptiveMutexTest, AnUnlockWakesASleeperAndConditionVariablesWaitOnIt) {
  AdaptiveMutex mutex;
  std::condition_variable_any changed;
  bool waiting = false;
  bool ready = false;
  mutex.lock();
  auto waiter = std::async(std::launch::async, [&] {
    std::unique_lock<AdaptiveMutex> lock(mutex);  // asleep until the unlock below
    waiting = true;
    changed.wait(lock, [&] { return ready; });
  });
  std::this_thread::sleep_for(milliseconds(20));  // far longer than the spinning
  mutex.unlock();
  // Once `waiting` is seen under the lock, the waiter has let go of the lock
  // inside its wait.
  while (true) {
    std::lock_guard<AdaptiveMutex> lock(mutex);
    if (waiting) {
      ready = true;
      break;
    }
  }
  changed.notify_all();
  EXPECT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace quorvane
