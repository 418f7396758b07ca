// Creation of the process's LoggerDB: once, on first use, never destroyed, with
// its handlers released at exit so every writer finishes its queue.

#include "common/logging/LoggerDB.h"
#include "common/logging/internal/DefaultConfig.h"

namespace quorvane {
namespace {

// Releases the handlers when destroyed: at exit, or when the shared object
// holding this copy of the framework is unloaded. A static object rather than
// std::atexit, whose registration ThreadSanitizer's interceptor ties to no
// shared object, so it would run at exit after an unloaded module was gone.
struct HandlerRelease {
  ~HandlerRelease() { LoggerDB::get().releaseHandlers(); }
};

LoggerDB* createProcessLoggerDB() {
  auto* db = new LoggerDB();
  logging::internal::applyDefaultConfig(*db);
  static HandlerRelease release;
  return db;
}

}  // namespace

LoggerDB& LoggerDB::get() {
  // Function-local static: one database even under concurrent first calls.
  static LoggerDB* const db = createProcessLoggerDB();
  return *db;
}

}  // namespace quorvane
