#include "common/utilities/ThreadLocalRandom.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <exception>
#include <optional>
#include <random>

#include "common/utilities/ForkGeneration.h"
#include "common/utilities/ThreadId.h"

namespace quorvane {
namespace {

struct ThreadGenerator {
  uint64_t generation = 0;  // of the seeding; 0 until the first draw
  std::optional<std::mt19937> engine;
};
// Trivially destructible: nothing is registered to run at thread exit.
thread_local ThreadGenerator threadGenerator;

// Two words from the system's entropy source, or zeros when there is none.
std::array<uint32_t, 2> entropyWords() {
  try {
    std::random_device device;
    return {device(), device()};
  } catch (const std::exception&) {
    // No entropy source: the other words of the seed still tell threads and
    // processes apart.
    return {0, 0};
  }
}

void appendWords(std::array<uint32_t, 12>& words, size_t& at, uint64_t value) {
  words[at++] = static_cast<uint32_t>(value >> 32);
  words[at++] = static_cast<uint32_t>(value);
}

std::mt19937& seededEngine(ThreadGenerator& generator) {
  std::array<uint32_t, 12> words{};
  size_t at = 0;
  const auto entropy = entropyWords();
  words[at++] = entropy[0];
  words[at++] = entropy[1];
  appendWords(words, at, static_cast<uint64_t>(::getpid()));
  appendWords(words, at, getOSThreadID());
  appendWords(words, at,
              static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  appendWords(words, at,
              static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  appendWords(words, at, reinterpret_cast<uintptr_t>(&generator));
  std::seed_seq sequence(words.begin(), words.end());
  generator.engine.emplace(sequence);
  generator.generation = trackForkGeneration();
  return *generator.engine;
}

std::mt19937& threadEngine() {
  ThreadGenerator& generator = threadGenerator;
  if (generator.generation != forkGeneration()) [[unlikely]] {
    return seededEngine(generator);
  }
  return *generator.engine;
}

}  // namespace

uint32_t threadLocalRandom32() { return static_cast<uint32_t>(threadEngine()()); }

uint64_t threadLocalRandom64() {
  std::mt19937& engine = threadEngine();
  const uint64_t high = static_cast<uint32_t>(engine());
  const uint64_t low = static_cast<uint32_t>(engine());
  return (high << 32) | low;
}

}  // namespace quorvane
