#include "logcontrol/src/JsLog.h"

#include <fmt/format.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <unordered_map>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::kestro::logcontrol {

using namespace quorvane::kestro::napi;

namespace {

constexpr double kMaxLevelNumber = 4294967295.0;

LogLevel levelFromNumber(napi_env env, napi_value value) {
  double number = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_double(env, value, &number));
  if (!(number >= 0 && number <= kMaxLevelNumber && std::trunc(number) == number)) {
    throw js::Error(
        fmt::format("log level must be an integer from 0 to 4294967295, got {}", number),
        ZANDREL_HERE());
  }
  return static_cast<LogLevel>(static_cast<uint32_t>(number));
}

LogLevel levelFromText(const std::string& text) {
  try {
    return parseLogLevel(text);
  } catch (const std::range_error& ex) {
    throw js::Error(ex.what(), ZANDREL_HERE());
  }
}

// Looks names up without making a string of them.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

LogCategory* categoryNamed(std::string_view name) {
  thread_local std::unordered_map<std::string, LogCategory*, NameHash, std::equal_to<>> categories;
  auto found = categories.find(name);
  if (found != categories.end()) {
    return found->second;
  }
  LogCategory* category = LoggerDB::get().categoryFor(name);
  categories.emplace(name, category);
  return category;
}

}  // namespace

LogLevel levelFromJs(napi_env env, napi_value value) {
  napi_type_check(env, value, {napi_string, napi_number}, ZANDREL_HERE());
  const LogLevel level = CheckType(env, value, napi_number)
                             ? levelFromNumber(env, value)
                             : levelFromText(GetCXXString(env, value, ZANDREL_HERE()));
  if (isLogLevelFatal(level)) {
    throw js::Error("log level " + logLevelName(level) +
                        " would end the process; the highest level accepted is DFATAL",
                    ZANDREL_HERE());
  }
  return level;
}

void logFromJavaScript(std::string_view category, LogLevel level, std::string text) {
  LogCategory* target = categoryNamed(category);
  if (!target->isEnabled(level)) {
    return;
  }
  const LogMessage message(target, level, kJavaScriptFile, kJavaScriptLine, kJavaScriptFunction,
                           std::move(text));
  target->submitMessage(message);
}

}  // namespace quorvane::kestro::logcontrol
