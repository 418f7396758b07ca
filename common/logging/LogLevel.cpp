#include "common/logging/LogLevel.h"

#include <array>
#include <cctype>
#include <stdexcept>

namespace quorvane {
namespace {

// The two ranges of numbered levels, searched in this order.
struct NumberedLevelRange {
  uint32_t lowest;
  uint32_t highest;
  std::string_view lowerPrefix;
  std::string_view upperPrefix;
};
constexpr std::array<NumberedLevelRange, 2> kNumberedRanges{{
    {1000, 1999, "dbg", "DBG"},
    {2000, 2999, "info", "INFO"},
}};

struct NamedLevel {
  std::string_view name;
  LogLevel level;
};
constexpr std::array<NamedLevel, 14> kLevelNames{{
    {"uninitialized", LogLevel::UNINITIALIZED},
    {"none", LogLevel::NONE},
    {"debug", LogLevel::DBG},
    {"dbg", LogLevel::DBG},
    {"info", LogLevel::INFO},
    {"warn", LogLevel::WARN},
    {"warning", LogLevel::WARN},
    {"error", LogLevel::ERR},
    {"err", LogLevel::ERR},
    {"critical", LogLevel::CRITICAL},
    {"dfatal", LogLevel::DFATAL},
    {"fatal", LogLevel::FATAL},
    {"max", LogLevel::MAX_LEVEL},
    {"max_level", LogLevel::MAX_LEVEL},
}};

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads: optional leading white space, [sign], at least one digit, then only
// white space. Accumulates into `value` while it stays within `limit`.
// Returns false on any other shape or on overflow past `limit`.
bool readDecimal(std::string_view text, bool allowSign, uint64_t limit, bool& negative,
                 uint64_t& value) {
  size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) {
    ++i;
  }
  negative = false;
  if (allowSign && i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  size_t digitsStart = i;
  value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > limit) {
      return false;
    }
    ++i;
  }
  if (i == digitsStart) {
    return false;
  }
  while (i < text.size() && isCSpace(text[i])) {
    ++i;
  }
  return i == text.size();
}

}  // namespace

LogLevel parseLogLevel(std::string_view input) {
  std::string lowered(input);
  for (char& c : lowered) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  std::string_view rest = lowered;
  constexpr std::string_view kScopePrefix = "loglevel::";
  constexpr std::string_view kCallPrefix = "loglevel(";
  if (rest.starts_with(kScopePrefix)) {
    rest.remove_prefix(kScopePrefix.size());
  } else if (rest.starts_with(kCallPrefix) && rest.ends_with(")")) {
    rest = rest.substr(kCallPrefix.size(), rest.size() - kCallPrefix.size() - 1);
  }

  for (const auto& entry : kLevelNames) {
    if (rest == entry.name) {
      return entry.level;
    }
  }

  for (const auto& range : kNumberedRanges) {
    if (!rest.starts_with(range.lowerPrefix)) {
      continue;
    }
    // A signed 32-bit reading: magnitudes up to 2^31 are representable.
    bool negative = false;
    uint64_t n = 0;
    const uint64_t maxOffset = range.highest - range.lowest;
    bool ok = readDecimal(rest.substr(range.lowerPrefix.size()), /*allowSign=*/true,
                          uint64_t{0x80000000}, negative, n);
    if (!ok || (negative && n != 0) || n > maxOffset) {
      throw std::range_error("invalid " + std::string(range.lowerPrefix) +
                             " logger level: " + std::string(input));
    }
    return static_cast<LogLevel>(range.highest - static_cast<uint32_t>(n));
  }

  bool negative = false;
  uint64_t value = 0;
  if (!readDecimal(rest, /*allowSign=*/false, uint64_t{0xffffffff}, negative, value)) {
    throw std::range_error("invalid logger level: " + std::string(input));
  }
  return static_cast<LogLevel>(static_cast<uint32_t>(value));
}

std::string logLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::UNINITIALIZED:
      return "UNINITIALIZED";
    case LogLevel::NONE:
      return "NONE";
    case LogLevel::DBG:
      return "DEBUG";
    case LogLevel::INFO:
      return "INFO";
    case LogLevel::WARN:
      return "WARN";
    case LogLevel::ERR:
      return "ERR";
    case LogLevel::CRITICAL:
      return "CRITICAL";
    case LogLevel::DFATAL:
      return "DFATAL";
    case LogLevel::FATAL:
      return "FATAL";
    default:
      break;
  }
  const uint32_t value = toUnderlying(level);
  for (const auto& range : kNumberedRanges) {
    if (value > range.lowest && value <= range.highest) {
      return std::string(range.upperPrefix) + std::to_string(range.highest - value);
    }
  }
  return "LogLevel(" + std::to_string(value) + ")";
}

}  // namespace quorvane
