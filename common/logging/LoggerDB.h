#pragma once

// LoggerDB: the categories, handler factories and named handlers of one
// program image.
//
// Every deliverable that carries the framework has its own database, reached
// through LoggerDB::get(): created on first use (safely under concurrent first
// calls), never destroyed, and its handlers are released at process exit so
// that writers finish their queues. Other instances can be made for tests.
//
// Locks, in the only order in which they nest: the handler registry's lock
// (held exclusively for a whole configuration change), then the category map's
// lock, then the handler-list gate (see Fork), then a category's handler-list
// lock. Handlers are never called with a
// framework lock held, except that configuration operations call factories and
// handlers' getConfig under the registry lock.
//
// Fork: before a fork (after every asynchronous writer has stopped its
// thread) the category map's lock is taken, and so is a gate that every change
// of a category's handler list passes in shared mode, so that when the process
// is copied no thread is changing the map or a handler list. After the fork the
// parent releases both; the child makes them, and every category's
// handler-list lock (which threads that do not exist there may have been
// reading under), afresh. Line layouts and file names in a child break times
// down without the C library's time-zone code, whose lock a child may inherit
// held (see LocalTime.h). A child can therefore log and flush whatever the
// parent's other threads were doing, inside the C library's local-time
// functions included, unless one of them was changing the configuration: the
// registry lock is not taken around a fork (a configuration change holds it
// while it creates writers, which register themselves with the fork handlers),
// so such a child may be unable to change or report its configuration. Outside
// this promise is code that calls the C library's time-zone functions itself
// in a child, glog among it: a message logged through glog in a child may hang
// in glog's own localtime_r before the bridge sees it.
//
// Thread safety: every member function may be called from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/logging/CategoryName.h"
#include "common/logging/LogConfig.h"
#include "common/logging/LogLevel.h"
#include "common/logging/internal/HandlerListGate.h"

namespace quorvane {

class LogCategory;
class LogHandler;
class LogHandlerFactory;

class LoggerDB {
 public:
  // Receives the framework's internal warnings: errors that cannot be thrown
  // to a caller (a handler failing during dispatch, a writer failing to write).
  using InternalWarningHook = void (*)(std::string_view sourceFile, int lineNumber,
                                       std::string_view text);
  // Returns text appended to every message's context (see LogMessage).
  using ContextProvider = std::function<std::string()>;
  static constexpr size_t kMaxContextProviders = 16;

  // The database of this program image.
  static LoggerDB& get();

  // A separate, empty database: the root at INFO, no handlers, no factories.
  LoggerDB();
  ~LoggerDB();
  LoggerDB(const LoggerDB&) = delete;
  LoggerDB& operator=(const LoggerDB&) = delete;

  // Finds the category of `name` (any spelling, see CategoryName.h), creating
  // it and its missing ancestors. Never null; the pointer stays valid for the
  // database's lifetime.
  LogCategory* categoryFor(std::string_view name);
  // Finds the category without creating it; null when absent.
  LogCategory* findCategory(std::string_view name) const;

  // Sets one category's level under the configuration lock, creating the
  // category if needed.
  void setLevel(std::string_view name, LogLevel level, bool inherit = true);

  // Registers a factory under the type it reports. Without replaceExisting, a
  // second factory for a type throws std::range_error and the old one stays.
  void addHandlerFactory(std::unique_ptr<LogHandlerFactory> factory, bool replaceExisting = false);

  // Configuration. Both apply operations hold the registry lock exclusively
  // for the whole change (so they serialise with each other and with
  // setLevel), create or update every configured handler through its factory
  // first, and throw std::invalid_argument before any category or the
  // named-handler registry is touched when a handler cannot be built, a
  // handler type is unknown, a typeless handler config names no existing
  // handler, a category lists an unknown handler, or the config spells one
  // category in two ways. A failed operation leaves the database exactly as it
  // was. Factories are called with the registry lock held and must not call
  // back into these operations. Handlers no category uses afterwards are
  // destroyed before the call returns, with no framework lock held.
  //
  // applyConfig merges: only the named handlers and categories change. A
  // category config without a handler list keeps the category's handlers. A
  // handler config without a type merges its options into the existing
  // handler's. When a factory's updateHandler returns a new object, every
  // category that listed the old one, named in the config or not, switches to
  // it.
  void applyConfig(const LogConfig& config);
  // replaceConfig makes the running state the config: configured categories
  // get their level, inherit flag and handler list (none when the list is
  // absent); every other category loses its handlers and goes back to its
  // initial level (the root to INFO without inheritance, the rest to
  // MAX_LEVEL inheriting). Propagation thresholds are left unchanged; use
  // applyConfig to set them. Named handlers that no category lists any more
  // are destroyed.
  void replaceConfig(const LogConfig& config);
  // The running state: every named handler that still exists, and every
  // category that differs from the state of a category nobody configured (the
  // root always). Handlers attached without a name are reported under
  // "anonymousHandler1", "anonymousHandler2", ... (skipping names in use).
  // Takes only shared locks; safe while other threads log.
  LogConfig currentConfig() const;
  // The same, with every category.
  LogConfig completeConfig() const;

  // Flushes every handler attached to any category once; returns how many
  // distinct handlers were flushed.
  size_t flushHandlers();

  // Detaches every handler from every category and empties both registries
  // (factories included). Handlers are destroyed outside every lock.
  void releaseHandlers();

  // The context text of a new message: each provider's non-empty result
  // preceded by a blank, in registration order. Empty without any work when no
  // provider is registered (one load and a test, inlined into the caller).
  std::string contextString() const {
    if (contextProviders_.load(std::memory_order_acquire) == nullptr) {
      return {};
    }
    return providedContextString();
  }
  // Adds a provider; throws std::length_error beyond kMaxContextProviders.
  void addContextProvider(ContextProvider provider);

  // Reports an internal warning to the installed hook. Rate-limited; without a
  // hook the warning is discarded.
  static void internalWarning(std::string_view sourceFile, int lineNumber, std::string_view text);
  // Installs the hook (null removes it); returns the previous one.
  static InternalWarningHook setInternalWarningHook(InternalWarningHook hook);
  // At most `maxPerInterval` warnings reach the hook per `interval`.
  static void setInternalWarningRateLimit(uint64_t maxPerInterval,
                                          std::chrono::milliseconds interval);

  // For per-file log statements (internal): fills `cache` with the effective
  // level of the category named after `sourceFile`, records the category in
  // `category` and keeps the cache in step with later level changes. Returns
  // the effective level.
  LogLevel initializeFileLevelCache(std::string_view sourceFile, std::atomic<uint32_t>& cache,
                                    std::atomic<LogCategory*>& category);

 private:
  struct ContextProviders;
  struct ConfigChange;
  using CategoryMap = std::unordered_map<std::string_view, std::unique_ptr<LogCategory>,
                                         CategoryNameHash, CategoryNameEqual>;

  // Requires categoryMapMutex_ held exclusively.
  LogCategory* categoryForLocked(std::string_view name);
  // contextString when providers exist.
  std::string providedContextString() const;

  // The phases of a configuration change; registryMutex_ held exclusively.
  // prepareConfigChange builds every handler into `change` without touching
  // the registry or any category; commitConfigChange writes the registry.
  void prepareConfigChange(const LogConfig& config, ConfigChange& change);
  void commitConfigChange(ConfigChange& change);
  // Drops registry entries whose handler no longer exists.
  void pruneExpiredHandlers();
  LogConfig reportConfig(bool includeUnconfigured) const;

  // Fork callbacks (see the class comment).
  bool prepareFork();
  void resumeForkParent();
  void resumeForkChild();

  // Handler registry, under registryMutex_ (outermost lock).
  mutable std::shared_mutex registryMutex_;
  std::unordered_map<std::string, std::unique_ptr<LogHandlerFactory>> handlerFactories_;
  std::unordered_map<std::string, std::weak_ptr<LogHandler>> namedHandlers_;

  // Category map, under categoryMapMutex_. Keys view each category's own name.
  mutable std::shared_mutex categoryMapMutex_;
  CategoryMap categories_;
  LogCategory* root_ = nullptr;

  std::mutex contextProvidersMutex_;
  std::atomic<ContextProviders*> contextProviders_{nullptr};

  // Passed by every change of a category's handler list (the innermost lock
  // but one); closed across a fork.
  logging::internal::HandlerListGate handlerListGate_;
  // Held by the forking thread across a fork.
  std::unique_lock<std::shared_mutex> forkMapLock_;
};

// The category name a source file's per-file log statements use: the path as
// the compiler gave it, except that under "vask-out/" everything up to and
// including the first component holding a '#' is dropped.
std::string_view categoryNameForSourceFile(std::string_view path);

}  // namespace quorvane
