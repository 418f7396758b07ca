#pragma once

// Shared by the fuzz targets: a property check that crashes (so libFuzzer
// records the input) with a readable reason.

#include <cstdio>
#include <cstdlib>

#define KESTRO_FUZZ_CHECK(condition)                                                     \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)
