#pragma once

// processesRunning: the ids of the live processes whose real user id is `uid`
// and that run the program at `executablePath`, found by scanning /proc.
//
// A process runs the program when its executable (/proc/<pid>/exe) is the same
// file, compared by device and inode, so another path to the same file (a
// hard or symbolic link) matches and a different file of the same name does
// not. A program that is a script ("#!" first) runs under its interpreter, so
// /proc/<pid>/exe names the interpreter; such a process also matches when its
// first command-line argument that is not an option (the script path the
// kernel hands to the interpreter) is the same file. Relative arguments are
// resolved against the process's working directory.
//
// Processes of other users, processes that end during the scan and zombies
// (which have no executable any more) are not listed. A program path that does
// not exist gives an empty list.
//
// Errors: none thrown but std::bad_alloc; unreadable /proc entries are passed
// over. Thread safety: safe from any thread.

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvane::platform::internal {

std::vector<pid_t> processesRunning(const std::string& executablePath, uid_t uid);

}  // namespace quorvane::platform::internal
