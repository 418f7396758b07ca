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
#include "kestro/logcore.h"

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

LogLevel levelFromText(std::string_view text) {
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

// A per-thread buffer for one kind of text read from JavaScript; a large one
// is released when the call is done.
class ThreadText {
 public:
  explicit ThreadText(std::string& buffer) : buffer_(buffer) {}
  ThreadText(const ThreadText&) = delete;
  ThreadText& operator=(const ThreadText&) = delete;
  ~ThreadText() {
    if (buffer_.capacity() > kKeptTextBytes) {
      std::string().swap(buffer_);
    }
  }
  const std::string& read(napi_env env, napi_value value) {
    ReadCXXString(env, value, buffer_, ZANDREL_HERE());
    return buffer_;
  }

 private:
  std::string& buffer_;
};

// What one JavaScript thread keeps from call to call, in one thread-local
// object (each thread-local of a loaded module costs a lookup).
struct ThreadState {
  std::string levelBuffer;
  std::string categoryBuffer;
  std::string textBuffer;
  std::string fileBuffer;
  // The application logs with a handful of level names: the last one read
  // and its level are kept, so a repeated name is not parsed again.
  std::string lastLevelText;
  LogLevel lastLevel = LogLevel::INFO;
  std::unordered_map<std::string, LogCategory*, NameHash, std::equal_to<>> categories;

  LogCategory* categoryNamed(std::string_view name) {
    auto found = categories.find(name);
    if (found != categories.end()) {
      return found->second;
    }
    LogCategory* category = LoggerDB::get().categoryFor(name);
    categories.emplace(name, category);
    return category;
  }

  LogLevel levelNamed(std::string_view text) {
    if (lastLevelText.empty() || text != lastLevelText) {
      lastLevel = levelFromText(text);
      lastLevelText.assign(text.data(), text.size());
    }
    return lastLevel;
  }
};

// Straight to logcore, which checks the level again and routes the message
// by its category's name: the module's own category tree and forwarding
// handler have nothing to add for a message whose level was checked.
void logToCore(const LogCategory* category, LogLevel level, LogSourceFile file, unsigned int line,
               const std::string& text) {
  const LogMessage message(category, level, file, line, kJavaScriptFunction,
                           LogMessage::BorrowedText{text, /*plain=*/false});
  logging::handleMessage(message, /*handlerCategory=*/nullptr);
}

ThreadState& threadState() {
  thread_local ThreadState state;
  return state;
}

// One type query per value on the way in; the layer's full check runs only
// for a value of another type, to throw its TypeError.
napi_valuetype typeOf(napi_env env, napi_value value) {
  napi_valuetype type = napi_undefined;
  KESTRO_NAPI_CALL(env, napi_typeof(env, value, &type));
  return type;
}

}  // namespace

void requireString(napi_env env, napi_value value, js::SourceLocation caller) {
  if (typeOf(env, value) != napi_string) {
    napi_type_check(env, value, {napi_string}, caller);
  }
}

LogLevel anyLevelFromJs(napi_env env, napi_value value) {
  const napi_valuetype type = typeOf(env, value);
  if (type != napi_string && type != napi_number) {
    napi_type_check(env, value, {napi_string, napi_number}, ZANDREL_HERE());
  }
  ThreadState& state = threadState();
  return type == napi_number ? levelFromNumber(env, value)
                             : state.levelNamed(ThreadText(state.levelBuffer).read(env, value));
}

LogLevel levelFromJs(napi_env env, napi_value value) {
  const LogLevel level = anyLevelFromJs(env, value);
  if (isLogLevelFatal(level)) {
    throw js::Error("log level " + logLevelName(level) +
                        " would end the process; the highest level accepted is DFATAL",
                    ZANDREL_HERE());
  }
  return level;
}

void logFromJavaScript(napi_env env, napi_value category, LogLevel level, napi_value text) {
  ThreadState& state = threadState();
  LogCategory* target = state.categoryNamed(ThreadText(state.categoryBuffer).read(env, category));
  if (!target->isEnabled(level)) {
    return;
  }
  ThreadText lent(state.textBuffer);
  const LogMessage message(target, level, LogSourceFile{kJavaScriptFile, kJavaScriptFile},
                           kJavaScriptLine, kJavaScriptFunction,
                           LogMessage::BorrowedText{lent.read(env, text), /*plain=*/false});
  target->submitMessage(message);
}

void logFromLogger(napi_env env, const LogCategory* category, LogLevel level, napi_value text,
                   napi_value file, napi_value line) {
  ThreadState& state = threadState();
  ThreadText lent(state.textBuffer);
  const std::string& message = lent.read(env, text);
  if (file == nullptr) {
    logToCore(category, level, LogSourceFile{kJavaScriptFile, kJavaScriptFile}, kJavaScriptLine,
              message);
    return;
  }
  ThreadText lentFile(state.fileBuffer);
  const std::string_view path = lentFile.read(env, file);
  uint32_t lineNumber = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_uint32(env, line, &lineNumber));
  logToCore(category, level, LogSourceFile{path, sourceFileBaseName(path)}, lineNumber, message);
}

}  // namespace quorvane::kestro::logcontrol
