#include "common/logging/internal/DefaultConfig.h"

#include <memory>

#include "common/logging/LogConfig.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/StreamHandlerFactory.h"

namespace quorvane::logging::internal {

void applyDefaultConfig(LoggerDB& db) {
  // Until something else is configured, INFO and above go synchronously to
  // standard error in the glog layout.
  db.addHandlerFactory(std::make_unique<StreamHandlerFactory>());
  LogConfig config(
      {{"default", LogHandlerConfig("stream", {{"stream", "stderr"}, {"async", "false"}})}},
      {{"", LogCategoryConfig(LogLevel::INFO, false, {"default"})}});
  db.applyConfig(config);
}

}  // namespace quorvane::logging::internal
