#pragma once

// LogConfig: a whole logging configuration: handler configs by handler name
// and category configs by category name. Handler names are plain strings;
// category names should be canonical (CategoryName.h) — the parser always
// produces canonical names, and the logger database treats two spellings of
// one category in a config built in code as an error.
//
// The iteration order of both maps is unspecified; applying a configuration
// does not depend on it.
//
// A plain value; not synchronised.

#include <string>
#include <unordered_map>

#include "common/logging/LogCategoryConfig.h"
#include "common/logging/LogHandlerConfig.h"

namespace quorvane {

class LogConfig {
 public:
  using HandlerConfigMap = std::unordered_map<std::string, LogHandlerConfig>;
  using CategoryConfigMap = std::unordered_map<std::string, LogCategoryConfig>;

  LogConfig() = default;
  LogConfig(HandlerConfigMap handlerConfigs, CategoryConfigMap categoryConfigs)
      : handlerConfigs_(std::move(handlerConfigs)), categoryConfigs_(std::move(categoryConfigs)) {}

  const HandlerConfigMap& handlerConfigs() const { return handlerConfigs_; }
  HandlerConfigMap& handlerConfigs() { return handlerConfigs_; }
  const CategoryConfigMap& categoryConfigs() const { return categoryConfigs_; }
  CategoryConfigMap& categoryConfigs() { return categoryConfigs_; }

  bool operator==(const LogConfig& other) const = default;

 private:
  HandlerConfigMap handlerConfigs_;
  CategoryConfigMap categoryConfigs_;
};

}  // namespace quorvane
