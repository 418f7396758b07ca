#pragma once

// ScopedLogLevel: sets a category's level for one scope and restores the
// previous level and inherit flag afterwards (through LoggerDB::setLevel, so
// it is safe while other threads log).

#include <string>
#include <string_view>

#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::test {

class ScopedLogLevel {
 public:
  ScopedLogLevel(LoggerDB& db, std::string_view category, LogLevel level, bool inherit = false)
      : db_(db), category_(category) {
    auto [oldLevel, oldInherit] = db.categoryFor(category)->levelInfo();
    oldLevel_ = oldLevel;
    oldInherit_ = oldInherit;
    db_.setLevel(category_, level, inherit);
  }
  ~ScopedLogLevel() { db_.setLevel(category_, oldLevel_, oldInherit_); }
  ScopedLogLevel(const ScopedLogLevel&) = delete;
  ScopedLogLevel& operator=(const ScopedLogLevel&) = delete;

 private:
  LoggerDB& db_;
  std::string category_;
  LogLevel oldLevel_;
  bool oldInherit_;
};

}  // namespace quorvane::test
