#pragma once

// getOSThreadID: the operating system's id of the calling thread.
//
// The id is read once per thread and cached; the cache is invalidated by fork,
// so the forking thread reports its new id in the child.
//
// Thread safety: safe from any thread; async-signal-safe after the first call.

#include <cstdint>

namespace quorvane {

uint64_t getOSThreadID();

}  // namespace quorvane
