#include "common/logging/CustomLogFormatter.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

#include "common/logging/LogLineFields.h"
#include "common/logging/internal/LinesWithHeader.h"

namespace quorvane {
namespace {

// Positional arguments of the compiled formats.
enum Argument : unsigned {
  kLevelLetter = 0,
  kMonth = 1,
  kDay = 2,
  kHour = 3,
  kMinute = 4,
  kSecond = 5,
  kMicroseconds = 6,
  kThreadId = 7,
  kFileName = 8,
  kFunctionName = 9,
  kLineNumber = 10,
  kContext = 11,
  kMessageText = 12,
  kColorStart = 13,
  kColorEnd = 14,
};

struct Placeholder {
  std::string_view name;
  Argument argument;
  size_t estimatedWidth;
};

// Sorted by byte value of the name, for bisection.
constexpr Placeholder kPlaceholders[] = {
    {"CTX", kContext, 0},
    {"D", kDay, 2},
    {"FILE", kFileName, 0},
    {"FUN", kFunctionName, 0},
    {"H", kHour, 2},
    {"L", kLevelLetter, 1},
    {"LINE", kLineNumber, 4},
    {"M", kMinute, 2},
    {"S", kSecond, 2},
    {"THREAD", kThreadId, 5},
    {"USECS", kMicroseconds, 6},
    {"m", kMonth, 2},
};
static_assert(std::is_sorted(std::begin(kPlaceholders), std::end(kPlaceholders),
                             [](const Placeholder& a, const Placeholder& b) {
                               return a.name < b.name;
                             }));

const Placeholder* findPlaceholder(std::string_view name) {
  const auto* it = std::lower_bound(
      std::begin(kPlaceholders), std::end(kPlaceholders), name,
      [](const Placeholder& entry, std::string_view key) { return entry.name < key; });
  if (it == std::end(kPlaceholders) || it->name != name) {
    return nullptr;
  }
  return it;
}

// The widest field (and the longest precision) a specification may ask for.
// A layout comes from configuration, which may be hostile: without a bound a
// width such as 2000000000 makes every line allocate gigabytes.
constexpr unsigned long kMaxSpecNumber = 1024;

// Rejects what a placeholder's specification (the text between ':' and '}')
// may not hold: a width or precision taken from another argument (a nested
// "{...}", which would make the layout depend on values such as the thread id,
// so that a layout accepted here could still fail or explode for some
// message), and numbers above kMaxSpecNumber. A digit used as fill character
// is a number of one digit, so it never trips the bound.
void checkSpecification(std::string_view spec) {
  if (spec.find('{') != std::string_view::npos) {
    throw std::runtime_error(
        "invalid format string: width or precision taken from an argument in \"" +
        std::string(spec) + "\"");
  }
  unsigned long number = 0;
  for (char c : spec) {
    if (c >= '0' && c <= '9') {
      number = std::min(number * 10 + static_cast<unsigned long>(c - '0'), kMaxSpecNumber + 1);
      if (number > kMaxSpecNumber) {
        throw std::runtime_error("invalid format string: width or precision above " +
                                 std::to_string(kMaxSpecNumber) + " in \"" + std::string(spec) +
                                 "\"");
      }
    } else {
      number = 0;
    }
  }
}

constexpr std::string_view kColorReset = "\x1b[0m";

std::pair<std::string_view, std::string_view> colorSequences(LogLevel level) {
  const uint32_t value = toUnderlying(level);
  if (value < 2000) {
    return {"\x1b[1;30m", kColorReset};
  }
  if (value < 3000) {
    return {"", ""};
  }
  if (value < 4000) {
    return {"\x1b[33m", kColorReset};
  }
  if (value < 5000) {
    return {"\x1b[31m", kColorReset};
  }
  return {"\x1b[1;41m", kColorReset};
}

// The argument values of one message, in argument order.
struct Arguments {
  explicit Arguments(const LogLineFields& f)
      : letter(f.levelLetter),
        month(f.time.tm_mon + 1),
        day(f.time.tm_mday),
        hour(f.time.tm_hour),
        minute(f.time.tm_min),
        second(f.time.tm_sec),
        microseconds(f.microseconds),
        threadId(f.threadId),
        fileName(f.fileBaseName),
        functionName(f.functionName),
        lineNumber(f.lineNumber),
        context(f.context),
        text(f.text) {
    std::tie(colorStart, colorEnd) = colorSequences(f.level);
  }

  auto store() const {
    return fmt::make_format_args(letter, month, day, hour, minute, second, microseconds, threadId,
                                 fileName, functionName, lineNumber, context, text, colorStart,
                                 colorEnd);
  }

  char letter;
  int month;
  int day;
  int hour;
  int minute;
  int second;
  uint32_t microseconds;
  uint64_t threadId;
  std::string_view fileName;
  std::string_view functionName;
  unsigned int lineNumber;
  std::string_view context;
  std::string_view text;
  std::string_view colorStart;
  std::string_view colorEnd;
};

}  // namespace

CustomLogFormatter::CustomLogFormatter(std::string_view format, bool colored) : colored_(colored) {
  compile(format);
  checkWithSampleArguments();
}

void CustomLogFormatter::compile(std::string_view format) {
  enum class State { kLiteral, kKey, kSpec };
  State state = State::kLiteral;
  std::string out;
  out.reserve(format.size() + 8);
  size_t width = 0;
  size_t keyStart = 0;  // also where a specification starts

  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    switch (state) {
      case State::kLiteral:
        if ((c == '{' || c == '}') && i + 1 < format.size() && format[i + 1] == c) {
          out.push_back(c);
          out.push_back(c);
          ++i;
          ++width;
        } else {
          out.push_back(c);
          if (c == '{') {
            state = State::kKey;
            keyStart = i + 1;
          } else {
            ++width;
          }
        }
        break;
      case State::kKey:
        if (c == '}' || c == ':') {
          const std::string_view key = format.substr(keyStart, i - keyStart);
          const Placeholder* placeholder = findPlaceholder(key);
          if (placeholder == nullptr) {
            throw std::runtime_error("unknown format argument \"" + std::string(key) + "\"");
          }
          out += std::to_string(placeholder->argument);
          out.push_back(c);
          width += placeholder->estimatedWidth;
          if (placeholder->argument == kFileName) {
            ++fileNameUses_;
          } else if (placeholder->argument == kFunctionName) {
            ++functionNameUses_;
          }
          state = c == ':' ? State::kSpec : State::kLiteral;
          keyStart = i + 1;
        }
        break;
      case State::kSpec:
        out.push_back(c);
        if (c == '}') {
          checkSpecification(format.substr(keyStart, i - keyStart));
          state = State::kLiteral;
        }
        break;
    }
  }
  if (state != State::kLiteral) {
    throw std::runtime_error("unterminated format string");
  }
  if (!out.empty()) {
    out.push_back(' ');
    ++width;
  }

  headerFormat_ = std::move(out);
  staticWidth_ = width;
  if (colored_) {
    lineFormat_ = "{13}" + headerFormat_ + "{12}{14}\n";
  } else {
    lineFormat_ = headerFormat_ + "{12}\n";
  }
}

// A compiled layout the formatting engine rejects would otherwise fail for
// every message, and the failures would only surface as discarded internal
// warnings; formatting it once here turns that into a construction error.
void CustomLogFormatter::checkWithSampleArguments() const {
  LogLineFields sample{};
  sample.level = LogLevel::WARN;
  sample.levelLetter = 'W';
  sample.time.tm_mday = 1;
  sample.fileBaseName = "file.cpp";
  sample.functionName = "function";
  sample.lineNumber = 1;
  sample.text = "text";
  const Arguments arguments(sample);
  try {
    fmt::memory_buffer buffer;
    fmt::vformat_to(fmt::appender(buffer), headerFormat_, arguments.store());
    buffer.clear();
    fmt::vformat_to(fmt::appender(buffer), lineFormat_, arguments.store());
  } catch (const fmt::format_error& e) {
    throw std::runtime_error(std::string("invalid format string: ") + e.what());
  }
}

std::string CustomLogFormatter::formatMessage(const LogMessage& message, const LogCategory*) {
  return formatFields(LogLineFields::of(message));
}

std::string CustomLogFormatter::formatFields(const LogLineFields& fields) const {
  const Arguments arguments(fields);
  const auto args = arguments.store();
  const std::string_view text = fields.text;
  const size_t colorWidth = arguments.colorStart.size() + arguments.colorEnd.size();
  const size_t headerEstimate = staticWidth_ + fileNameUses_ * fields.fileBaseName.size() +
                                functionNameUses_ * fields.functionName.size() +
                                fields.context.size();
  // Lines are formatted into a buffer on the stack (reserved from the width
  // estimates when a line is too long for it) and copied into a string of the
  // exact size: the engine appends to its own buffers much faster than to a
  // string.
  fmt::memory_buffer buffer;

  if (fields.newlineCount == 0) {
    buffer.reserve(headerEstimate + text.size() + colorWidth + 1);
    fmt::vformat_to(fmt::appender(buffer), lineFormat_, args);
    return std::string(buffer.data(), buffer.size());
  }

  // Every line carries the same header: format it once and copy it.
  fmt::vformat_to(fmt::appender(buffer), headerFormat_, args);
  const std::string_view header(buffer.data(), buffer.size());
  std::string out;
  out.reserve((header.size() + 1) * (fields.newlineCount + 1) + text.size() + colorWidth);
  if (colored_) {
    out.append(arguments.colorStart);
  }
  logging::internal::appendLinesWithHeader(out, text,
                                           [&](std::string& line) { line.append(header); });
  if (colored_) {
    out.append(arguments.colorEnd);
  }
  return out;
}

}  // namespace quorvane
