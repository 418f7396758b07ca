#pragma once

// LogCategory: one node of a logger database's category tree.
//
// A category has a level (with an inherit flag), an effective level derived
// from it and from its parent, a propagation threshold and a list of handlers.
// A message submitted to a category reaches the category's handlers and then,
// while its level is at or above each category's propagation threshold, the
// handlers of the ancestors. Ancestors' levels are not consulted on the way up.
//
// Lifetimes: categories are created by their LoggerDB and live as long as it;
// the process database is never destroyed, so category pointers stay valid for
// the life of the process.
//
// Thread safety: isEnabled, effectiveLevel and the propagation level are
// lock-free atomic reads, safe from any thread. dispatchMessage and
// submitMessage may run on any number of threads at once, without a lock:
// the handler list is an immutable snapshot that a change replaces as a
// whole, and dispatch guards the snapshot it reads (internal/SnapshotGuard.h),
// so handlers replaced meanwhile live until every dispatch that still calls
// them is done, and the last of those dispatches destroys them. Handlers are
// called with no framework lock held. A category without handlers costs one
// load.
// setLevel must be called with the owning database's configuration lock held
// (use LoggerDB::setLevel or a configuration operation); handler-list changes
// take the list's exclusive lock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/logging/LogLevel.h"

namespace quorvane {

class LogHandler;
class LogMessage;
class LoggerDB;

namespace logging::internal {
class HandlerListGate;
}  // namespace logging::internal

class LogCategory {
 public:
  // Set in the level word when the category inherits its parent's level.
  static constexpr uint32_t FLAG_INHERIT = 0x80000000;

  using HandlerList = std::vector<std::shared_ptr<LogHandler>>;
  using HandlerMap = std::unordered_map<std::shared_ptr<LogHandler>, std::shared_ptr<LogHandler>>;

  // Only the owning database makes categories and registers level caches: it
  // does both under its category-map lock. Its key opens these operations.
  class DatabaseKey {
    friend class LoggerDB;
    DatabaseKey() = default;
  };

  // The root of `db`, whose handler-list changes pass `gate`.
  LogCategory(DatabaseKey, LoggerDB* db, logging::internal::HandlerListGate& gate);
  // A new child of `parent` with the given canonical name; linked first among
  // the parent's children.
  LogCategory(DatabaseKey, LogCategory* parent, std::string canonicalName);
  // Keeps `cache` equal to the effective level from now on.
  void registerLevelCache(DatabaseKey, std::atomic<uint32_t>* cache);

  // Releases the handler list (categories of a database other than the
  // process's die with it).
  ~LogCategory();

  LogCategory(const LogCategory&) = delete;
  LogCategory& operator=(const LogCategory&) = delete;

  // The canonical name; "" for the root.
  const std::string& name() const { return name_; }
  LogCategory* parent() const { return parent_; }
  LoggerDB* db() const { return db_; }

  // The level a message must reach to be delivered here. One relaxed load.
  LogLevel effectiveLevel() const {
    return static_cast<LogLevel>(effectiveLevel_.load(std::memory_order_relaxed));
  }
  bool isEnabled(LogLevel level) const { return level >= effectiveLevel(); }

  // The category's own level and whether it inherits from its parent.
  std::pair<LogLevel, bool> levelInfo() const;
  LogLevel level() const { return levelInfo().first; }

  // Messages below the propagation level are not passed to the parent.
  LogLevel propagationLevel() const {
    return static_cast<LogLevel>(propagationLevel_.load(std::memory_order_relaxed));
  }
  void setPropagationLevel(LogLevel level) {
    propagationLevel_.store(toUnderlying(level), std::memory_order_relaxed);
  }

  // Sets the level, clamped into NONE..MAX_LEVEL (the root never inherits), and
  // pushes the new effective level to registered level caches and to the
  // inheriting part of the subtree. Requires the database's configuration lock.
  void setLevel(LogLevel level, bool inherit = true);

  // Delivers to this category's handlers, then up the tree under the
  // propagation thresholds. A handler that throws is reported as an internal
  // warning and the rest still receive the message.
  void dispatchMessage(const LogMessage& message) const;

  // dispatchMessage, then for a FATAL message: flush every handler of the
  // database (or, when there is none, write a one-line "FATAL:" report to
  // standard error) and abort the process.
  void submitMessage(const LogMessage& message) const;

  // A copy of the handler list.
  HandlerList handlersSnapshot() const;
  // Replace the list; the previous handlers are released after unlocking.
  void setHandlers(HandlerList handlers);
  void removeAllHandlers();
  // Replaces, in place and in order, every handler that is a key of `map`.
  void substituteHandlers(const HandlerMap& map);

 private:
  // The published handler list: never changed once published, replaced as a
  // whole, deleted once no dispatch reads it any more.
  struct HandlerSnapshot;

  void updateEffectiveLevel(uint32_t newEffectiveLevel);
  void deliverToHandlers(const LogMessage& message) const;
  void callHandlers(const std::shared_ptr<LogHandler>* handlers, size_t count,
                    const LogMessage& message) const;
  // Publishes `handlers` (under the list's lock) and returns the snapshot it
  // replaced, to be retired once the lock is released.
  HandlerSnapshot* publishLocked(HandlerList handlers);

  std::atomic<uint32_t> propagationLevel_{toUnderlying(LogLevel::NONE)};
  std::atomic<uint32_t> effectiveLevel_;
  std::atomic<uint32_t> levelWord_;
  LogCategory* const parent_;
  const std::string name_;
  // Taken exclusively to replace the list, shared to copy it.
  mutable std::shared_mutex handlersMutex_;
  // Null when the category has no handlers.
  std::atomic<HandlerSnapshot*> handlers_{nullptr};
  LoggerDB* const db_;
  logging::internal::HandlerListGate& handlerListGate_;
  // Tree links and level caches change only under the database's category-map
  // exclusive lock and are read with that lock held.
  LogCategory* firstChild_ = nullptr;
  LogCategory* nextSibling_ = nullptr;
  std::vector<std::atomic<uint32_t>*> levelCaches_;
};

}  // namespace quorvane
