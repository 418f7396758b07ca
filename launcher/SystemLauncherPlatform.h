#pragma once

// SystemLauncherPlatform: LauncherPlatform over the system's bundle and
// workspace services (platform/Foundation/Bundle.h, platform/AppKit/Workspace.h).
//
// bundlePath throws std::system_error when the running program's path cannot
// be read. launchApplication never throws for a missing or broken application:
// the workspace reports those as an outcome, which the launcher ignores.
//
// Thread safety: stateless; safe from any thread.

#include <string>

#include "launcher/LauncherPlatform.h"

namespace quorvane::launcher {

class SystemLauncherPlatform final : public LauncherPlatform {
 public:
  std::string bundlePath() override;
  void launchApplication(const std::string& applicationPath) override;
};

}  // namespace quorvane::launcher
