#pragma once

// The JSON-shaped form of a logging configuration, as a dynamic value:
//
//   { "categories": { "<name>": <entry>, ... },
//     "handlers":   { "<name>": { "type": "<type>",
//                                 "options": { "<option>": "<value>", ... } } } }
//
// A category entry is an object with "level" (required), "inherit",
// "propagate" and "handlers" (a list of handler names), or just the level as a
// string or integer. Levels are level names (parseLogLevel) or integers in
// 1..2147483647. Both top-level keys are optional; other keys are ignored
// everywhere.
//
// Thread safety: pure functions.

#include <stdexcept>

#include "common/logging/LogConfig.h"
#include "common/utilities/Dynamic.h"

namespace quorvane {

// Configuration input of the wrong shape; the message says what and where.
class LogConfigParseError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Parses `value` into a configuration with canonical category names. Throws
// LogConfigParseError at the first problem ("categories" are checked before
// "handlers"); nothing else escapes.
LogConfig configFromDynamic(const dynamic& value);

// The dynamic form. Parsing it again gives an equal configuration whenever
// every handler config has a type (reported configurations always do).
dynamic configToDynamic(const LogConfig& config);
dynamic configToDynamic(const LogCategoryConfig& config);
dynamic configToDynamic(const LogHandlerConfig& config);

}  // namespace quorvane
