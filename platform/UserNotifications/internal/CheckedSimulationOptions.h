#pragma once

// CheckedSimulationOptions: SimulationOptions read and checked, ready to apply
// to a Situation without any further failure, so that configure changes all
// it was asked to or nothing.
//
// check() throws std::invalid_argument naming the option, the value given and
// what is accepted: a malformed osVersion, an integer out of its range, an
// unknown setting name.
//
// Thread safety: plain values.

#include <optional>
#include <utility>
#include <vector>

#include "platform/UserNotifications/internal/Situation.h"
#include "platform/UserNotifications/simulated/SimulationOptions.h"

namespace quorvane::platform::notifications::internal {

class CheckedSimulationOptions {
 public:
  static CheckedSimulationOptions check(const SimulationOptions& options);

  void applyTo(Situation& situation) const;

 private:
  using SettingAssignment = void (*)(NotificationSettings&, int);

  std::optional<OperatingSystemVersion> osVersion_;
  std::optional<bool> grant_;
  std::optional<std::optional<PlatformError>> authorizationError_;
  std::optional<std::optional<PlatformError>> addError_;
  std::vector<std::pair<SettingAssignment, int>> settings_;
};

}  // namespace quorvane::platform::notifications::internal
