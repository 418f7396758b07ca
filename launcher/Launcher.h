#pragma once

// runLauncher: the whole work of the login launcher. Takes the launcher's own
// bundle path from `platform`, drops its last four components to find the main
// application, and asks `platform` to launch it. A bundle path of four
// components or fewer launches nothing.
//
// Always returns kLauncherExitStatus (0): a failed launch is silent, and no
// exception leaves the function, whatever `platform` throws.
//
// Thread safety: as safe as `platform`.

#include "launcher/LauncherPlatform.h"

namespace quorvane::launcher {

inline constexpr int kLauncherExitStatus = 0;

int runLauncher(LauncherPlatform& platform) noexcept;

}  // namespace quorvane::launcher
