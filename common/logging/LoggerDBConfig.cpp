// The configuration operations of LoggerDB: merging or replacing a LogConfig
// into the running state, and reporting the running state as a LogConfig.
//
// A change runs in three phases under the registry's exclusive lock:
// preparing builds every configured handler into a private ConfigChange and
// checks every name, so all failures happen before anything shared is touched;
// the categories are then updated; finally the named-handler registry is
// rebuilt from the prepared handlers. Handlers that end up unused are released
// after the lock is gone, and only then are their registry entries pruned.

#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/logging/CategoryName.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogConfig.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogHandlerFactory.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/internal/Quoted.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane {

using logging::internal::quoted;

namespace {

// The configuration a handler entry stands for: the entry itself, or, for an
// entry without a type, the existing handler's configuration with the entry's
// options merged in (built in `merged`).
const LogHandlerConfig& effectiveHandlerConfig(const std::string& name,
                                               const LogHandlerConfig& entry,
                                               const std::shared_ptr<LogHandler>& existing,
                                               LogHandlerConfig& merged) {
  if (entry.type) {
    return entry;
  }
  if (!existing) {
    throw std::invalid_argument("cannot update unknown log handler " + quoted(name));
  }
  merged = existing->getConfig();
  if (!merged.type) {
    throw std::invalid_argument("existing log handler " + quoted(name) +
                                " is missing type information");
  }
  merged.mergeOptions(entry);
  return merged;
}

// A new handler from `factory` (an update of `existing` when there is one).
// Every failure becomes an invalid-argument error naming the handler.
std::shared_ptr<LogHandler> buildHandler(LogHandlerFactory& factory, const std::string& name,
                                         const std::shared_ptr<LogHandler>& existing,
                                         const LogHandlerConfig::Options& options) {
  const std::string failure = std::string("error ") + (existing ? "updating" : "creating") +
                              " log handler " + quoted(name) + ": ";
  std::shared_ptr<LogHandler> handler;
  try {
    handler = existing ? factory.updateHandler(existing, options) : factory.createHandler(options);
  } catch (const std::exception& ex) {
    throw std::invalid_argument(failure + exceptionDescription(ex));
  } catch (...) {
    throw std::invalid_argument(failure + "unknown exception");
  }
  if (!handler) {
    // A null handler in a category's list would crash the first dispatch.
    throw std::invalid_argument(failure + "the factory returned no handler");
  }
  return handler;
}

}  // namespace

struct LoggerDB::ConfigChange {
  // Every named handler as it will be after the change: the existing ones
  // plus those the config creates or replaces.
  std::unordered_map<std::string, std::shared_ptr<LogHandler>> live;
  // Old handler -> the object that takes its place in every category.
  LogCategory::HandlerMap substitutions;
  // The config's categories under any spelling of their names.
  std::unordered_map<std::string_view, const LogCategoryConfig*, CategoryNameHash,
                     CategoryNameEqual>
      categories;
  // Handler lists taken off categories, kept so that no handler is destroyed
  // while a framework lock is held.
  std::vector<LogCategory::HandlerList> retired;

  LogCategory::HandlerList handlersNamed(const std::vector<std::string>& names) const {
    LogCategory::HandlerList handlers;
    handlers.reserve(names.size());
    for (const std::string& name : names) {
      handlers.push_back(live.at(name));  // checked while preparing
    }
    return handlers;
  }

  // Indexes the config's categories; a category spelled in two ways is an
  // error, since which spelling won would depend on the map's order.
  void indexCategories(const LogConfig& config) {
    for (const auto& [name, categoryConfig] : config.categoryConfigs()) {
      auto [it, inserted] = categories.emplace(name, &categoryConfig);
      if (!inserted) {
        throw std::invalid_argument("category " + quoted(canonicalCategoryName(name)) +
                                    " listed multiple times under different names: " +
                                    quoted(it->first) + " and " + quoted(name));
      }
    }
  }

  // Builds the handler of one entry through its type's factory.
  void prepareHandler(const LoggerDB& db, const std::string& name, const LogHandlerConfig& entry) {
    std::shared_ptr<LogHandler> existing;
    if (auto it = live.find(name); it != live.end()) {
      existing = it->second;
    }
    LogHandlerConfig merged;
    const LogHandlerConfig& effective = effectiveHandlerConfig(name, entry, existing, merged);
    auto factoryIt = db.handlerFactories_.find(*effective.type);
    if (factoryIt == db.handlerFactories_.end()) {
      throw std::invalid_argument("unknown log handler type " + quoted(*effective.type));
    }
    std::shared_ptr<LogHandler> handler =
        buildHandler(*factoryIt->second, name, existing, effective.options);
    if (existing && handler != existing) {
      substitutions[existing] = handler;
    }
    live[name] = std::move(handler);
  }

  // Every handler a category lists must exist after the change.
  void checkCategoryHandlers(const LogConfig& config) const {
    for (const auto& [categoryName, categoryConfig] : config.categoryConfigs()) {
      if (!categoryConfig.handlers) {
        continue;
      }
      for (const std::string& handlerName : *categoryConfig.handlers) {
        if (live.find(handlerName) == live.end()) {
          throw std::invalid_argument("unknown log handler " + quoted(handlerName) +
                                      " configured for log category " + quoted(categoryName));
        }
      }
    }
  }

  void release() {
    live.clear();
    substitutions.clear();
    retired.clear();
  }
};

void LoggerDB::prepareConfigChange(const LogConfig& config, ConfigChange& change) {
  change.indexCategories(config);
  for (const auto& [name, weak] : namedHandlers_) {
    if (std::shared_ptr<LogHandler> handler = weak.lock()) {
      change.live.emplace(name, std::move(handler));
    }
  }
  for (const auto& [name, handlerConfig] : config.handlerConfigs()) {
    change.prepareHandler(*this, name, handlerConfig);
  }
  change.checkCategoryHandlers(config);
}

void LoggerDB::commitConfigChange(ConfigChange& change) {
  namedHandlers_.clear();
  for (const auto& [name, handler] : change.live) {
    namedHandlers_.emplace(name, handler);
  }
}

void LoggerDB::pruneExpiredHandlers() {
  std::unique_lock<std::shared_mutex> registryLock(registryMutex_);
  std::erase_if(namedHandlers_, [](const auto& entry) { return entry.second.expired(); });
}

void LoggerDB::applyConfig(const LogConfig& config) {
  // Declared before the lock, so that on every path the handlers it holds are
  // released only after the lock.
  ConfigChange change;
  {
    std::unique_lock<std::shared_mutex> registryLock(registryMutex_);
    prepareConfigChange(config, change);

    if (!change.substitutions.empty()) {
      // Categories the config does not name switch to the new objects too.
      std::shared_lock<std::shared_mutex> mapLock(categoryMapMutex_);
      for (const auto& entry : categories_) {
        entry.second->substituteHandlers(change.substitutions);
      }
    }

    {
      std::unique_lock<std::shared_mutex> mapLock(categoryMapMutex_);
      for (const auto& [name, categoryConfig] : config.categoryConfigs()) {
        LogCategory* category = categoryForLocked(name);
        if (categoryConfig.handlers) {
          change.retired.push_back(category->handlersSnapshot());
          category->setHandlers(change.handlersNamed(*categoryConfig.handlers));
        }
        category->setLevel(categoryConfig.level, categoryConfig.inherit);
        category->setPropagationLevel(categoryConfig.propagate);
      }
    }

    commitConfigChange(change);
  }
  change.release();
  pruneExpiredHandlers();
}

void LoggerDB::replaceConfig(const LogConfig& config) {
  ConfigChange change;
  {
    std::unique_lock<std::shared_mutex> registryLock(registryMutex_);
    prepareConfigChange(config, change);

    {
      std::unique_lock<std::shared_mutex> mapLock(categoryMapMutex_);
      categoryForLocked("");
      for (const auto& entry : config.categoryConfigs()) {
        categoryForLocked(entry.first);
      }
    }

    {
      std::shared_lock<std::shared_mutex> mapLock(categoryMapMutex_);
      for (const auto& entry : categories_) {
        LogCategory* category = entry.second.get();
        change.retired.push_back(category->handlersSnapshot());
        auto it = change.categories.find(category->name());
        if (it != change.categories.end()) {
          const LogCategoryConfig& categoryConfig = *it->second;
          category->setLevel(categoryConfig.level, categoryConfig.inherit);
          category->setHandlers(categoryConfig.handlers
                                    ? change.handlersNamed(*categoryConfig.handlers)
                                    : LogCategory::HandlerList{});
        } else {
          category->removeAllHandlers();
          if (category->parent() == nullptr) {
            category->setLevel(LogLevel::INFO, false);
          } else {
            category->setLevel(LogLevel::MAX_LEVEL, true);
          }
        }
      }
    }

    commitConfigChange(change);
  }
  change.release();
  pruneExpiredHandlers();
}

LogConfig LoggerDB::currentConfig() const { return reportConfig(false); }

LogConfig LoggerDB::completeConfig() const { return reportConfig(true); }

LogConfig LoggerDB::reportConfig(bool includeUnconfigured) const {
  LogConfig config;
  // Every handler seen, with its reported name. Holding them here also keeps
  // any handler from being destroyed under the locks below.
  std::unordered_map<std::shared_ptr<LogHandler>, std::string> names;

  std::shared_lock<std::shared_mutex> registryLock(registryMutex_);
  for (const auto& [name, weak] : namedHandlers_) {
    if (std::shared_ptr<LogHandler> handler = weak.lock()) {
      config.handlerConfigs().emplace(name, handler->getConfig());
      names.emplace(std::move(handler), name);
    }
  }

  size_t anonymousCount = 0;
  std::shared_lock<std::shared_mutex> mapLock(categoryMapMutex_);
  for (const auto& entry : categories_) {
    const LogCategory& category = *entry.second;
    const auto [level, inherit] = category.levelInfo();
    LogCategory::HandlerList handlers = category.handlersSnapshot();
    if (!includeUnconfigured && handlers.empty() && level == LogLevel::MAX_LEVEL && inherit) {
      continue;  // untouched since it was created
    }

    std::vector<std::string> handlerNames;
    handlerNames.reserve(handlers.size());
    for (std::shared_ptr<LogHandler>& handler : handlers) {
      auto it = names.find(handler);
      if (it == names.end()) {
        std::string name;
        do {
          name = "anonymousHandler" + std::to_string(++anonymousCount);
        } while (namedHandlers_.count(name) != 0);
        config.handlerConfigs().emplace(name, handler->getConfig());
        it = names.emplace(std::move(handler), std::move(name)).first;
      }
      handlerNames.push_back(it->second);
    }

    LogCategoryConfig categoryConfig(level, inherit, std::move(handlerNames));
    categoryConfig.propagate = category.propagationLevel();
    config.categoryConfigs().emplace(category.name(), std::move(categoryConfig));
  }
  return config;
}

}  // namespace quorvane
