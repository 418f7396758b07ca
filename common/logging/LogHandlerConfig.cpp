#include "common/logging/LogHandlerConfig.h"

namespace quorvane {

LogHandlerConfig::LogHandlerConfig(std::string_view t) : type(std::string(t)) {}

LogHandlerConfig::LogHandlerConfig(Options opts) : options(std::move(opts)) {}

LogHandlerConfig::LogHandlerConfig(std::string_view t, Options opts)
    : type(std::string(t)), options(std::move(opts)) {}

void LogHandlerConfig::mergeOptions(const LogHandlerConfig& other) {
  for (const auto& [name, value] : other.options) {
    options[name] = value;
  }
}

}  // namespace quorvane
