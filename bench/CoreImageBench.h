#pragma once

// The core library as liblogcore.so is (its exported functions and its own
// framework copy in a shared object) for logcore_path_bench, with statements
// made inside it beside them: the benchmark program links it in place of
// liblogcore.so, so that statements in the core and in a module forwarding to
// it run in the same kind of image.

#include <cstdint>

#define CORE_IMAGE_BENCH_EXPORT extern "C" __attribute__((visibility("default")))

// quorvane::bench::infoStatement, compiled into the core's image.
CORE_IMAGE_BENCH_EXPORT void coreBenchInfo(int64_t i);
// quorvane::bench::sixteenDisabledStatements, compiled into the core's image.
CORE_IMAGE_BENCH_EXPORT void coreBenchSixteenDisabled(uint64_t i);
// `count` INFO statements in a loop, as infoStatement but inlined.
CORE_IMAGE_BENCH_EXPORT void coreBenchBurst(int64_t count);
