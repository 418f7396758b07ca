#pragma once

// spawnDetached: starts the program at `executable` (argv is the path alone,
// the environment is the caller's) detached from the caller, the way the
// system starts an application:
// - in a session and process group of its own, without a controlling terminal;
// - standard input, output and error on /dev/null; no other descriptor of the
//   caller stays open in it;
// - working directory "/", an empty signal mask and default signal actions
//   (signals the caller ignores, such as SIGPIPE, are not ignored there);
// - not a child of the caller: an intermediate child starts it and exits at
//   once, and the caller reaps that intermediate before returning. The program
//   never becomes the caller's zombie, and the caller may run for a long time.
//
// Returns 0 once the program runs (its exec succeeded), else the errno value
// of the step that failed (pipe, open, fork, setsid or exec: ENOENT, EACCES,
// ENOEXEC, ...). The caller waits only for that exec, never for the program.
//
// Between fork and exec the children call only async-signal-safe functions, so
// a multi-threaded caller may use it.
//
// Thread safety: safe from any thread.

#include <string>

namespace quorvane::platform::internal {

int spawnDetached(const std::string& executable);

}  // namespace quorvane::platform::internal
