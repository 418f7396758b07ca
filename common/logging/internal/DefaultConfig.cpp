#include "common/logging/internal/DefaultConfig.h"

#include "common/logging/LoggerDB.h"

namespace quorvane::logging_internal {

void applyDefaultConfig(LoggerDB& db) {
  // The database constructor already sets the root to INFO. Until a handler
  // type that writes to standard error is registered, the database starts
  // without handlers.
  (void)db;
}

}  // namespace quorvane::logging_internal
