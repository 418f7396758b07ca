#pragma once

// Helpers for tests that fork children and wait for them.
//
// exitCodeWithin: waits up to `limit` for the child `pid` to end and returns
// its exit code, 128 + the signal number when a signal ended it, or -1 when it
// did not end in time (it is killed with SIGKILL and reaped then). A hung
// child therefore fails the test instead of hanging the suite.
//
// exitCodeOfChild: runs `body` in a forked child that makes no core file (for
// children that crash on purpose) and exits 0 when `body` returns; answers
// exitCodeWithin of that child.
//
// KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN(): skips the current test under
// AddressSanitizer. That sanitizer's allocator keeps internal locks that it
// does not take around fork(), so the child of a process whose threads
// allocate can hang in malloc whatever the code under test does. Tests that
// fork while other threads run use it; the other presets still run them.
//
// Thread safety: exitCodeWithin may be called from any thread, once per child.

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace quorvane::test {

inline int exitCodeWithin(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

template <typename Body>
int exitCodeOfChild(Body body, std::chrono::milliseconds limit) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const struct rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    body();
    ::_exit(0);
  }
  return exitCodeWithin(pid, limit);
}

}  // namespace quorvane::test

#ifdef __SANITIZE_ADDRESS__
#define KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN() \
  GTEST_SKIP() << "the address sanitizer's allocator is not fork-safe with threads"
#else
#define KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN() static_cast<void>(0)
#endif

// ThreadSanitizer's runtime guards each lock it tracks with an internal lock
// of its own, which a thread of the parent may hold at the moment of a fork;
// the child then waits forever as soon as it tells the runtime of a lock it
// remakes (the logger database does so in every child). A test that forks
// dozens of times while threads take those locks meets that sooner or later,
// so it skips under ThreadSanitizer; the tests that fork a few times still run.
#ifdef __SANITIZE_THREAD__
#define KESTRO_SKIP_FORK_STORM_UNDER_TSAN()                                           \
  GTEST_SKIP() << "ThreadSanitizer's runtime can leave a forked child waiting on an " \
                  "internal lock held by a thread of the parent at the fork"
#else
#define KESTRO_SKIP_FORK_STORM_UNDER_TSAN() static_cast<void>(0)
#endif
