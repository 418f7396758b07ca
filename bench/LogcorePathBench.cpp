// The whole path of an enabled INFO message on the main channel, measured on
// the logging thread: a per-file log statement, the category tree,
// StandardLogHandler, KestroStyleFormatter and the rotating writer's queue, as
// set up by initLogging (5 MB files). Also the sustained rate at which lines
// reach the disk, from the first call until flushLogs returns.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "Logging/Shared/Core/src/KestroLogging.h"
#include "bench/BenchSupport.h"
#include "common/logging/Log.h"

namespace {

namespace core = quorvane::kestro::logging;

// Made on first use; removed at exit, after main has closed the files.
const std::string& logDirectory() {
  static const quorvane::bench::BenchDirectory dir;
  static const bool initialised = [] {
    core::initLogging(dir.path(), "bench", "1", false);
    return true;
  }();
  static_cast<void>(initialised);
  return dir.path();
}

void BM_EnabledInfoOnTheMainChannel(benchmark::State& state) {
  logDirectory();
  int64_t i = 0;
  for (auto _ : state) {
    KLOGF(INFO, "message {} of the benchmark run, with a second argument {}", i, i * 7);
    ++i;
  }
  if (state.thread_index() == 0) {
    core::flushLogs();
  }
}
BENCHMARK(BM_EnabledInfoOnTheMainChannel)->ThreadRange(1, 2)->UseRealTime();

// Lines per second on disk: log a burst, then wait for flushLogs.
void BM_SustainedLinesToDisk(benchmark::State& state) {
  logDirectory();
  constexpr int64_t kBurst = 100'000;
  for (auto _ : state) {
    for (int64_t i = 0; i < kBurst; ++i) {
      KLOGF(INFO, "message {} of the benchmark run, with a second argument {}", i, i * 7);
    }
    core::flushLogs();
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_SustainedLinesToDisk)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  core::deinitLogging();
  return 0;
}
