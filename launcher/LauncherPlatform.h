#pragma once

// LauncherPlatform: the two operating-system services the login launcher uses.
//
// bundlePath: the path of the launcher's own bundle (on macOS the main bundle's
// bundlePath). May throw when the system cannot tell.
//
// launchApplication: asks the system to start the application whose bundle is
// at `applicationPath`; when that application already runs the system
// activates it instead of starting a second copy. Whether that worked is the
// system's business: the launcher does not look at the outcome, so the call
// returns nothing. May throw.
//
// Thread safety: the launcher calls both from its one thread.

#include <string>

namespace quorvane::launcher {

class LauncherPlatform {
 public:
  virtual ~LauncherPlatform() = default;

  virtual std::string bundlePath() = 0;
  virtual void launchApplication(const std::string& applicationPath) = 0;
};

}  // namespace quorvane::launcher
