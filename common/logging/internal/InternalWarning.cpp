// The internal-warning path of every LoggerDB: a process-wide hook behind a
// rate limiter. Nothing installs a hook in production, so warnings are
// discarded there; tests install one to observe failures that the framework
// must not throw at a logging caller.

#include <atomic>

#include "common/logging/LoggerDB.h"
#include "common/utilities/IntervalRateLimiter.h"

namespace quorvane {
namespace {

std::atomic<LoggerDB::InternalWarningHook> warningHook{nullptr};

IntervalRateLimiter& warningLimiter() {
  // At most 10 warnings a second reach the hook, so a failing disk cannot turn
  // the warning path into a second flood.
  static IntervalRateLimiter limiter(10, std::chrono::seconds(1));
  return limiter;
}

}  // namespace

void LoggerDB::internalWarning(std::string_view sourceFile, int lineNumber, std::string_view text) {
  InternalWarningHook hook = warningHook.load(std::memory_order_acquire);
  if (hook == nullptr || !warningLimiter().check()) {
    return;
  }
  hook(sourceFile, lineNumber, text);
}

LoggerDB::InternalWarningHook LoggerDB::setInternalWarningHook(InternalWarningHook hook) {
  return warningHook.exchange(hook, std::memory_order_acq_rel);
}

void LoggerDB::setInternalWarningRateLimit(uint64_t maxPerInterval,
                                           std::chrono::milliseconds interval) {
  warningLimiter().reset(maxPerInterval, interval);
}

}  // namespace quorvane
