// The shared centre at process exit, in forked children (the parent never
// makes the centre, so each child starts it afresh): its threads stop before
// the application's static objects are destroyed, work in flight neither hangs
// the exit nor runs into destroyed state, and an exit called on one of the
// centre's own threads ends the process too.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/utilities/testing/ChildProcess.h"
#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

namespace quorvane::platform::notifications {
namespace {

using namespace std::chrono_literals;

constexpr int kRanIntoDestroyedState = 3;
constexpr auto kExitLimit = 20s;
constexpr auto kBusyFor = 300ms;
constexpr int kQueuedPerLane = 1000;

// Stands for the application's own static state, made before the centre (so
// destroyed after the centre's exit handler ran). Its destructor lingers so
// that a completion still running at that point would see it gone.
struct ApplicationState {
  std::atomic<bool> alive{true};
  ~ApplicationState() {
    alive = false;
    std::this_thread::sleep_for(50ms);
  }
};
ApplicationState applicationState;

void useApplicationState() {
  const auto until = std::chrono::steady_clock::now() + kBusyFor;
  while (std::chrono::steady_clock::now() < until) {
    if (!applicationState.alive) {
      std::_Exit(kRanIntoDestroyedState);
    }
    std::this_thread::sleep_for(100us);
  }
}

TEST(ProcessExitTest, ExitStopsTheCentreBeforeStaticStateGoesAway) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto center = SimulatedNotificationCenter::shared();
    const std::size_t work = center->laneCount() * kQueuedPerLane;
    for (std::size_t i = 0; i < work; ++i) {
      center->getNotificationSettings([](auto) { useApplicationState(); });
    }
    std::exit(0);
  }
  EXPECT_EQ(quorvane::test::exitCodeWithin(child, kExitLimit), 0);
}

TEST(ProcessExitTest, ExitCalledOnACentreThreadEndsTheProcess) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto center = SimulatedNotificationCenter::shared();
    for (std::size_t i = 0; i < center->laneCount(); ++i) {
      center->getNotificationSettings([](auto) { useApplicationState(); });
    }
    center->getNotificationSettings([](auto) { std::exit(0); });
    for (std::size_t i = 0; i < center->laneCount() * kQueuedPerLane; ++i) {
      center->getNotificationSettings([](auto) { useApplicationState(); });
    }
    center->waitUntilIdle();
    std::_Exit(1);  // not reached: the exit above ends the process first
  }
  EXPECT_EQ(quorvane::test::exitCodeWithin(child, kExitLimit), 0);
}

}  // namespace
}  // namespace quorvane::platform::notifications
