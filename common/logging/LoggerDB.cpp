#include "common/logging/LoggerDB.h"

#include <array>
#include <set>
#include <stdexcept>
#include <vector>

#include "common/logging/LogCategory.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogHandlerFactory.h"
#include "common/logging/internal/SnapshotGuard.h"
#include "common/utilities/ExceptionString.h"
#include "common/utilities/ForkHandlerRegistry.h"

namespace quorvane {

using logging::internal::remakeLockInForkedChild;

struct LoggerDB::ContextProviders {
  std::array<ContextProvider, kMaxContextProviders> providers;
  std::atomic<size_t> count{0};
};

LoggerDB::LoggerDB() {
  auto root = std::make_unique<LogCategory>(LogCategory::DatabaseKey(), this, handlerListGate_);
  root_ = root.get();
  categories_.emplace(root_->name(), std::move(root));
  root_->setLevel(LogLevel::INFO, false);
  // Its lists are retired under this database's locks: that lock is taken
  // after them at a fork, so its fork entry must be the older one.
  logging::internal::installSnapshotForkHandling();
  ForkHandlerRegistry::registerForkHandlers(
      this, [this] { return prepareFork(); }, [this] { resumeForkParent(); },
      [this] { resumeForkChild(); });
}

LoggerDB::~LoggerDB() {
  ForkHandlerRegistry::unregisterForkHandlers(this);
  delete contextProviders_.load(std::memory_order_relaxed);
}

// Waiting here cannot deadlock: no holder of these locks waits for anything
// while holding them (handlers are never called, built or destroyed under
// them), and the writers, whose locks the fork has already taken, are not
// needed to release them.
bool LoggerDB::prepareFork() {
  forkMapLock_ = std::unique_lock<std::shared_mutex>(categoryMapMutex_);
  handlerListGate_.closeForFork();
  return true;
}

void LoggerDB::resumeForkParent() {
  handlerListGate_.openInParent();
  forkMapLock_.unlock();
}

void LoggerDB::resumeForkChild() {
  // A reader-writer lock remembers its writer by kernel thread id, which the
  // forking thread does not keep in the child: unlocking would be taken for a
  // reader's unlock. Nothing is half changed (the map and every handler list
  // were held still), and the only thread is this one, so fresh locks
  // describe the state exactly.
  handlerListGate_.remakeInChild();
  forkMapLock_.release();
  remakeLockInForkedChild(categoryMapMutex_, /*heldForWriting=*/true);
}

LogCategory* LoggerDB::categoryFor(std::string_view name) {
  {
    std::shared_lock<std::shared_mutex> lock(categoryMapMutex_);
    auto it = categories_.find(name);
    if (it != categories_.end()) {
      return it->second.get();
    }
  }
  std::unique_lock<std::shared_mutex> lock(categoryMapMutex_);
  return categoryForLocked(name);
}

LogCategory* LoggerDB::categoryForLocked(std::string_view name) {
  auto it = categories_.find(name);
  if (it != categories_.end()) {
    return it->second.get();
  }
  LogCategory* parent = categoryForLocked(parentCategoryName(name));
  auto category = std::make_unique<LogCategory>(LogCategory::DatabaseKey(), parent,
                                                canonicalCategoryName(name));
  LogCategory* result = category.get();
  categories_.emplace(result->name(), std::move(category));
  return result;
}

LogCategory* LoggerDB::findCategory(std::string_view name) const {
  std::shared_lock<std::shared_mutex> lock(categoryMapMutex_);
  auto it = categories_.find(name);
  return it == categories_.end() ? nullptr : it->second.get();
}

void LoggerDB::setLevel(std::string_view name, LogLevel level, bool inherit) {
  std::unique_lock<std::shared_mutex> registryLock(registryMutex_);
  std::unique_lock<std::shared_mutex> mapLock(categoryMapMutex_);
  categoryForLocked(name)->setLevel(level, inherit);
}

void LoggerDB::addHandlerFactory(std::unique_ptr<LogHandlerFactory> factory, bool replaceExisting) {
  std::string type(factory->getType());
  std::unique_lock<std::shared_mutex> lock(registryMutex_);
  if (replaceExisting) {
    handlerFactories_[type] = std::move(factory);
    return;
  }
  auto [it, inserted] = handlerFactories_.try_emplace(type, std::move(factory));
  if (!inserted) {
    // `factory` was not moved from: it is destroyed on return, the old one stays.
    throw std::range_error("a LogHandlerFactory for the type \"" + type + "\" already exists");
  }
}

size_t LoggerDB::flushHandlers() {
  std::set<std::shared_ptr<LogHandler>> handlers;
  {
    std::unique_lock<std::shared_mutex> lock(categoryMapMutex_);
    for (const auto& entry : categories_) {
      for (auto& handler : entry.second->handlersSnapshot()) {
        handlers.insert(std::move(handler));
      }
    }
  }
  for (const auto& handler : handlers) {
    handler->flush();
  }
  return handlers.size();
}

void LoggerDB::releaseHandlers() {
  std::vector<LogCategory*> categories;
  {
    std::unique_lock<std::shared_mutex> lock(categoryMapMutex_);
    categories.reserve(categories_.size());
    for (const auto& entry : categories_) {
      categories.push_back(entry.second.get());
    }
  }
  decltype(handlerFactories_) factories;
  decltype(namedHandlers_) namedHandlers;
  {
    std::unique_lock<std::shared_mutex> lock(registryMutex_);
    factories.swap(handlerFactories_);
    namedHandlers.swap(namedHandlers_);
  }
  for (LogCategory* category : categories) {
    category->removeAllHandlers();
  }
}

std::string LoggerDB::providedContextString() const {
  const ContextProviders* block = contextProviders_.load(std::memory_order_acquire);
  std::string text;
  const size_t count = block->count.load(std::memory_order_acquire);
  for (size_t i = 0; i < count; ++i) {
    try {
      std::string piece = block->providers[i]();
      if (!piece.empty()) {
        text += ' ';
        text += piece;
      }
    } catch (const std::exception& ex) {
      text += "[error:";
      text += exceptionDescription(ex);
      text += "]";
    }
  }
  return text;
}

void LoggerDB::addContextProvider(ContextProvider provider) {
  std::lock_guard<std::mutex> lock(contextProvidersMutex_);
  ContextProviders* block = contextProviders_.load(std::memory_order_relaxed);
  if (block == nullptr) {
    block = new ContextProviders();
    contextProviders_.store(block, std::memory_order_release);
  }
  const size_t count = block->count.load(std::memory_order_relaxed);
  if (count == kMaxContextProviders) {
    throw std::length_error("too many log context providers");
  }
  block->providers[count] = std::move(provider);
  block->count.store(count + 1, std::memory_order_release);
}

LogLevel LoggerDB::initializeFileLevelCache(std::string_view sourceFile,
                                            std::atomic<uint32_t>& cache,
                                            std::atomic<LogCategory*>& category) {
  std::unique_lock<std::shared_mutex> lock(categoryMapMutex_);
  if (LogCategory* existing = category.load(std::memory_order_relaxed)) {
    return existing->effectiveLevel();
  }
  LogCategory* found = categoryForLocked(categoryNameForSourceFile(sourceFile));
  category.store(found, std::memory_order_release);
  const LogLevel level = found->effectiveLevel();
  cache.store(toUnderlying(level), std::memory_order_release);
  found->registerLevelCache(LogCategory::DatabaseKey(), &cache);
  return level;
}

std::string_view categoryNameForSourceFile(std::string_view path) {
  constexpr std::string_view kGeneratedPrefix = "vask-out/";
  if (!path.starts_with(kGeneratedPrefix)) {
    return path;
  }
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) {
      // The last component ends the path without a '/', so there is nothing
      // after it to keep.
      break;
    }
    std::string_view component = path.substr(pos, end - pos);
    if (component.find('#') != std::string_view::npos) {
      return path.substr(end + 1);
    }
    pos = end + 1;
  }
  return path;
}

}  // namespace quorvane
