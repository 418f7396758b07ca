#include "Logging/Shared/Core/src/CrashTime.h"

#include <atomic>

#include "common/utilities/LocalTime.h"

namespace quorvane::kestro::logging {
namespace {

std::atomic<long> notedOffset{0};

}  // namespace

void noteLocalZoneOffset(long offsetSeconds) noexcept {
  notedOffset.store(offsetSeconds, std::memory_order_relaxed);
}

std::tm crashLocalTime(int64_t seconds) noexcept {
  FixedZone zone;
  zone.offsetSeconds = notedOffset.load(std::memory_order_relaxed);
  return fixedZoneCalendarTime(seconds, zone);
}

}  // namespace quorvane::kestro::logging
