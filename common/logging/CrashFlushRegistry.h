#pragma once

// CrashFlushRegistry: the asynchronous writers alive in this framework copy,
// for a fatal-signal handler that writes out what they have accepted before
// the process ends.
//
// A fixed table of atomic slots: adding, removing and visiting take no lock
// and allocate nothing, so a signal handler may visit the writers whatever
// the interrupted threads held. A writer adds itself when it starts and
// removes itself once it has written its last line (AsyncLogWriter does both).
//
// Lifetimes. A visit runs between beginVisit() and endVisit(). remove()
// empties the writer's slot, then waits while a visit is running, so a writer
// the handler reached stays alive until the handler is done with it (the
// process is ending anyway). Writers beyond the table's size are not visited.
//
// Thread safety: add and remove from any thread; one visit at a time (the
// signal handler makes sure of that). Async-signal-safe: beginVisit,
// forEach, endVisit.

#include <atomic>
#include <cstddef>

namespace quorvane {

class AsyncLogWriter;

class CrashFlushRegistry {
 public:
  static constexpr size_t kSlots = 256;

  static void add(AsyncLogWriter* writer) noexcept;
  static void remove(AsyncLogWriter* writer) noexcept;

  static void beginVisit() noexcept;
  static void endVisit() noexcept;
  template <typename Visitor>
  static void forEach(Visitor&& visit) noexcept {
    for (std::atomic<AsyncLogWriter*>& slot : slots_) {
      if (AsyncLogWriter* writer = slot.load()) {
        visit(*writer);
      }
    }
  }

 private:
  static std::atomic<AsyncLogWriter*> slots_[kSlots];
  static std::atomic<bool> visiting_;
};

}  // namespace quorvane
