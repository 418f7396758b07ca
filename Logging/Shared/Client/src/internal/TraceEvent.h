#pragma once

// The pieces of call tracing that SyncTracing and FlowTracing share
// (CallTracing.h): the trace category's level, the four event sites and the
// writing of one event.
//
// Internal: use CallTracing.h.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/logging/LogLevel.h"

namespace quorvane {
class LoggerDB;
}

namespace quorvane::kestro::logging::internal {

// The effective level of this module's category "trace", kept in step by the
// category once attachTraceCategory has run; until then MAX_LEVEL (tracing
// off).
extern std::atomic<uint32_t> traceLevel;

// Whether trace events are written: the trace category's effective level is
// DBG or lower. One relaxed load and a compare.
inline bool traceEventsOn() {
  return toUnderlying(LogLevel::DBG) >= traceLevel.load(std::memory_order_relaxed);
}

// Finds (creating it if needed) the category "trace" of `db`, which events
// are logged to from then on, and makes it keep traceLevel in step with its
// effective level. Called once, by the client set-up.
void attachTraceCategory(LoggerDB& db);

// Where an event comes from: its phase text and the source location its
// message carries.
struct TraceEventSite {
  std::string_view phase;  // the text between the id and ts
  unsigned int line;
  std::string_view function;
};

inline constexpr std::string_view kCallTracingFile = "Logging/Shared/Client/src/CallTracing";
inline constexpr unsigned int kSyncTracingBeginLine = 83;
inline constexpr unsigned int kSyncTracingEndLine = 96;
inline constexpr unsigned int kFlowTracingStartLine = 112;
inline constexpr unsigned int kFlowTracingFinishLine = 140;

inline constexpr TraceEventSite kSyncTracingBegins{R"(","ph":"B","cat":"kestro","ts":)",
                                                   kSyncTracingBeginLine, "SyncTracing"};
inline constexpr TraceEventSite kSyncTracingEnds{R"(","ph":"E","cat":"kestro","ts":)",
                                                 kSyncTracingEndLine, "~SyncTracing"};
inline constexpr TraceEventSite kFlowTracingStarts{R"(","ph":"s","cat":"kestro","ts":)",
                                                   kFlowTracingStartLine, "FlowTracing"};
inline constexpr TraceEventSite kFlowTracingFinishes{R"(","ph":"f","cat":"kestro","ts":)",
                                                     kFlowTracingFinishLine, "~FlowTracing"};

// The text of an event: "name":"<name>","id":"<id>" + phase + ts, all in
// decimal.
std::string traceEventText(std::string_view name, uint64_t id, std::string_view phase, uint64_t ts);

// An event's id: given by the caller, or drawn when the first event needs it.
struct TraceId {
  uint64_t value = 0;
  bool known = false;  // given, or drawn by an earlier event
};

// Logs one event of `site` as a DBG message on the trace category, with ts
// the steady clock's microseconds; draws `id` first if it has no value yet.
// Call only when traceEventsOn(). Never throws: when building the text fails
// the text is "error constructing log message: " + the error's description,
// and an event that cannot be logged at all is dropped (an internal warning).
void writeTraceEvent(const TraceEventSite& site, std::string_view name, TraceId& id) noexcept;

}  // namespace quorvane::kestro::logging::internal
