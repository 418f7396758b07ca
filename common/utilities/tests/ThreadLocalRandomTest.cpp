#include "common/utilities/ThreadLocalRandom.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <set>
#include <thread>
#include <vector>

#include "common/utilities/ForkGeneration.h"
#include "common/utilities/testing/ChildProcess.h"

namespace quorvane {
namespace {

using Draws = std::array<uint64_t, 4>;

Draws draw() {
  Draws values{};
  for (uint64_t& value : values) {
    value = threadLocalRandom64();
  }
  return values;
}

TEST(ThreadLocalRandomTest, ThreadsDrawDifferentSequences) {
  constexpr int kThreads = 8;
  std::vector<Draws> sequences(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&sequences, t] { sequences[t] = draw(); });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  sequences.push_back(draw());
  std::set<uint64_t> distinct;
  for (const Draws& sequence : sequences) {
    distinct.insert(sequence.begin(), sequence.end());
  }
  EXPECT_EQ(distinct.size(), sequences.size() * Draws().size());
}

TEST(ThreadLocalRandomTest, AForkedChildDoesNotRepeatTheParentsSequence) {
  threadLocalRandom32();  // the generator exists before the fork
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const uint64_t generationBefore = forkGeneration();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const Draws child = draw();
    const bool advanced = forkGeneration() != generationBefore;
    const bool written = ::write(fds[1], child.data(), sizeof(child)) == sizeof(child);
    ::_exit(advanced && written ? 0 : 1);
  }
  const Draws parent = draw();
  Draws child{};
  EXPECT_EQ(::read(fds[0], child.data(), sizeof(child)), static_cast<ssize_t>(sizeof(child)));
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_EQ(test::exitCodeWithin(pid, std::chrono::seconds(10)), 0);
  EXPECT_NE(parent, child);
  EXPECT_EQ(forkGeneration(), generationBefore);
}

}  // namespace
}  // namespace quorvane
