#include "platform/AppKit/Workspace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "platform/AppKit/internal/DetachedSpawn.h"
#include "platform/AppKit/internal/RunningProcesses.h"
#include "platform/Foundation/Bundle.h"

namespace quorvane::platform {

namespace {

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

LaunchOutcome launchApplication(const std::string& bundlePath) {
  if (!isDirectory(bundlePath)) {
    return LaunchOutcome::kFailed;
  }
  const std::optional<std::string> executable = Bundle(bundlePath).executablePath();
  if (!executable || !isExecutableFile(*executable)) {
    return LaunchOutcome::kFailed;
  }
  if (!internal::processesRunning(*executable, ::getuid()).empty()) {
    return LaunchOutcome::kAlreadyRunning;
  }
  return internal::spawnDetached(*executable) == 0 ? LaunchOutcome::kStarted
                                                   : LaunchOutcome::kFailed;
}

}  // namespace quorvane::platform
