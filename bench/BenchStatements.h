#pragma once

// Log statements that benchmarks run in more than one program image (a
// program and a module loaded into it): each image compiles the same code and
// keeps its own per-file state for this header, so the statements are the
// same and only the road their messages take differs.
//
// Thread safety: as any log statement.

#include <cstdint>

#include "common/logging/Log.h"

namespace quorvane::bench {

// An enabled INFO statement with two integer arguments and about 60
// characters of text, on the category of this header (at INFO wherever the
// root is: the main channel once initLogging has run).
[[gnu::noinline]] inline void infoStatement(int64_t i) {
  KLOGF(INFO, "message {} of the benchmark run, with a second argument {}", i, i * 7);
}

// 16 disabled statements (DBG where the category is at INFO); time per
// statement is the call's time / 16.
[[gnu::noinline]] inline void sixteenDisabledStatements(uint64_t i) {
  KLOG(DBG) << "never formatted " << i;
  KLOGF(DBG, "never formatted {}", i + 1);
  KLOG(DBG) << "never formatted " << i + 2;
  KLOGF(DBG, "never formatted {}", i + 3);
  KLOG(DBG) << "never formatted " << i + 4;
  KLOGF(DBG, "never formatted {}", i + 5);
  KLOG(DBG) << "never formatted " << i + 6;
  KLOGF(DBG, "never formatted {}", i + 7);
  KLOG(DBG) << "never formatted " << i + 8;
  KLOGF(DBG, "never formatted {}", i + 9);
  KLOG(DBG) << "never formatted " << i + 10;
  KLOGF(DBG, "never formatted {}", i + 11);
  KLOG(DBG) << "never formatted " << i + 12;
  KLOGF(DBG, "never formatted {}", i + 13);
  KLOG(DBG) << "never formatted " << i + 14;
  KLOGF(DBG, "never formatted {}", i + 15);
}

}  // namespace quorvane::bench
