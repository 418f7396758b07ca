#pragma once

// Lock-free reading of immutable snapshots that writers replace (a category's
// handler list).
//
// A writer publishes a new snapshot in an atomic pointer, then retires the one
// it replaced (retireSnapshot). A reader guards the snapshot it reads for one
// scope (SnapshotGuard): it announces the pointer in a slot of its thread's
// record, then checks that the pointer is still the published one. A retired
// snapshot is deleted as soon as no slot guards it: by retireSnapshot when no
// reader holds it, otherwise by the last guard to let go, in its destructor
// (while retired snapshots wait, every guard that ends looks for the ones it
// can delete). retireSnapshot deletes no snapshot but its own, so a caller
// that keeps the contents of that one alive (a configuration change keeps
// the handlers of the lists it replaces) runs no other destructor.
// So a writer never waits for readers, readers never wait for anything, and a
// replaced snapshot lives exactly as long as someone still reads it, as a
// shared reference would, without a counter that every reader writes: a
// guard writes only its own thread's record.
//
// Each thread has a few slots (kSlotsPerThread), one per nested read (a
// handler that logs while it handles a message reads again). A guard that
// finds no free slot, or that is made while its thread exits, guards nothing
// (guarded() is false) and the caller reads another way, under the writer's
// lock.
//
// Fork: in a forked child the slots of threads that exist only in the parent
// are cleared, and snapshots they kept alive are deleted by the next guard
// that ends there. The retired list's lock is taken last when the process
// forks (its entry in the fork registry is made before the logger database's;
// see installSnapshotForkHandling).
//
// Cost: a guard is two loads, a store and a light asymmetric fence when it is
// made, and a store, a light fence and a load when it ends
// (common/utilities/AsymmetricFence.h: no processor fence where the system
// offers process-wide barriers, so a guard never waits for its thread's
// earlier stores to drain); the writer side takes a mutex, makes a heavy
// fence and scans every thread's slots.
//
// Thread safety: guards are made and destroyed on one thread, in nested
// (stack) order, and a guard must end with no lock held that a snapshot's
// destructor takes: destructors of retired snapshots may run in it.
// retireSnapshot may be called from any thread; the destructor of its own
// snapshot may run in it.
//
// Internal to the logging framework (namespace quorvane::logging::internal).

#include <atomic>
#include <cstddef>

#include "common/utilities/AsymmetricFence.h"

namespace quorvane::logging::internal {

class SnapshotGuardRecord;

// Base of the snapshots handled this way. Delete them only through
// retireSnapshot once they have been published.
class GuardedSnapshot {
 public:
  GuardedSnapshot() = default;
  virtual ~GuardedSnapshot() = default;
  GuardedSnapshot(const GuardedSnapshot&) = delete;
  GuardedSnapshot& operator=(const GuardedSnapshot&) = delete;

 private:
  friend class SnapshotGuardRecord;
  friend void retireSnapshot(GuardedSnapshot* snapshot);
  GuardedSnapshot* nextRetired_ = nullptr;  // the list of retired snapshots
};

// Makes the process-wide state of the guards and its fork entry, if not made
// yet. Called by whoever registers a fork entry whose prepare step takes a
// lock under which snapshots are retired (the logger database), before it
// registers, so that the retired list is locked after that lock at a fork.
void installSnapshotForkHandling();

// Deletes `snapshot` now if no guard holds it, else when the last one lets go.
// `snapshot` must no longer be published (readers must not find it any more).
// Null does nothing.
void retireSnapshot(GuardedSnapshot* snapshot);

// One thread's slots. Internal to this unit and SnapshotGuard.
class SnapshotGuardRecord {
 public:
  static constexpr size_t kSlotsPerThread = 4;

  // The calling thread's record, attached on first use; null while the
  // thread exits.
  static SnapshotGuardRecord* current() {
    SnapshotGuardRecord* record = current_;
    return record != nullptr ? record : attachCurrentThread();
  }

  // A free slot of this thread, or null when all are in use.
  std::atomic<const GuardedSnapshot*>* takeSlot() {
    return depth_ < kSlotsPerThread ? &slots_[depth_++] : nullptr;
  }
  // Ends the use of the slot taken last. Whatever it announced may be
  // deleted from here on, so it is not touched.
  void releaseSlot(std::atomic<const GuardedSnapshot*>* slot) {
    slot->store(nullptr, std::memory_order_release);
    --depth_;
    // A writer that found this slot announcing its snapshot counted it first
    // (then made its heavy fence) and left the deletion to the guards.
    asymmetricLightFence();
    if (retiredCount_.load(std::memory_order_relaxed) != 0) [[unlikely]] {
      deleteUnguardedRetired();
    }
  }

  // Deletes every retired snapshot that no slot guards.
  static void deleteUnguardedRetired();

 private:
  friend class SnapshotGuardThreadExit;
  friend struct SnapshotGuardRegistry;
  friend void retireSnapshot(GuardedSnapshot* snapshot);

  static SnapshotGuardRecord* attachCurrentThread();
  void clear();

  static constinit thread_local SnapshotGuardRecord* current_;
  // Snapshots retired and not yet deleted, in the whole process image.
  static std::atomic<size_t> retiredCount_;

  std::atomic<const GuardedSnapshot*> slots_[kSlotsPerThread] = {};
  size_t depth_ = 0;  // slots in use; touched only by the owning thread
  std::atomic<bool> inUse_{false};
  SnapshotGuardRecord* next_ = nullptr;  // the registry's list; set once
};

// Guards the snapshot a published pointer holds, for one scope.
template <typename Snapshot>
class SnapshotGuard {
 public:
  explicit SnapshotGuard(const std::atomic<Snapshot*>& published) {
    Snapshot* snapshot = published.load(std::memory_order_acquire);
    if (snapshot == nullptr) {
      return;  // nothing to read, nothing to guard
    }
    record_ = SnapshotGuardRecord::current();
    slot_ = record_ != nullptr ? record_->takeSlot() : nullptr;
    if (slot_ == nullptr) {
      guarded_ = false;
      return;
    }
    // Announce, then check that the snapshot is still the published one: a
    // writer that replaces it after the check finds the slot when it retires
    // it (its heavy fence pairs with the light one here). One that replaced
    // it before may be deleting it: it is not touched.
    while (true) {
      slot_->store(snapshot, std::memory_order_relaxed);
      asymmetricLightFence();
      Snapshot* again = published.load(std::memory_order_acquire);
      if (again == snapshot || again == nullptr) {
        snapshot_ = again;
        return;
      }
      snapshot = again;
    }
  }
  ~SnapshotGuard() {
    if (slot_ != nullptr) {
      record_->releaseSlot(slot_);
    }
  }
  SnapshotGuard(const SnapshotGuard&) = delete;
  SnapshotGuard& operator=(const SnapshotGuard&) = delete;

  // False when a snapshot was published but no slot was free: get() is null
  // and the caller must read another way.
  bool guarded() const { return guarded_; }

  // The guarded snapshot, or null when none is published.
  Snapshot* get() const { return snapshot_; }

 private:
  SnapshotGuardRecord* record_ = nullptr;
  std::atomic<const GuardedSnapshot*>* slot_ = nullptr;
  Snapshot* snapshot_ = nullptr;
  bool guarded_ = true;
};

}  // namespace quorvane::logging::internal
