// SyncTracing's events (CallTracing.h). FlowTracing's live in their own file,
// so a module that uses only SyncTracing carries none of FlowTracing's code.

#include "Logging/Shared/Client/src/CallTracing.h"

namespace quorvane::kestro::logging {

void SyncTracing::begin() noexcept {
  internal::writeTraceEvent(internal::kSyncTracingBegins, name_, id_);
}

void SyncTracing::end() noexcept {
  internal::writeTraceEvent(internal::kSyncTracingEnds, name_, id_);
}

}  // namespace quorvane::kestro::logging
