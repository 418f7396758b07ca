#include "bench/CoreImageBench.h"

#include "bench/BenchStatements.h"
#include "common/logging/Log.h"

void coreBenchInfo(int64_t i) { quorvane::bench::infoStatement(i); }

void coreBenchSixteenDisabled(uint64_t i) { quorvane::bench::sixteenDisabledStatements(i); }

void coreBenchBurst(int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    KLOGF(INFO, "message {} of the benchmark run, with a second argument {}", i, i * 7);
  }
}
