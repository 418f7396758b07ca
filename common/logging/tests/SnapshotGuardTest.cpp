#include "common/logging/internal/SnapshotGuard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "common/utilities/testing/ChildProcess.h"

// The fork test's child runs after a fork of a threaded process.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_options() {
  return "die_after_fork=0:report_thread_leaks=0";
}

namespace quorvane::logging::internal {
namespace {

// A snapshot that counts the live ones and poisons itself when deleted, so
// that a read of a deleted snapshot shows (under the sanitizers, also as an
// error of their own).
std::atomic<int> liveSnapshots{0};
constexpr int kAlive = 0x5eed;

struct CountedSnapshot : GuardedSnapshot {
  explicit CountedSnapshot(int v) : value(v) { liveSnapshots.fetch_add(1); }
  ~CountedSnapshot() override {
    state.store(0);
    liveSnapshots.fetch_sub(1);
  }
  std::atomic<int> state{kAlive};
  const int value;
};

class SnapshotGuardTest : public ::testing::Test {
 protected:
  void publish(int value) {
    retireSnapshot(published_.exchange(value < 0 ? nullptr : new CountedSnapshot(value)));
  }
  void TearDown() override {
    publish(-1);
    EXPECT_EQ(liveSnapshots.load(), 0) << "every retired snapshot is deleted";
  }
  std::atomic<CountedSnapshot*> published_{nullptr};
};

TEST_F(SnapshotGuardTest, ARetiredSnapshotLivesUntilItsLastGuardEnds) {
  publish(1);
  std::promise<void> guarding;
  std::promise<void> release;
  std::thread reader([&] {
    SnapshotGuard<CountedSnapshot> outer(published_);
    SnapshotGuard<CountedSnapshot> nested(published_);
    ASSERT_EQ(outer.get(), nested.get());
    guarding.set_value();
    release.get_future().wait();
    EXPECT_EQ(outer.get()->state.load(), kAlive);
    EXPECT_EQ(outer.get()->value, 1);
  });
  guarding.get_future().wait();
  publish(2);
  EXPECT_EQ(liveSnapshots.load(), 2) << "the first is still read";
  release.set_value();
  reader.join();
  EXPECT_EQ(liveSnapshots.load(), 1) << "the reader deleted it when it let go";

  // Nobody reads the second: retiring it deletes it at once.
  publish(-1);
  EXPECT_EQ(liveSnapshots.load(), 0);
  SnapshotGuard<CountedSnapshot> none(published_);
  EXPECT_TRUE(none.guarded());
  EXPECT_EQ(none.get(), nullptr);
}

TEST_F(SnapshotGuardTest, GuardsNestedDeeperThanTheSlotsReadAnotherWay) {
  publish(7);
  std::vector<std::unique_ptr<SnapshotGuard<CountedSnapshot>>> guards;
  for (size_t depth = 0; depth < SnapshotGuardRecord::kSlotsPerThread; ++depth) {
    guards.push_back(std::make_unique<SnapshotGuard<CountedSnapshot>>(published_));
    ASSERT_TRUE(guards.back()->guarded());
    ASSERT_EQ(guards.back()->get()->value, 7);
  }
  {
    SnapshotGuard<CountedSnapshot> beyond(published_);
    EXPECT_FALSE(beyond.guarded());
    EXPECT_EQ(beyond.get(), nullptr);
  }
  guards.pop_back();
  {
    SnapshotGuard<CountedSnapshot> again(published_);
    EXPECT_TRUE(again.guarded()) << "a slot given back is used again";
  }
  while (!guards.empty()) {
    guards.pop_back();  // guards end in the reverse order of their making
  }
}

TEST_F(SnapshotGuardTest, ReadersNeverSeeADeletedSnapshotWhileWritersReplaceIt) {
  publish(0);
  std::atomic<bool> stop{false};
  std::atomic<int> badReads{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed)) {
        SnapshotGuard<CountedSnapshot> guard(published_);
        if (guard.get() != nullptr && guard.get()->state.load() != kAlive) {
          badReads.fetch_add(1);
        }
      }
    });
  }
  std::thread writer([&] {
    for (int round = 1; round <= 20'000; ++round) {
      publish(round % 7 == 0 ? -1 : round);
    }
    stop.store(true);
  });
  writer.join();
  for (auto& reader : readers) {
    reader.join();
  }
  EXPECT_EQ(badReads.load(), 0);
}

TEST_F(SnapshotGuardTest, AForkedChildDeletesWhatThreadsOfTheParentWereReading) {
  KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN();
  publish(1);
  std::promise<void> guarding;
  std::promise<void> release;
  std::thread reader([&] {
    SnapshotGuard<CountedSnapshot> guard(published_);
    guarding.set_value();
    release.get_future().wait();
  });
  guarding.get_future().wait();
  publish(2);  // the first waits for the reader
  const pid_t child = ::fork();
  if (child == 0) {
    // The reader does not exist here; the next guard that ends deletes the
    // snapshot it held.
    const bool waiting = liveSnapshots.load() == 2;
    { SnapshotGuard<CountedSnapshot> guard(published_); }
    ::_exit(waiting && liveSnapshots.load() == 1 ? 0 : 1);
  }
  release.set_value();
  reader.join();
  EXPECT_EQ(test::exitCodeWithin(child, std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace quorvane::logging::internal
