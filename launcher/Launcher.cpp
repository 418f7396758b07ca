#include "launcher/Launcher.h"

#include <optional>
#include <string>

#include "launcher/MainApplicationPath.h"

namespace quorvane::launcher {

int runLauncher(LauncherPlatform& platform) noexcept {
  try {
    const std::optional<std::string> application = mainApplicationPath(platform.bundlePath());
    if (application) {
      platform.launchApplication(*application);
    }
  } catch (...) {
    // The launcher has nobody to tell: it has no window and no log, and the
    // system that started it at login does not look at its exit status.
  }
  return kLauncherExitStatus;
}

}  // namespace quorvane::launcher
