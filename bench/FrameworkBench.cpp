// The cost of the framework's hot paths on the logging thread: disabled
// statements and level checks, and dispatching an enabled message.

#include <benchmark/benchmark.h>

#include <memory>

#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

namespace {

using namespace quorvane;

class NoopHandler : public LogHandler {
 public:
  void handleMessage(const LogMessage& message, const LogCategory*) override {
    benchmark::DoNotOptimize(&message);
  }
  void flush() override {}
  LogHandlerConfig getConfig() const override { return LogHandlerConfig{"noop"}; }
};

// Eight disabled statements per iteration, in a function of their own that
// also holds enabled-looking code around them, as real code does; the time
// per statement is the iteration time / 8 (items_per_second counts
// statements).
__attribute__((noinline)) void eightDisabledStatements(int value) {
  KLOG(DBG) << "never formatted " << value;
  KLOGF(DBG, "never formatted {}", value + 1);
  KLOG(DBG1) << "never formatted " << value + 2;
  KLOGF(DBG, "never formatted {}", value + 3);
  KLOG(DBG) << "never formatted " << value + 4;
  KLOGF(DBG2, "never formatted {}", value + 5);
  KLOG(DBG) << "never formatted " << value + 6;
  KLOGF(DBG, "never formatted {}", value + 7);
}

void BM_DisabledStatement(benchmark::State& state) {
  int value = 0;
  for (auto _ : state) {
    eightDisabledStatements(value++);
  }
  state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_DisabledStatement);

void BM_DisabledIsEnabledCheck(benchmark::State& state) {
  LogCategory* category = LoggerDB::get().categoryFor("bench.disabled");
  for (auto _ : state) {
    benchmark::DoNotOptimize(category->isEnabled(LogLevel::DBG));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DisabledIsEnabledCheck);

void BM_DispatchToOneNoopHandler(benchmark::State& state) {
  static LoggerDB db;
  LogCategory* category = db.categoryFor("bench.enabled");
  category->setHandlers({std::make_shared<NoopHandler>()});
  category->setPropagationLevel(LogLevel::MAX_LEVEL);  // stop at this category
  for (auto _ : state) {
    LogMessage message(category, LogLevel::INFO, "bench.cpp", 1, "", std::string("message"));
    category->dispatchMessage(message);
  }
}
BENCHMARK(BM_DispatchToOneNoopHandler)->ThreadRange(1, 2)->UseRealTime();

void BM_DispatchOnlyToOneNoopHandler(benchmark::State& state) {
  static LoggerDB db;
  LogCategory* category = db.categoryFor("bench.enabled");
  category->setHandlers({std::make_shared<NoopHandler>()});
  category->setPropagationLevel(LogLevel::MAX_LEVEL);
  LogMessage message(category, LogLevel::INFO, "bench.cpp", 1, "", std::string("message"));
  for (auto _ : state) {
    category->dispatchMessage(message);
  }
}
BENCHMARK(BM_DispatchOnlyToOneNoopHandler)->ThreadRange(1, 2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
