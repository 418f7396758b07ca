#include "common/utilities/AsymmetricFence.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/utilities/testing/ChildProcess.h"

namespace quorvane {
namespace {

// Store buffering, the reordering the fences exist for: each side stores its
// flag, fences, then loads the other side's. Without fences a processor lets
// a load pass its own earlier store, and both sides can miss each other in
// the same round. Both sides start each round together; answers the rounds in
// which both missed.
int roundsWhereBothMissed(int rounds) {
  struct alignas(64) Word {
    std::atomic<int> value{0};
  };
  Word frequentFlag;
  Word rareFlag;
  Word arrived;
  std::vector<int> frequentSaw(rounds + 1);
  std::vector<int> rareSaw(rounds + 1);
  const auto meet = [&](int round) {
    arrived.value.fetch_add(1, std::memory_order_acq_rel);
    while (arrived.value.load(std::memory_order_acquire) < 2 * round) {
    }
  };
  std::thread rare([&] {
    for (int round = 1; round <= rounds; ++round) {
      meet(round);
      rareFlag.value.store(round, std::memory_order_relaxed);
      asymmetricHeavyFence();
      rareSaw[round] = frequentFlag.value.load(std::memory_order_relaxed);
    }
  });
  for (int round = 1; round <= rounds; ++round) {
    meet(round);
    frequentFlag.value.store(round, std::memory_order_relaxed);
    asymmetricLightFence();
    frequentSaw[round] = rareFlag.value.load(std::memory_order_relaxed);
  }
  rare.join();
  int bothMissed = 0;
  for (int round = 1; round <= rounds; ++round) {
    if (frequentSaw[round] < round && rareSaw[round] < round) {
      ++bothMissed;
    }
  }
  return bothMissed;
}

TEST(AsymmetricFenceTest, OneSideAlwaysSeesTheOthersStore) {
  EXPECT_EQ(roundsWhereBothMissed(20'000), 0);
}

TEST(AsymmetricFenceTest, AForkedChildKeepsTheGuarantee) {
  const int code = test::exitCodeOfChild([] { ::_exit(roundsWhereBothMissed(5'000) == 0 ? 0 : 1); },
                                         std::chrono::seconds(60));
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace quorvane
