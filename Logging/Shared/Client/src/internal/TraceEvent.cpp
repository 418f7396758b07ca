#include "Logging/Shared/Client/src/internal/TraceEvent.h"

#include <charconv>
#include <chrono>
#include <exception>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/ExceptionString.h"
#include "common/utilities/ThreadLocalRandom.h"

namespace quorvane::kestro::logging::internal {
namespace {

// Set once by attachTraceCategory; constant-initialised, so events made before
// the set-up ran see no category and tracing off.
constinit std::atomic<LogCategory*> traceCategory{nullptr};

constexpr std::string_view kNamePrefix = R"("name":")";
constexpr std::string_view kIdPrefix = R"(","id":")";
constexpr size_t kDecimalDigits = 20;  // of the largest 64-bit value

void appendDecimal(std::string& text, uint64_t value) {
  char digits[kDecimalDigits];
  const auto result = std::to_chars(digits, digits + kDecimalDigits, value);
  text.append(digits, result.ptr);
}

uint64_t steadyMicroseconds() {
  const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceStart).count() / 1000);
}

std::string eventText(std::string_view name, TraceId& id, std::string_view phase, uint64_t ts) {
  try {
    if (!id.known) {
      id.value = threadLocalRandom64();
      id.known = true;
    }
    return traceEventText(name, id.value, phase, ts);
  } catch (const std::exception& ex) {
    return "error constructing log message: " + exceptionDescription(ex);
  }
}

}  // namespace

constinit std::atomic<uint32_t> traceLevel{toUnderlying(LogLevel::MAX_LEVEL)};

void attachTraceCategory(LoggerDB& db) {
  // The level-cache registration of per-file log statements, for the category
  // named "trace" (a name that is not a generated path maps to itself).
  db.initializeFileLevelCache("trace", traceLevel, traceCategory);
}

std::string traceEventText(std::string_view name, uint64_t id, std::string_view phase,
                           uint64_t ts) {
  std::string text;
  text.reserve(kNamePrefix.size() + name.size() + kIdPrefix.size() + phase.size() +
               2 * kDecimalDigits);
  text.append(kNamePrefix);
  text.append(name);
  text.append(kIdPrefix);
  appendDecimal(text, id);
  text.append(phase);
  appendDecimal(text, ts);
  return text;
}

void writeTraceEvent(const TraceEventSite& site, std::string_view name, TraceId& id) noexcept {
  LogCategory* category = traceCategory.load(std::memory_order_acquire);
  if (category == nullptr) {
    return;
  }
  try {
    const uint64_t ts = steadyMicroseconds();
    LogMessage message(category, LogLevel::DBG, kCallTracingFile, site.line, site.function,
                       eventText(name, id, site.phase, ts));
    category->submitMessage(message);
  } catch (...) {
    // Events are best effort, and tracing must never throw into the code it
    // traces (a Node-API callback, say): an event that cannot even be built
    // as a message is dropped, as a failing handler's message is.
    LoggerDB::internalWarning(__FILE__, __LINE__, "a trace event could not be logged");
  }
}

}  // namespace quorvane::kestro::logging::internal
