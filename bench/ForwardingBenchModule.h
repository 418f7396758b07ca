#pragma once

// A module as an addon is, for logcore_path_bench: its own framework copy and
// the logging client, so its statements reach the core through the forwarding
// handler. The benchmark loads it with dlopen and finds these with dlsym.

#include <cstdint>

#define FORWARDING_BENCH_EXPORT extern "C" __attribute__((visibility("default")))

// quorvane::bench::infoStatement, compiled into the module.
FORWARDING_BENCH_EXPORT void forwardingBenchInfo(int64_t i);
// quorvane::bench::sixteenDisabledStatements, compiled into the module.
FORWARDING_BENCH_EXPORT void forwardingBenchSixteenDisabled(uint64_t i);
// One SyncTracing scope with a short name (no allocation for it); with
// tracing off, the level check at each end.
FORWARDING_BENCH_EXPORT void forwardingBenchSyncTracing();
