#pragma once

// Call tracing: where time goes, as trace events in the JSON trace-event
// format (duration slices and flow arrows, as trace viewers show them).
//
//   void deliverNotification(...) {
//     SyncTracing trace(__func__);          // "B" now, "E" at the end of the scope
//     ...
//     queue.push({std::move(work), FlowTracing("deliverNotification")});
//   }                                       // "s" when queued, "f" where the item dies
//
// SyncTracing is a scope object: a begin event ("ph":"B") when constructed and
// an end event ("E") when destroyed, on the same thread, so the two pair up per
// thread. FlowTracing connects work handed from one thread to another: a
// flow-start event ("s") when constructed and a flow-finish event ("f") when
// the object that finally holds it is destroyed. It is moved along with the
// work: move construction takes the flow over and leaves the source without
// one, move assignment exchanges the two objects' flows, and an object without
// a flow (moved from, or made with an empty name) writes nothing.
//
// Each event is a DBG message on this module's category "trace", from the
// source location "Logging/Shared/Client/src/CallTracing" (lines 83, 96, 112
// and 140, functions "SyncTracing", "~SyncTracing", "FlowTracing" and
// "~FlowTracing"); the forwarding handler hands it to logcore, whose trace
// channel writes it as one JSON object per line. The message text is
//
//   "name":"<name>","id":"<id>","ph":"<B|E|s|f>","cat":"kestro","ts":<ts>
//
// with the id in decimal and ts the steady clock in microseconds. The name is
// inserted as given, not escaped: pass identifiers such as function names.
// An id not given by the caller is drawn from the calling thread's own
// generator (two 32-bit outputs, common/utilities/ThreadLocalRandom.h) when
// the object's first event needs it.
//
// Cost: each event first checks the trace category's effective level (one
// relaxed load and a compare, inlined here). Above DBG, tracing is off and
// nothing else happens: no clock read, no text, no id drawn; the name is still
// moved into the object. The check is made again at destruction, so a slice
// can lack its begin or its end when the trace level changes in between.
//
// Errors: none reach the caller; events are best effort (see
// internal/TraceEvent.h).
//
// Thread safety: an object is used by one thread at a time (a FlowTracing may
// be moved to another thread); different threads trace independently.

#include <cstdint>
#include <string>
#include <utility>

#include "Logging/Shared/Client/src/internal/TraceEvent.h"

namespace quorvane::kestro::logging {

class SyncTracing {
 public:
  SyncTracing(std::string name, uint64_t id) : name_(std::move(name)), id_{id, /*known=*/true} {
    if (internal::traceEventsOn()) {
      begin();
    }
  }
  explicit SyncTracing(std::string name) : name_(std::move(name)) {
    if (internal::traceEventsOn()) {
      begin();
    }
  }
  ~SyncTracing() {
    if (internal::traceEventsOn()) {
      end();
    }
  }

  SyncTracing(const SyncTracing&) = delete;
  SyncTracing& operator=(const SyncTracing&) = delete;

 private:
  void begin() noexcept;
  void end() noexcept;

  std::string name_;
  internal::TraceId id_;
};

class FlowTracing {
 public:
  FlowTracing(std::string name, uint64_t id) : name_(std::move(name)), id_{id, /*known=*/true} {
    if (internal::traceEventsOn() && !name_.empty()) {
      start();
    }
  }
  explicit FlowTracing(std::string name) : name_(std::move(name)) {
    if (internal::traceEventsOn() && !name_.empty()) {
      start();
    }
  }
  FlowTracing(FlowTracing&& other) noexcept : name_(std::move(other.name_)), id_(other.id_) {
    other.name_.clear();
  }
  FlowTracing& operator=(FlowTracing&& other) noexcept {
    name_.swap(other.name_);
    std::swap(id_, other.id_);
    return *this;
  }
  ~FlowTracing() {
    if (internal::traceEventsOn() && !name_.empty()) {
      finish();
    }
  }

  FlowTracing(const FlowTracing&) = delete;
  FlowTracing& operator=(const FlowTracing&) = delete;

 private:
  void start() noexcept;
  void finish() noexcept;

  std::string name_;
  internal::TraceId id_;
};

}  // namespace quorvane::kestro::logging
