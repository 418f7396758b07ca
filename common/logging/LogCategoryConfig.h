#pragma once

// LogCategoryConfig: what a configuration says about one category: its level
// and inherit flag, its propagation threshold (messages below it are not
// passed to the parent) and, optionally, its handler list by handler name.
// An absent list leaves the category's handlers as they are when merging and
// clears them when replacing (see LoggerDB::applyConfig / replaceConfig).
//
// A plain value; not synchronised.

#include <optional>
#include <string>
#include <vector>

#include "common/logging/LogLevel.h"

namespace quorvane {

class LogCategoryConfig {
 public:
  LogCategoryConfig() = default;
  explicit LogCategoryConfig(LogLevel lvl, bool inh = true) : level(lvl), inherit(inh) {}
  LogCategoryConfig(LogLevel lvl, bool inh, std::vector<std::string> handlerNames)
      : level(lvl), inherit(inh), handlers(std::move(handlerNames)) {}

  bool operator==(const LogCategoryConfig& other) const = default;

  LogLevel level = LogLevel::INFO;
  bool inherit = true;
  LogLevel propagate = LogLevel::NONE;
  std::optional<std::vector<std::string>> handlers;
};

}  // namespace quorvane
