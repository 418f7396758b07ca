#include "common/logging/internal/SnapshotGuard.h"

#include <mutex>

#include "common/utilities/ForkHandlerRegistry.h"

namespace quorvane::logging::internal {

// Every thread record ever made (they are reused, never freed) and the
// snapshots retired while guarded. Never destroyed: threads may read during
// the process's exit.
struct SnapshotGuardRegistry {
  std::atomic<SnapshotGuardRecord*> records{nullptr};
  std::mutex retiredMutex;
  GuardedSnapshot* retired = nullptr;  // under retiredMutex

  // Made on first use, with its fork entry: the retired list's mutex is taken
  // under the logger database's locks (a category retires its list while the
  // database applies a configuration), so it must be taken after them when
  // the process forks. The fork registry prepares its oldest entry last, so
  // this entry is registered before any database registers its own.
  static SnapshotGuardRegistry& get() {
    static SnapshotGuardRegistry* const registry = [] {
      auto* made = new SnapshotGuardRegistry();
      ForkHandlerRegistry::registerForkHandlers(
          made, [made] { return made->lockForFork(); }, [made] { made->unlockInParent(); },
          [made] { made->releaseOtherThreadsInChild(); });
      return made;
    }();
    return *registry;
  }

  bool isGuarded(const GuardedSnapshot* snapshot) const {
    for (SnapshotGuardRecord* record = records.load(std::memory_order_acquire); record != nullptr;
         record = record->next_) {
      for (const auto& slot : record->slots_) {
        if (slot.load(std::memory_order_acquire) == snapshot) {
          return true;
        }
      }
    }
    return false;
  }

  // Around a fork, on the forking thread: no retired list is half changed
  // when the process is copied.
  bool lockForFork() noexcept {
    retiredMutex.lock();
    return true;
  }
  void unlockInParent() noexcept { retiredMutex.unlock(); }
  // In a forked child the other threads are gone, and so are their reads.
  void releaseOtherThreadsInChild() noexcept {
    for (SnapshotGuardRecord* record = records.load(std::memory_order_acquire); record != nullptr;
         record = record->next_) {
      if (record != SnapshotGuardRecord::current_) {
        record->clear();
      }
    }
    retiredMutex.unlock();
  }
};

namespace {

// Set when the calling thread's record has been given back (thread exit): a
// guard made afterwards guards nothing.
constinit thread_local bool threadExited = false;

// Made while the image initialises, before any thread of ours exists (and
// earlier still when a logger database asks for it first).
[[maybe_unused]] const bool registryMadeEarly = (installSnapshotForkHandling(), true);

}  // namespace

constinit thread_local SnapshotGuardRecord* SnapshotGuardRecord::current_ = nullptr;
std::atomic<size_t> SnapshotGuardRecord::retiredCount_{0};

// Gives the thread's record back when the thread exits.
class SnapshotGuardThreadExit {
 public:
  void arm() { armed_ = true; }
  ~SnapshotGuardThreadExit() {
    threadExited = true;
    if (SnapshotGuardRecord* record = SnapshotGuardRecord::current_) {
      SnapshotGuardRecord::current_ = nullptr;
      record->clear();
    }
  }

 private:
  bool armed_ = false;
};

namespace {
thread_local SnapshotGuardThreadExit threadExit;
}  // namespace

void installSnapshotForkHandling() { SnapshotGuardRegistry::get(); }

void SnapshotGuardRecord::clear() {
  for (auto& slot : slots_) {
    slot.store(nullptr, std::memory_order_seq_cst);
  }
  depth_ = 0;
  inUse_.store(false, std::memory_order_release);
}

SnapshotGuardRecord* SnapshotGuardRecord::attachCurrentThread() {
  if (threadExited) {
    return nullptr;
  }
  SnapshotGuardRegistry& registry = SnapshotGuardRegistry::get();
  SnapshotGuardRecord* record = registry.records.load(std::memory_order_acquire);
  for (; record != nullptr; record = record->next_) {
    bool free = false;
    if (!record->inUse_.load(std::memory_order_relaxed) &&
        record->inUse_.compare_exchange_strong(free, true, std::memory_order_acquire)) {
      break;
    }
  }
  if (record == nullptr) {
    record = new SnapshotGuardRecord();
    record->inUse_.store(true, std::memory_order_relaxed);
    record->next_ = registry.records.load(std::memory_order_relaxed);
    while (
        !registry.records.compare_exchange_weak(record->next_, record, std::memory_order_acq_rel)) {
    }
  }
  current_ = record;
  threadExit.arm();  // the record is given back when the thread exits
  return record;
}

void SnapshotGuardRecord::deleteUnguardedRetired() {
  SnapshotGuardRegistry& registry = SnapshotGuardRegistry::get();
  GuardedSnapshot* unguarded = nullptr;
  {
    std::lock_guard<std::mutex> lock(registry.retiredMutex);
    GuardedSnapshot** link = &registry.retired;
    while (*link != nullptr) {
      GuardedSnapshot* snapshot = *link;
      if (registry.isGuarded(snapshot)) {
        link = &snapshot->nextRetired_;
        continue;
      }
      *link = snapshot->nextRetired_;
      snapshot->nextRetired_ = unguarded;
      unguarded = snapshot;
      retiredCount_.fetch_sub(1, std::memory_order_seq_cst);
    }
  }
  // Outside the lock: a snapshot's destructor may retire snapshots itself.
  while (unguarded != nullptr) {
    GuardedSnapshot* next = unguarded->nextRetired_;
    delete unguarded;
    unguarded = next;
  }
}

void retireSnapshot(GuardedSnapshot* snapshot) {
  if (snapshot == nullptr) {
    return;
  }
  SnapshotGuardRegistry& registry = SnapshotGuardRegistry::get();
  {
    std::lock_guard<std::mutex> lock(registry.retiredMutex);
    // Counted before the slots are scanned: a guard that still holds the
    // snapshot sees the count when it ends, and deletes it then. The heavy
    // fence pairs with the light ones of the guards: a guard that announced
    // the snapshot before it is seen by the scan, and one that announces it
    // afterwards finds it no longer published; a guard that let go before it
    // is seen as free, and one that lets go afterwards sees the count.
    SnapshotGuardRecord::retiredCount_.fetch_add(1, std::memory_order_seq_cst);
    asymmetricHeavyFence();
    if (registry.isGuarded(snapshot)) {
      snapshot->nextRetired_ = registry.retired;
      registry.retired = snapshot;
      return;
    }
    SnapshotGuardRecord::retiredCount_.fetch_sub(1, std::memory_order_seq_cst);
  }
  // Only this snapshot: others waiting for their guards are deleted by those
  // guards, on threads that hold no lock of the caller's.
  delete snapshot;
}

}  // namespace quorvane::logging::internal
