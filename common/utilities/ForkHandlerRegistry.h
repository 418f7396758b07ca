#pragma once

// ForkHandlerRegistry: lets objects that own threads or locks take part in
// fork(). Each registered entry has a key (the registering object's address)
// and three callbacks:
//
// - prepare, called in the forking process before the fork. It returns true
//   when the object is ready; returning false makes the registry undo the
//   entries prepared so far (calling their parent callbacks) and start over.
// - parent, called in the parent after the fork.
// - child, called in the child after the fork.
//
// Order: prepare runs from the most recently registered entry to the oldest;
// parent and child run from the oldest to the newest, so the object prepared
// last is resumed first. The registry's mutex is taken before the first prepare
// callback and released after the last parent or child callback, so no entry is
// added or removed while a fork is in progress.
//
// The registry is process-wide, created on first use (which installs its
// pthread_atfork hooks; a failure there throws std::system_error with
// "pthread_atfork failed") and never destroyed.
//
// Thread safety: registerForkHandlers and unregisterForkHandlers may be called
// from any thread; they wait while a fork is in progress. Callbacks run on the
// forking thread with the registry mutex held: they must not register or
// unregister entries, and must not throw (an escaping exception ends the
// process). An entry must be unregistered before its callbacks stop being
// valid.

#include <functional>
#include <mutex>
#include <vector>

namespace quorvane {

class ForkHandlerRegistry {
 public:
  using PrepareCallback = std::function<bool()>;
  using ResumeCallback = std::function<void()>;

  // Adds an entry. Several entries may share a key.
  static void registerForkHandlers(const void* key, PrepareCallback prepare, ResumeCallback parent,
                                   ResumeCallback child);

  // Removes the oldest entry registered under `key`. A null key, or a key with
  // no entry, does nothing.
  static void unregisterForkHandlers(const void* key);

  // Number of entries registered (for diagnostics and tests).
  static size_t handlerCount();

  ForkHandlerRegistry(const ForkHandlerRegistry&) = delete;
  ForkHandlerRegistry& operator=(const ForkHandlerRegistry&) = delete;

 private:
  struct Entry {
    const void* key;
    PrepareCallback prepare;
    ResumeCallback parent;
    ResumeCallback child;
  };

  ForkHandlerRegistry() = default;
  ~ForkHandlerRegistry() = default;

  static ForkHandlerRegistry& instance();

  // The pthread_atfork hooks.
  static void prepareHook() noexcept;
  static void parentHook() noexcept;
  static void childHook() noexcept;

  void prepareAll() noexcept;
  void resumeAll(bool inChild) noexcept;

  std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace quorvane
