#include "Logging/Shared/Client/src/MirrorCoreConfig.h"

#include <string>

#include "Logging/Shared/Client/src/ForwardingLogHandlerFactory.h"
#include "common/logging/LoggerDB.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {

// No namespace-scope objects with constructors here: the client set-up calls
// this while the module loads, possibly before this file's initialisers ran.
LogConfig mirroredConfig(const LogConfig& coreConfig) {
  LogConfig::CategoryConfigMap categories;
  for (const auto& [name, core] : coreConfig.categoryConfigs()) {
    // The way up stays open and no category but the root forwards, so every
    // message that passes its own category's level reaches logcore once.
    LogCategoryConfig copy(core.level, core.inherit, /*handlerNames=*/{});
    copy.propagate = LogLevel::NONE;
    categories.emplace(name, std::move(copy));
  }
  const std::string forwardingHandler(ForwardingLogHandlerFactory::kType);
  LogCategoryConfig& root =
      categories.try_emplace(std::string(), LogLevel::INFO, /*inherit=*/false).first->second;
  root.handlers = std::vector<std::string>{forwardingHandler};

  LogConfig::HandlerConfigMap handlers;
  handlers.emplace(forwardingHandler, LogHandlerConfig(ForwardingLogHandlerFactory::kType));
  return LogConfig(std::move(handlers), std::move(categories));
}

void mirrorCoreConfig() { LoggerDB::get().applyConfig(mirroredConfig(getLoggerConfig())); }

}  // namespace quorvane::kestro::logging
