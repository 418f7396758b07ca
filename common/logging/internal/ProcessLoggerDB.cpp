// Creation of the process's LoggerDB: once, on first use, never destroyed, with
// its handlers released at exit so every writer finishes its queue.

#include <cstdlib>

#include "common/logging/LoggerDB.h"
#include "common/logging/internal/DefaultConfig.h"

namespace quorvane {
namespace {

void releaseProcessHandlers() { LoggerDB::get().releaseHandlers(); }

LoggerDB* createProcessLoggerDB() {
  auto* db = new LoggerDB();
  logging::internal::applyDefaultConfig(*db);
  std::atexit(&releaseProcessHandlers);
  return db;
}

}  // namespace

LoggerDB& LoggerDB::get() {
  // Function-local static: one database even under concurrent first calls.
  static LoggerDB* const db = createProcessLoggerDB();
  return *db;
}

}  // namespace quorvane
