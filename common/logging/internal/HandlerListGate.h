#pragma once

// HandlerListGate: what a fork needs of a logger database's handler lists.
//
// Each category guards its handler list with a reader-writer lock of its own.
// Reading (dispatch, snapshots) takes only that lock. A change passes the gate
// in shared mode first (enterForChange), then takes the list's lock
// exclusively. Before a fork the database closes the gate, which waits for the
// changes in progress and holds off new ones, so no list is half changed when
// the process is copied; the parent opens it again afterwards. The child, whose
// only thread is the forking one, makes the gate and every list lock afresh: a
// reader-writer lock remembers its writer by kernel thread id, which the
// forking thread does not keep in the child, and other threads of the parent
// may have been reading lists when the process was copied.
//
// Each list lock is registered once (addListLock), while its category is made.
//
// Thread safety: enterForChange from any thread. addListLock, closeForFork,
// openInParent and remakeInChild only with the database's category-map lock
// held exclusively (the categories are made, and the fork callbacks run, under
// it), closeForFork/openInParent/remakeInChild on the forking thread. Lock
// order: the gate comes after the category-map lock and before any list lock.

#include <mutex>
#include <shared_mutex>
#include <vector>

namespace quorvane::logging::internal {

class HandlerListGate {
 public:
  HandlerListGate() = default;
  HandlerListGate(const HandlerListGate&) = delete;
  HandlerListGate& operator=(const HandlerListGate&) = delete;

  // Held while one handler list changes.
  std::shared_lock<std::shared_mutex> enterForChange() {
    return std::shared_lock<std::shared_mutex>(gate_);
  }

  // A category's list lock, made afresh in a forked child. It must live as
  // long as the gate (categories live as long as their database).
  void addListLock(std::shared_mutex& listLock) { listLocks_.push_back(&listLock); }

  // Around a fork.
  void closeForFork();
  void openInParent();
  void remakeInChild();

 private:
  std::shared_mutex gate_;
  std::unique_lock<std::shared_mutex> heldForFork_;
  std::vector<std::shared_mutex*> listLocks_;
};

// Makes `mutex` a new, unlocked lock in a forked child, in place. The calling
// thread may hold it for writing (taken before the fork); other threads of
// the parent may have held it for reading.
void remakeLockInForkedChild(std::shared_mutex& mutex, bool heldForWriting);

}  // namespace quorvane::logging::internal
