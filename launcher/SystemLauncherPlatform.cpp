#include "launcher/SystemLauncherPlatform.h"

#include "platform/AppKit/Workspace.h"
#include "platform/Foundation/Bundle.h"

namespace quorvane::launcher {

std::string SystemLauncherPlatform::bundlePath() {
  return platform::Bundle::mainBundle().bundlePath();
}

void SystemLauncherPlatform::launchApplication(const std::string& applicationPath) {
  static_cast<void>(platform::launchApplication(applicationPath));
}

}  // namespace quorvane::launcher
