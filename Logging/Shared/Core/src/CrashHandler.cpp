#include "Logging/Shared/Core/src/CrashHandler.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <iterator>

#include "Logging/Shared/Core/src/CrashReport.h"
#include "Logging/Shared/Core/src/CrashTime.h"
#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"
#include "common/logging/AsyncLogWriter.h"
#include "common/logging/CrashFlushRegistry.h"
#include "common/utilities/FileUtil.h"
#include "platform/pthread/ThreadIdShim.h"

namespace quorvane::kestro::logging {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kSignalCount = std::size(kFatalSignals);
constexpr int64_t kFlushBudgetNanos = 2'000'000'000;
constexpr unsigned kBackstopSeconds = 4;
constexpr size_t kAlternateStackSize = 64 * 1024;

struct sigaction previousActions[kSignalCount];
bool installed = false;

// The thread writing a report (its OS id), 0 when none; and whether it is done.
std::atomic<uint64_t> reportingThread{0};
std::atomic<bool> reportDone{false};
// The signal being reported, for the backstop.
std::atomic<int> reportedSignal{0};
struct sigaction previousAlarmAction;

int64_t monotonicNanos() noexcept {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

int64_t wallMicros() noexcept {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

uint64_t currentThreadId() noexcept {
  uint64_t id = 0;
  pthread_threadid_np(pthread_t{}, &id);
  return id;
}

const struct sigaction* previousActionFor(int signal) noexcept {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (kFatalSignals[i] == signal) {
      return &previousActions[i];
    }
  }
  return nullptr;
}

bool isHandler(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) != 0
             ? action.sa_sigaction != nullptr
             : action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

void callHandler(const struct sigaction& action, int signal, siginfo_t* info, void* context) {
  if ((action.sa_flags & SA_SIGINFO) != 0) {
    action.sa_sigaction(signal, info, context);
  } else {
    action.sa_handler(signal);
  }
}

// Where the interrupted thread was, when the platform tells.
void* interruptedAt(void* context) noexcept {
  auto* uc = static_cast<ucontext_t*>(context);
  if (uc == nullptr) {
    return nullptr;
  }
#if defined(__APPLE__) && defined(__x86_64__)
  return reinterpret_cast<void*>(uc->uc_mcontext->__ss.__rip);
#elif defined(__APPLE__) && defined(__aarch64__)
  return reinterpret_cast<void*>(uc->uc_mcontext->__ss.__pc);
#elif defined(__linux__) && defined(__x86_64__)
  return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__linux__) && defined(__aarch64__)
  return reinterpret_cast<void*>(uc->uc_mcontext.pc);
#else
  return nullptr;
#endif
}

// A fault in code of no loaded module, with a previous handler to ask.
bool faultInGeneratedCode(int signal, const siginfo_t* info, void* context) noexcept {
  if ((signal != SIGSEGV && signal != SIGBUS) || info == nullptr || info->si_code <= 0) {
    return false;
  }
  const struct sigaction* previous = previousActionFor(signal);
  void* at = interruptedAt(context);
  Dl_info module;
  return previous != nullptr && isHandler(*previous) && at != nullptr &&
         ::dladdr(at, &module) == 0;
}

// Puts the disposition found at installation back and sends the signal on.
void takeItsCourse(int signal, const siginfo_t* info) noexcept {
  if (const struct sigaction* previous = previousActionFor(signal)) {
    ::sigaction(signal, previous, nullptr);
  }
  if (info == nullptr || info->si_code <= 0) {
    // Sent, not a fault: send it again. Our handler runs with SA_NODEFER, so
    // it arrives at once.
    ::raise(signal);
  }
  // A fault: returning runs the instruction again.
}

// SIGALRM after the backstop time: the report is stuck in a system call.
void onBackstop(int) {
  const int signal = reportedSignal.load();
  if (const struct sigaction* previous = previousActionFor(signal)) {
    ::sigaction(signal, previous, nullptr);
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  // A previous handler that returned: end by the default action.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  ::_exit(128 + signal);
}

void armBackstop(int signal) noexcept {
  reportedSignal.store(signal);
  struct sigaction alarmAction {};
  alarmAction.sa_handler = &onBackstop;
  sigemptyset(&alarmAction.sa_mask);
  ::sigaction(SIGALRM, &alarmAction, &previousAlarmAction);
  ::alarm(kBackstopSeconds);
}

void disarmBackstop() noexcept {
  ::alarm(0);
  ::sigaction(SIGALRM, &previousAlarmAction, nullptr);
}

void writeReport(int signal, uint64_t threadId, void* context) noexcept {
  CrashReport report(wallMicros(), threadId, "CrashHandler.cpp", __LINE__);
  report.addSignalLine(signal, ::getpid(), threadId);
  void* frames[CrashReport::kMaxFrames];
  int count = ::backtrace(frames, CrashReport::kMaxFrames);
  // Leave out the frames of this handler: start at the interrupted code.
  if (void* at = interruptedAt(context)) {
    for (int i = 0; i < count; ++i) {
      if (frames[i] == at) {
        std::move(frames + i, frames + count, frames);
        count -= i;
        break;
      }
    }
  }
  report.addFrames(frames, count);

  RotatingFileLogWriter* main = nullptr;
  CrashFlushRegistry::forEach([&](AsyncLogWriter& writer) {
    auto* rotating = dynamic_cast<RotatingFileLogWriter*>(&writer);
    if (main == nullptr && rotating != nullptr && rotating->reportsCrashes()) {
      main = rotating;
    }
  });
  if (main != nullptr) {
    main->appendAfterCrash(report.data(), report.size());
  } else {
    (void)writeFull(STDERR_FILENO, report.data(), report.size());
  }
}

void onFatalSignal(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  if (faultInGeneratedCode(signal, info, context)) {
    callHandler(*previousActionFor(signal), signal, info, context);
    errno = savedErrno;
    return;
  }
  const uint64_t self = currentThreadId();
  uint64_t reporter = 0;
  if (!reportingThread.compare_exchange_strong(reporter, self)) {
    if (reporter != self) {
      // Another thread is reporting: let it finish first.
      const int64_t giveUp = monotonicNanos() + int64_t{kBackstopSeconds} * 1'000'000'000;
      const struct timespec pause = {0, 1'000'000};
      while (!reportDone.load() && monotonicNanos() < giveUp) {
        ::nanosleep(&pause, nullptr);
      }
    }
    // Else a fault in our own work: no second attempt.
    takeItsCourse(signal, info);
    errno = savedErrno;
    return;
  }
  armBackstop(signal);
  const int64_t deadline = monotonicNanos() + kFlushBudgetNanos;
  CrashFlushRegistry::beginVisit();
  CrashFlushRegistry::forEach([&](AsyncLogWriter& writer) { writer.writeOutAfterCrash(deadline); });
  writeReport(signal, self, context);
  CrashFlushRegistry::endVisit();
  disarmBackstop();
  reportDone.store(true);
  takeItsCourse(signal, info);
  errno = savedErrno;
}

// The thread that installs the handler gets a stack to report its own stack
// overflow on, unless it has one. Kept for the life of the process.
void ensureAlternateStack() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) {
    return;
  }
  void* memory = ::mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    return;
  }
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kAlternateStackSize;
  if (::sigaltstack(&stack, nullptr) != 0) {
    ::munmap(memory, kAlternateStackSize);
  }
}

}  // namespace

void installCrashHandler() {
  if (installed) {
    return;
  }
  // What the handler will need, made ready where allocating is allowed: the
  // unwinder (loaded on first use) and the zone offset.
  void* frame = nullptr;
  ::backtrace(&frame, 1);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) != nullptr) {
    noteLocalZoneOffset(local.tm_gmtoff);
  }
  ensureAlternateStack();
  reportingThread.store(0);
  reportDone.store(false);

  struct sigaction action {};
  action.sa_sigaction = &onFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kSignalCount; ++i) {
    ::sigaction(kFatalSignals[i], &action, &previousActions[i]);
  }
  installed = true;
}

void removeCrashHandler() {
  if (!installed) {
    return;
  }
  for (size_t i = 0; i < kSignalCount; ++i) {
    struct sigaction current {};
    if (::sigaction(kFatalSignals[i], nullptr, &current) == 0 &&
        (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == &onFatalSignal) {
      ::sigaction(kFatalSignals[i], &previousActions[i], nullptr);
    }
  }
  installed = false;
}

}  // namespace quorvane::kestro::logging
