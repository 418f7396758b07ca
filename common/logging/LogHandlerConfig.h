#pragma once

// LogHandlerConfig: how one named handler is built: its type (the name of a
// registered LogHandlerFactory) and its options. A config without a type means
// "change the options of the existing handler of this name".
//
// A plain value; not synchronised.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane {

class LogHandlerConfig {
 public:
  using Options = std::unordered_map<std::string, std::string>;

  LogHandlerConfig() = default;
  explicit LogHandlerConfig(std::string_view type);
  explicit LogHandlerConfig(Options options);
  LogHandlerConfig(std::string_view type, Options options);

  // Sets each option of `other` here (adding new names, overwriting existing
  // ones, keeping the rest). The type is not touched.
  void mergeOptions(const LogHandlerConfig& other);

  bool operator==(const LogHandlerConfig& other) const = default;

  std::optional<std::string> type;
  Options options;
};

}  // namespace quorvane
