#pragma once

// Logger: a handle on one named category, for KLOG_TO / KLOGF_TO.
//
//   static const Logger kSyncLog("qsyn.Database");
//   KLOGF_TO(kSyncLog, DBG, "applied {} rows", rows);
//
// The category is looked up (and created) once, at construction, in the
// process database or in the given one. The enabled check is one relaxed load
// of the category's effective level.
//
// Thread safety: immutable after construction; usable from any thread.

#include <string_view>

#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"

namespace quorvane {

class Logger {
 public:
  explicit Logger(std::string_view name) : Logger(LoggerDB::get(), name) {}
  Logger(LoggerDB& db, std::string_view name) : category_(db.categoryFor(name)) {}

  LogCategory* category() const { return category_; }
  bool isEnabled(LogLevel level) const { return category_->isEnabled(level); }
  // The category when `level` is enabled, else null (used by the macros).
  LogCategory* enabledCategory(LogLevel level) const {
    return category_->isEnabled(level) ? category_ : nullptr;
  }

 private:
  LogCategory* category_;
};

}  // namespace quorvane
