#include "common/utilities/ForkHandlerRegistry.h"

#include <pthread.h>

#include <algorithm>
#include <system_error>
#include <utility>

namespace quorvane {

ForkHandlerRegistry& ForkHandlerRegistry::instance() {
  // Never destroyed: fork() may run during static destruction, and entries are
  // removed by their owners whenever those are destroyed.
  static ForkHandlerRegistry* registry = [] {
    auto* created = new ForkHandlerRegistry();
    int rc = ::pthread_atfork(&ForkHandlerRegistry::prepareHook, &ForkHandlerRegistry::parentHook,
                              &ForkHandlerRegistry::childHook);
    if (rc != 0) {
      delete created;
      throw std::system_error(rc, std::generic_category(), "pthread_atfork failed");
    }
    return created;
  }();
  return *registry;
}

void ForkHandlerRegistry::registerForkHandlers(const void* key, PrepareCallback prepare,
                                               ResumeCallback parent, ResumeCallback child) {
  ForkHandlerRegistry& registry = instance();
  std::lock_guard<std::mutex> lock(registry.mutex_);
  registry.entries_.push_back(Entry{key, std::move(prepare), std::move(parent), std::move(child)});
}

void ForkHandlerRegistry::unregisterForkHandlers(const void* key) {
  if (key == nullptr) {
    return;
  }
  ForkHandlerRegistry& registry = instance();
  Entry removed{};
  {
    std::lock_guard<std::mutex> lock(registry.mutex_);
    auto& entries = registry.entries_;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [key](const Entry& entry) { return entry.key == key; });
    if (it == entries.end()) {
      return;
    }
    // The callbacks are destroyed after unlocking: their captures may own
    // objects whose destructors take locks of their own.
    removed = std::move(*it);
    entries.erase(it);
  }
}

size_t ForkHandlerRegistry::handlerCount() {
  ForkHandlerRegistry& registry = instance();
  std::lock_guard<std::mutex> lock(registry.mutex_);
  return registry.entries_.size();
}

void ForkHandlerRegistry::prepareHook() noexcept { instance().prepareAll(); }

void ForkHandlerRegistry::parentHook() noexcept { instance().resumeAll(false); }

void ForkHandlerRegistry::childHook() noexcept { instance().resumeAll(true); }

void ForkHandlerRegistry::prepareAll() noexcept {
  // Stays locked across the fork; released by resumeAll in each process.
  mutex_.lock();
  while (true) {
    size_t prepared = 0;
    bool allReady = true;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      if (!it->prepare()) {
        allReady = false;
        break;
      }
      ++prepared;
    }
    if (allReady) {
      return;
    }
    // Undo the entries already prepared, newest first, and try again.
    for (auto it = entries_.rbegin(); prepared > 0; ++it, --prepared) {
      it->parent();
    }
  }
}

void ForkHandlerRegistry::resumeAll(bool inChild) noexcept {
  for (Entry& entry : entries_) {
    if (inChild) {
      entry.child();
    } else {
      entry.parent();
    }
  }
  mutex_.unlock();
}

}  // namespace quorvane
