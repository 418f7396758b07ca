#include "Logging/Shared/Core/src/SystraceStyleLogFormatter.h"

#include <fmt/format.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

#include "common/logging/LogMessage.h"

namespace quorvane::kestro::logging {
namespace {

// The process id, read once and read again in a forked child: getpid() is a
// system call on every message otherwise, several times the cost of the rest
// of the line. 0 means "not read yet".
std::atomic<pid_t> cachedProcessId{0};

void forgetProcessId() noexcept { cachedProcessId.store(0, std::memory_order_relaxed); }

// Registered while the program image initialises, before any thread can fork.
[[maybe_unused]] const int forkHookRegistered =
    ::pthread_atfork(nullptr, nullptr, &forgetProcessId);

pid_t processId() {
  if (forkHookRegistered != 0) {
    // Without the hook a child could not tell; ask every time.
    return ::getpid();
  }
  pid_t pid = cachedProcessId.load(std::memory_order_relaxed);
  if (pid == 0) {
    pid = ::getpid();
    cachedProcessId.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

}  // namespace

std::string SystraceStyleLogFormatter::formatMessage(const LogMessage& message,
                                                     const LogCategory*) {
  return fmt::format("{{\"pid\":{},\"tid\":{},{}}},\n", processId(), message.threadId(),
                     message.rawText());
}

}  // namespace quorvane::kestro::logging
