// Hand-off of work items from producer threads to one consumer thread: the
// UnboundedMpscQueue beside a std::deque behind a mutex (the consumer swaps the
// whole deque out under the lock and runs the items outside it, the better
// of the two usual ways to drain one).
//
// Each iteration starts 1, 2 or 4 producers that push kItemsPerProducer
// move-only callables as fast as they can while the benchmark's thread drains
// and runs them; the time runs from the start signal until the last item has
// run. Reported: items per second through the hand-off, and the CPU time of
// all threads together per item (what the hand-off costs the machine, which
// the wall-clock rate hides when the cores are shared).
//
// BM_PushThenDrain: one thread pushes a batch and drains it, so the cost of
// a push and of a pop without any contention.

#include <benchmark/benchmark.h>

#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "common/utilities/UnboundedMpscQueue.h"

namespace {

using namespace quorvane;

constexpr uint64_t kItemsPerProducer = 1 << 18;

// A move-only callable of the size of a small work item.
class WorkItem {
 public:
  using Function = void (*)(uint64_t& total, uint64_t value);
  WorkItem(Function function, uint64_t value) : function_(function), value_(value) {}
  WorkItem(WorkItem&& other) noexcept = default;
  WorkItem& operator=(WorkItem&& other) noexcept = default;
  WorkItem(const WorkItem&) = delete;
  WorkItem& operator=(const WorkItem&) = delete;

  void operator()(uint64_t& total) { function_(total, value_); }

 private:
  Function function_;
  uint64_t value_;
  uint64_t context_[2] = {};  // the room a real item's captures take
};

void addValue(uint64_t& total, uint64_t value) { total += value; }

class QueueChannel {
 public:
  void push(WorkItem&& item) { (void)queue_.push(std::move(item)); }
  template <typename Run>
  uint64_t drain(Run&& run) {
    return queue_.drain(run);
  }

 private:
  UnboundedMpscQueue<WorkItem> queue_;
};

class MutexDequeChannel {
 public:
  void push(WorkItem&& item) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
  }
  template <typename Run>
  uint64_t drain(Run&& run) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      taken_.swap(items_);
    }
    const uint64_t count = taken_.size();
    for (WorkItem& item : taken_) {
      run(std::move(item));
    }
    taken_.clear();
    return count;
  }

 private:
  std::mutex mutex_;
  std::deque<WorkItem> items_;
  std::deque<WorkItem> taken_;  // consumer only
};

// CPU time used so far by all threads of the process, in seconds.
double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Channel>
void BM_HandOff(benchmark::State& state) {
  const auto producers = static_cast<uint64_t>(state.range(0));
  const uint64_t items = producers * kItemsPerProducer;
  uint64_t total = 0;
  double cpuSeconds = 0;
  auto run = [&total](WorkItem&& item) { item(total); };
  for (auto _ : state) {
    Channel channel;
    std::atomic<bool> start{false};
    std::vector<std::thread> threads;
    for (uint64_t p = 0; p < producers; ++p) {
      threads.emplace_back([&channel, &start] {
        while (!start.load(std::memory_order_acquire)) {
          std::this_thread::yield();
        }
        for (uint64_t i = 0; i < kItemsPerProducer; ++i) {
          channel.push(WorkItem(&addValue, i));
        }
      });
    }
    const double cpuBegin = processCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    start.store(true, std::memory_order_release);
    for (uint64_t ran = 0; ran < items;) {
      const uint64_t drained = channel.drain(run);
      ran += drained;
      if (drained == 0) {
        std::this_thread::yield();
      }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    state.SetIterationTime(elapsed.count());
    cpuSeconds += processCpuSeconds() - cpuBegin;
    for (auto& thread : threads) {
      thread.join();
    }
  }
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items));
  state.counters["cpu_ns_per_item"] =
      cpuSeconds * 1e9 / static_cast<double>(state.iterations() * items);
}
BENCHMARK_TEMPLATE(BM_HandOff, QueueChannel)->Arg(1)->Arg(2)->Arg(4)->UseManualTime();
BENCHMARK_TEMPLATE(BM_HandOff, MutexDequeChannel)->Arg(1)->Arg(2)->Arg(4)->UseManualTime();

template <typename Channel>
void BM_PushThenDrain(benchmark::State& state) {
  constexpr uint64_t kBatch = 1024;
  Channel channel;
  uint64_t total = 0;
  auto run = [&total](WorkItem&& item) { item(total); };
  for (auto _ : state) {
    for (uint64_t i = 0; i < kBatch; ++i) {
      channel.push(WorkItem(&addValue, i));
    }
    channel.drain(run);
  }
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK_TEMPLATE(BM_PushThenDrain, QueueChannel);
BENCHMARK_TEMPLATE(BM_PushThenDrain, MutexDequeChannel);

}  // namespace

BENCHMARK_MAIN();
