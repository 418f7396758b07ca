#pragma once

// ConfigChangedTriggers: the functions the core library calls after its log
// configuration changed (each addon registers one to mirror the new levels).
//
// A set ordered by function address: a trigger added twice is kept once,
// removing an absent one does nothing, a null trigger is ignored. fire() calls every trigger in
// address order with the set held in shared mode, so two firings on two threads may run triggers
// concurrently; a trigger that throws ends that firing and the exception propagates. A trigger must
// not add or remove triggers (it would wait for the lock its own firing holds).
//
// Thread safety: every member may be called from any thread.

#include <set>
#include <shared_mutex>

namespace quorvane::kestro::logging {

class ConfigChangedTriggers {
 public:
  using Trigger = void (*)();

  void add(Trigger trigger);
  void remove(Trigger trigger);
  void fire() const;

 private:
  mutable std::shared_mutex mutex_;
  std::set<Trigger> triggers_;
};

}  // namespace quorvane::kestro::logging
