#pragma once

// Call tracing for code that runs once per work item: events only while this
// module's category "trace" admits DBG, and nothing made otherwise.
//
// SyncTracing and FlowTracing take their names as strings and are built even
// while tracing is off (a string per call, an allocation for a name longer
// than the string's inline capacity, and a FlowTracing is 48 bytes in every
// queue slot). Here, with tracing off, the cost is one relaxed load and a
// compare:
//   HotPathTracing   a SyncTracing scope, made only while tracing is on;
//   startHotPathFlow a FlowTracing on the heap while tracing is on, else null.
// An object begun while tracing was off writes no events, also if tracing
// comes on before it ends (slices and flows are best effort anyway).
//
// Thread safety: as SyncTracing and FlowTracing; any thread.

#include <memory>
#include <optional>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::kestro::napi::internal {

inline bool hotPathTracingOn() {
  static const LogCategory* const traceCategory = LoggerDB::get().categoryFor("trace");
  return traceCategory->isEnabled(LogLevel::DBG);
}

class HotPathTracing {
 public:
  explicit HotPathTracing(const char* name) {
    if (hotPathTracingOn()) {
      trace_.emplace(name);
    }
  }

 private:
  std::optional<logging::SyncTracing> trace_;
};

inline std::unique_ptr<logging::FlowTracing> startHotPathFlow(const char* name) {
  return hotPathTracingOn() ? std::make_unique<logging::FlowTracing>(name) : nullptr;
}

}  // namespace quorvane::kestro::napi::internal
