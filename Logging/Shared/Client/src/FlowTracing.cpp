// FlowTracing's events (CallTracing.h), apart from SyncTracing's (see
// SyncTracing.cpp).

#include "Logging/Shared/Client/src/CallTracing.h"

namespace quorvane::kestro::logging {

void FlowTracing::start() noexcept {
  internal::writeTraceEvent(internal::kFlowTracingStarts, name_, id_);
}

void FlowTracing::finish() noexcept {
  internal::writeTraceEvent(internal::kFlowTracingFinishes, name_, id_);
}

}  // namespace quorvane::kestro::logging
