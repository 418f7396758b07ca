#pragma once

// PrivateSessionBus: a dbus-daemon of the test's own, listening on a socket in
// a temporary directory, allowing everything and offering no activatable
// services (so no notification server of the machine can be started on it).
// The constructor returns once the bus accepts connections, or throws
// std::runtime_error (with the daemon's output) after kStartLimit.
//
// kill() ends the daemon at once, for tests of a bus that dies; restart()
// kills it and starts a new one at the same address. The destructor stops it
// (SpawnedProcess.h) and removes the directory.
//
// Thread safety: one test thread owns it.

#include <chrono>
#include <memory>
#include <string>

#include "common/utilities/testing/TemporaryDirectory.h"
#include "platform/UserNotifications/dbus/testing/SpawnedProcess.h"

namespace quorvane::platform::notifications::test {

inline constexpr std::chrono::seconds kStartLimit{20};

// Polls `done` every few milliseconds until it holds or `limit` has passed;
// answers whether it held.
template <typename Condition>
bool pollUntil(Condition&& done, std::chrono::milliseconds limit = kStartLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class PrivateSessionBus {
 public:
  PrivateSessionBus();

  const std::string& address() const { return address_; }
  // A file in the bus's directory, for the output of helpers started on it.
  std::string pathOf(const std::string& name) const { return directory_.pathOf(name); }
  void kill() { daemon_->signal(SIGKILL); }
  void restart();

 private:
  void start();

  quorvane::test::TemporaryDirectory directory_;
  std::string address_;
  std::unique_ptr<SpawnedProcess> daemon_;
};

}  // namespace quorvane::platform::notifications::test
