#include "common/utilities/FastSystemClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/utilities/testing/ChildProcess.h"

namespace quorvane {
namespace {

using std::chrono::nanoseconds;
using std::chrono::system_clock;

// Leeway for an anchor that takes over from the previous one without a jump:
// it may lag or lead the system time by up to 20 µs for a millisecond.
constexpr nanoseconds kLeeway = std::chrono::microseconds(25);

struct Finding {
  int64_t reads = 0;
  int64_t outside = 0;  // reads not between the system clock's reads around them
  int64_t backwards = 0;
  std::string first;
};

// Reads the clock between two reads of the system clock for `duration`, from
// the clock's first use on: through the rate's measurement, the first anchor
// and the ones after it.
Finding readBetweenSystemReads(std::chrono::milliseconds duration) {
  Finding finding;
  system_clock::time_point previous{};
  const auto end = system_clock::now() + duration;
  while (true) {
    const auto before = system_clock::now();
    const auto read = FastSystemClock::now();
    const auto after = system_clock::now();
    ++finding.reads;
    if (read < before - kLeeway || read > after + kLeeway) {
      if (finding.outside++ == 0) {
        finding.first = std::to_string((read - before).count()) + " ns after the read before, " +
                        std::to_string((after - read).count()) + " ns before the read after";
      }
    }
    if (read < previous) {
      ++finding.backwards;
    }
    previous = read;
    if (after > end) {
      return finding;
    }
  }
}

void expectAgreement(const Finding& finding) {
  EXPECT_GT(finding.reads, 1000);
  EXPECT_EQ(finding.outside, 0) << finding.first;
  EXPECT_EQ(finding.backwards, 0);
}

TEST(FastSystemClockTest, AgreesWithTheSystemClockAndNeverGoesBackOnAThread) {
  std::vector<Finding> findings(3);
  std::vector<std::thread> threads;
  for (auto& finding : findings) {
    threads.emplace_back(
        [&finding] { finding = readBetweenSystemReads(std::chrono::milliseconds(60)); });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (const auto& finding : findings) {
    expectAgreement(finding);
  }
}

TEST(FastSystemClockTest, AForkedChildGoesOnWithTheParentsAnchor) {
  expectAgreement(readBetweenSystemReads(std::chrono::milliseconds(20)));
  const int code = test::exitCodeOfChild(
      [] {
        const Finding finding = readBetweenSystemReads(std::chrono::milliseconds(20));
        ::_exit(finding.outside == 0 && finding.backwards == 0 ? 0 : 1);
      },
      std::chrono::seconds(30));
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace quorvane
