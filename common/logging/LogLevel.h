#pragma once

// LogLevel: the severity of a log message and the threshold of a category or
// handler. Higher values are more severe; comparisons are plain unsigned
// comparisons of the values.
//
// Between DBG and INFO, and between INFO and WARN, lie numbered levels: DBGn is
// 1999 - n and INFOn is 2999 - n for n in 0..998, so DBG0 is the least verbose
// debug level and INFO0 the most severe info level. The top bit (0x80000000) is
// never part of a level; categories keep their inherit flag there.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

enum class LogLevel : uint32_t {
  UNINITIALIZED = 0,
  NONE = 1,
  DBG = 1000,
  DBG9 = 1990,
  DBG8 = 1991,
  DBG7 = 1992,
  DBG6 = 1993,
  DBG5 = 1994,
  DBG4 = 1995,
  DBG3 = 1996,
  DBG2 = 1997,
  DBG1 = 1998,
  DBG0 = 1999,
  INFO = 2000,
  INFO9 = 2990,
  INFO8 = 2991,
  INFO7 = 2992,
  INFO6 = 2993,
  INFO5 = 2994,
  INFO4 = 2995,
  INFO3 = 2996,
  INFO2 = 2997,
  INFO1 = 2998,
  INFO0 = 2999,
  WARN = 3000,
  ERR = 4000,
  CRITICAL = 5000,
  DFATAL = 0x7ffffffe,
  FATAL = 0x7fffffff,
  MAX_LEVEL = 0x7fffffff,
};

constexpr uint32_t toUnderlying(LogLevel level) { return static_cast<uint32_t>(level); }

// A message is fatal when its level is above DFATAL, i.e. exactly FATAL.
constexpr bool isLogLevelFatal(LogLevel level) { return level > LogLevel::DFATAL; }

// Reads a level from text: a name ("warn", "LogLevel::ERR", ...), a numbered
// level ("dbg3", "INFO 2"), "LogLevel(1234)" or a plain unsigned number.
// Case-insensitive. Throws std::range_error naming the input exactly as given.
// Pure; safe from any thread.
LogLevel parseLogLevel(std::string_view text);

// Writes a level as text; parseLogLevel reads every result back to the same
// value. Pure; safe from any thread.
std::string logLevelName(LogLevel level);

}  // namespace quorvane
