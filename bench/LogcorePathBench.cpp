// The whole path of an enabled INFO message on the main channel, measured on
// the logging thread: a per-file log statement, the category tree,
// StandardLogHandler, KestroStyleFormatter and the rotating writer's queue, as
// set up by initLogging (5 MB files). Also the sustained rate at which lines
// reach the disk, from the first call until flushLogs returns.
//
// Beside it, the same statement made in a module as an addon is (its own
// framework copy and the logging client, loaded with dlopen): the module's
// level check and category tree, the forwarding handler, and the core's
// handleMessage, which routes the message by name into the same channel.
//
// The core's statements run inside a shared object that carries the core as
// liblogcore.so does (CoreImageBench.h); the module's calls into the core bind
// to that object's functions, since the program links it.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/CoreImageBench.h"
#include "bench/ForwardingBenchModule.h"
#include "kestro/logcore.h"

namespace {

namespace core = quorvane::kestro::logging;

struct Module {
  decltype(&forwardingBenchInfo) info = nullptr;
  decltype(&forwardingBenchSixteenDisabled) sixteenDisabled = nullptr;
  decltype(&forwardingBenchSyncTracing) syncTracing = nullptr;
};

template <typename Function>
Function moduleFunction(void* handle, const char* name) {
  auto function = reinterpret_cast<Function>(::dlsym(handle, name));
  if (function == nullptr) {
    std::fprintf(stderr, "%s not found in %s\n", name, FORWARDING_BENCH_MODULE);
    std::abort();
  }
  return function;
}

Module loadModule() {
  void* handle = ::dlopen(FORWARDING_BENCH_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "dlopen failed: %s\n", ::dlerror());
    std::abort();
  }
  Module m;
  m.info = moduleFunction<decltype(m.info)>(handle, "forwardingBenchInfo");
  m.sixteenDisabled =
      moduleFunction<decltype(m.sixteenDisabled)>(handle, "forwardingBenchSixteenDisabled");
  m.syncTracing = moduleFunction<decltype(m.syncTracing)>(handle, "forwardingBenchSyncTracing");
  return m;
}

struct Setting {
  std::string logDirectory;
  Module module;
};

// The core initialised (tracing off) into a new directory, and the module
// loaded.
const Setting& setting() {
  static const Setting s = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestro-bench-XXXXXX").string();
    std::string made = ::mkdtemp(pattern.data());
    core::initLogging(made, "bench", "1", false);
    return Setting{made, loadModule()};
  }();
  return s;
}

void BM_EnabledInfoOnTheMainChannel(benchmark::State& state) {
  setting();
  int64_t i = 0;
  for (auto _ : state) {
    coreBenchInfo(i++);
  }
  if (state.thread_index() == 0) {
    core::flushLogs();
  }
}
BENCHMARK(BM_EnabledInfoOnTheMainChannel)->ThreadRange(1, 2)->UseRealTime();

// The same statement in the module, forwarded into the core.
void BM_ForwardedInfoOnTheMainChannel(benchmark::State& state) {
  const Module& module = setting().module;
  int64_t i = 0;
  for (auto _ : state) {
    module.info(i++);
  }
  if (state.thread_index() == 0) {
    core::flushLogs();
  }
}
BENCHMARK(BM_ForwardedInfoOnTheMainChannel)->ThreadRange(1, 2)->UseRealTime();

// Statements below the level: in the core, and in the module below the level
// it copied from the core. Items are statements.
void BM_DisabledStatement(benchmark::State& state) {
  setting();
  uint64_t i = 0;
  for (auto _ : state) {
    coreBenchSixteenDisabled(i++);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_DisabledStatement);

void BM_ForwardedDisabledStatement(benchmark::State& state) {
  const Module& module = setting().module;
  uint64_t i = 0;
  for (auto _ : state) {
    module.sixteenDisabled(i++);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_ForwardedDisabledStatement);

// A SyncTracing scope in the module with tracing off: the name built and
// moved, and the level check at each end.
void BM_SyncTracingOff(benchmark::State& state) {
  const Module& module = setting().module;
  for (auto _ : state) {
    module.syncTracing();
  }
}
BENCHMARK(BM_SyncTracingOff);

// Lines per second on disk: log a burst, then wait for flushLogs.
void BM_SustainedLinesToDisk(benchmark::State& state) {
  setting();
  constexpr int64_t kBurst = 100'000;
  for (auto _ : state) {
    coreBenchBurst(kBurst);
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
  std::filesystem::remove_all(setting().logDirectory);
  return 0;
}
