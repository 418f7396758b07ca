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

// The widest field (and the longest precision) a format spec may ask for.
// A layout comes from configuration, which may be hostile: without a bound a
// width such as 2000000000 makes every line allocate gigabytes.
constexpr unsigned long kMaxSpecNumber = 1024;

// Rejects what a placeholder's format spec (the text between ':' and '}')
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
  if (level < LogLevel::INFO) {
    return {"\x1b[1;30m", kColorReset};
  }
  if (level < LogLevel::WARN) {
    return {"", ""};
  }
  if (level < LogLevel::ERR) {
    return {"\x1b[33m", kColorReset};
  }
  if (level < LogLevel::CRITICAL) {
    return {"\x1b[31m", kColorReset};
  }
  return {"\x1b[1;41m", kColorReset};
}

// "{<argument>}" as the compiled formats write it.
std::string argumentField(Argument argument) { return "{" + std::to_string(argument) + "}"; }

// The header of a layout compiled into a positional format.
struct CompiledHeader {
  std::string format;
  size_t estimatedWidth = 0;
  size_t fileNameUses = 0;
  size_t functionNameUses = 0;
};

// Compiles a layout in one pass over its characters, in three states: literal
// text (where "{{" and "}}" stand for braces), a placeholder's key, and the
// key's format spec, which is copied as it is. Throws std::runtime_error for
// an unknown key, a format spec that is not allowed or an unterminated
// placeholder.
class HeaderCompiler {
 public:
  explicit HeaderCompiler(std::string_view layout) : layout_(layout) {
    constexpr size_t kRoomForNumbers = 8;
    header_.format.reserve(layout.size() + kRoomForNumbers);
  }

  CompiledHeader compile() && {
    for (at_ = 0; at_ < layout_.size(); ++at_) {
      switch (state_) {
        case State::kLiteral:
          literal(layout_[at_]);
          break;
        case State::kKey:
          key(layout_[at_]);
          break;
        case State::kSpec:
          formatSpec(layout_[at_]);
          break;
      }
    }
    if (state_ != State::kLiteral) {
      throw std::runtime_error("unterminated format string");
    }
    if (!header_.format.empty()) {
      header_.format.push_back(' ');
      ++header_.estimatedWidth;
    }
    return std::move(header_);
  }

 private:
  enum class State { kLiteral, kKey, kSpec };

  void literal(char c) {
    std::string& out = header_.format;
    if ((c == '{' || c == '}') && at_ + 1 < layout_.size() && layout_[at_ + 1] == c) {
      out.push_back(c);
      out.push_back(c);
      ++at_;
      ++header_.estimatedWidth;
      return;
    }
    out.push_back(c);
    if (c == '{') {
      state_ = State::kKey;
      keyStart_ = at_ + 1;
    } else {
      ++header_.estimatedWidth;
    }
  }

  void key(char c) {
    if (c != '}' && c != ':') {
      return;  // collected, not copied
    }
    const std::string_view key = layout_.substr(keyStart_, at_ - keyStart_);
    const Placeholder* placeholder = findPlaceholder(key);
    if (placeholder == nullptr) {
      throw std::runtime_error("unknown format argument \"" + std::string(key) + "\"");
    }
    header_.format += std::to_string(placeholder->argument);
    header_.format.push_back(c);
    header_.estimatedWidth += placeholder->estimatedWidth;
    if (placeholder->argument == kFileName) {
      ++header_.fileNameUses;
    } else if (placeholder->argument == kFunctionName) {
      ++header_.functionNameUses;
    }
    state_ = c == ':' ? State::kSpec : State::kLiteral;
    keyStart_ = at_ + 1;  // where the format spec starts
  }

  void formatSpec(char c) {
    header_.format.push_back(c);
    if (c == '}') {
      checkSpecification(layout_.substr(keyStart_, at_ - keyStart_));
      state_ = State::kLiteral;
    }
  }

  const std::string_view layout_;
  CompiledHeader header_;
  State state_ = State::kLiteral;
  size_t at_ = 0;
  size_t keyStart_ = 0;
};

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
  CompiledHeader header = HeaderCompiler(format).compile();
  headerFormat_ = std::move(header.format);
  staticWidth_ = header.estimatedWidth;
  fileNameUses_ = header.fileNameUses;
  functionNameUses_ = header.functionNameUses;
  const std::string text = argumentField(kMessageText);
  if (colored_) {
    lineFormat_ =
        argumentField(kColorStart) + headerFormat_ + text + argumentField(kColorEnd) + "\n";
  } else {
    lineFormat_ = headerFormat_ + text + "\n";
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
