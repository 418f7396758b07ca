#pragma once

// launchApplication: starts the application whose bundle is at `bundlePath`,
// the way the platform's workspace does for a launch request.
//
// The program started is the bundle's executable (Bundle::executablePath:
// Contents/MacOS/ + CFBundleExecutable, or the bundle's name without ".app").
// It starts detached from the caller (internal/DetachedSpawn.h): own session,
// standard streams on /dev/null, not waited for, never left as the caller's
// zombie.
//
// When that program already runs as a process of the caller's real user, it
// is not started again and the answer is kAlreadyRunning. The platform answers
// such a request by activating the running application (bringing its windows
// forward) rather than starting a second copy; here there is nothing to bring
// forward, so not starting it is the whole of that behaviour.
//
// kFailed when the bundle is not a directory, has no executable file (missing,
// not a regular file, not executable) or the start itself failed; nothing is
// started then.
//
// Errors: none thrown but std::bad_alloc. Thread safety: safe from any thread;
// two callers launching the same application at the same moment may both
// start it, as the check and the start are not one step.

#include <string>

namespace quorvane::platform {

enum class LaunchOutcome { kStarted, kAlreadyRunning, kFailed };

LaunchOutcome launchApplication(const std::string& bundlePath);

}  // namespace quorvane::platform
