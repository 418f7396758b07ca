#pragma once

// ScopedTimeZone: sets the TZ environment variable of the test process for one
// scope (re-reading the zone and discarding cached breakdowns) and restores the
// previous value afterwards, so tests that print local time pass on any
// machine.
//
// Zones given as POSIX rules ("ABC-3:30", "EST5EDT,M3.2.0,M11.1.0") need no
// zone database. Not thread-safe: install it before starting threads.

#include <cstdlib>
#include <optional>
#include <string>

#include "common/utilities/LocalTime.h"

namespace quorvane::test {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      previous_ = old;
    }
    ::setenv("TZ", zone, 1);
    reloadLocalTimeZone();
  }
  ~ScopedTimeZone() {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    reloadLocalTimeZone();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace quorvane::test
