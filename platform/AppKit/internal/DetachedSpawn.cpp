#include "platform/AppKit/internal/DetachedSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace quorvane::platform::internal {

namespace {

constexpr int kFirstNonStandardFd = 3;
// Where closing descriptors one by one stops when close_range is missing.
constexpr rlim_t kMaxFdsToClose = 65536;
constexpr int kFailedChildStatus = 127;

// Everything the children need, prepared before fork: after it they may only
// call async-signal-safe functions.
struct SpawnPlan {
  const char* executable;
  char* const* argv;
  int devNull;
  int reportWrite;  // Close-on-exec: EOF at the reader means the exec worked.
  int lastFdToMark;
};

// Moves a descriptor above 0-2 (keeping close-on-exec), so that pointing the
// standard streams at /dev/null cannot overwrite it.
int aboveStandardStreams(int fd) {
  if (fd < 0 || fd >= kFirstNonStandardFd) {
    return fd;
  }
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstNonStandardFd);
  const int savedErrno = errno;
  ::close(fd);
  errno = savedErrno;
  return moved;
}

int highestFdToMark() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return static_cast<int>(kMaxFdsToClose);
  }
  return static_cast<int>(std::min(limit.rlim_cur, kMaxFdsToClose)) - 1;
}

[[noreturn]] void failChild(int reportWrite, int error) {
  // Nothing to do about a failed report: the reader then sees EOF only.
  [[maybe_unused]] const ssize_t ignored = ::write(reportWrite, &error, sizeof error);
  ::_exit(kFailedChildStatus);
}

void resetSignals() {
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    ::sigaction(signal, &defaultAction, nullptr);  // Fails harmlessly for KILL/STOP.
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Every descriptor from 3 on is closed at exec, the report pipe included.
void closeOthersOnExec(int lastFdToMark) {
  if (::close_range(kFirstNonStandardFd, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
    return;
  }
  for (int fd = kFirstNonStandardFd; fd <= lastFdToMark; ++fd) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
}

[[noreturn]] void execProgram(const SpawnPlan& plan) {
  if (::setsid() < 0) {
    failChild(plan.reportWrite, errno);
  }
  for (int stream = 0; stream < kFirstNonStandardFd; ++stream) {
    if (::dup2(plan.devNull, stream) < 0) {
      failChild(plan.reportWrite, errno);
    }
  }
  if (::chdir("/") != 0) {
    failChild(plan.reportWrite, errno);
  }
  resetSignals();
  closeOthersOnExec(plan.lastFdToMark);
  ::execve(plan.executable, plan.argv, environ);
  failChild(plan.reportWrite, errno);
}

// The intermediate child: starts the program and leaves it to the reaper.
[[noreturn]] void runIntermediate(const SpawnPlan& plan) {
  const pid_t program = ::fork();
  if (program < 0) {
    failChild(plan.reportWrite, errno);
  }
  if (program == 0) {
    execProgram(plan);
  }
  ::_exit(0);
}

// Reads the exec report: 0 at EOF (the exec closed the pipe), else the errno
// the children sent.
int readReport(int reportRead) {
  int error = 0;
  ssize_t n;
  do {
    n = ::read(reportRead, &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

void reap(pid_t child) {
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

int spawnDetached(const std::string& executable) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    return errno;
  }
  report[0] = aboveStandardStreams(report[0]);
  report[1] = aboveStandardStreams(report[1]);
  const int devNull = aboveStandardStreams(::open("/dev/null", O_RDWR | O_CLOEXEC));
  const int setupError = (report[0] < 0 || report[1] < 0 || devNull < 0) ? errno : 0;
  char* const argv[] = {const_cast<char*>(executable.c_str()), nullptr};
  const SpawnPlan plan{executable.c_str(), argv, devNull, report[1], highestFdToMark()};

  const pid_t intermediate = setupError == 0 ? ::fork() : -1;
  if (intermediate == 0) {
    runIntermediate(plan);
  }
  const int forkError = (setupError == 0 && intermediate < 0) ? errno : 0;
  for (int fd : {report[1], devNull}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  int result = setupError != 0 ? setupError : forkError;
  if (intermediate > 0) {
    result = readReport(report[0]);
    reap(intermediate);
  }
  if (report[0] >= 0) {
    ::close(report[0]);
  }
  return result;
}

}  // namespace quorvane::platform::internal
