#pragma once

// Per-thread random numbers: each thread draws from its own MT19937
// generator, so drawing takes no lock.
//
// A thread's generator is created on its first draw and seeded from
// std::random_device mixed with the process id, the thread id, the monotonic
// and wall clocks and the generator's address, so that threads and processes
// are unlikely to share a sequence (without std::random_device, from the rest
// alone). A forked child seeds the forking thread's generator afresh on its
// next draw instead of repeating the parent's sequence.
//
// Not for secrets: the outputs are predictable from earlier ones.
//
// Errors: the first draw of a thread (and the first after a fork) may throw
// std::bad_alloc while seeding; later draws do not throw.
//
// Thread safety: any thread; each call uses the calling thread's generator.

#include <cstdint>

namespace quorvane {

// The next 32-bit output of the calling thread's generator.
uint32_t threadLocalRandom32();

// Two successive 32-bit outputs of the calling thread's generator, the first
// forming the high half.
uint64_t threadLocalRandom64();

}  // namespace quorvane
