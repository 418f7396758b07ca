#include "common/logging/internal/LogStatement.h"

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/internal/FileLogState.h"
#include "common/logging/internal/FormatPlan.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane::logging::internal {

LogStatement::~LogStatement() {
  stream_.reset();
  const LogMessage message(category_, level_, file_, line_, function_,
                           LogMessage::BorrowedText{text_.text(), plainText_});
  category_->submitMessage(message);
}

void LogStatement::formatArguments(const FormatPlan* plan, std::string_view format,
                                   fmt::format_args args) {
  std::string& text = text_.text();
  try {
    // Plain "{}" fields of integers and strings: from the split format.
    if (plan != nullptr) {
      const FormatPlan::Result result = plan->formatTo(text, args);
      if (result != FormatPlan::Result::kNotCovered) {
        plainText_ = result == FormatPlan::Result::kWrittenPlain;
        return;
      }
    }
    // Anything else: formatted on the stack by the engine, then copied into
    // the text's reused storage.
    plainText_ = false;
    fmt::memory_buffer formatted;
    fmt::vformat_to(fmt::appender(formatted), fmt::string_view(format.data(), format.size()), args);
    text.assign(formatted.data(), formatted.size());
  } catch (const std::exception& ex) {
    // A bad argument must not lose the statement: log what went wrong instead.
    plainText_ = false;
    text = "error formatting log message: " + exceptionDescription(ex) + "; format string: \"" +
           std::string(format) + "\"";
  }
}

LogCategory* enabledFileCategoryAfterCache(LogLevel level, std::string_view path,
                                           FileLogState& state) {
  const uint32_t cached = state.levelCache.load(std::memory_order_relaxed);
  LogCategory* category = state.category.load(std::memory_order_acquire);
  if (cached == 0 || category == nullptr) [[unlikely]] {
    return initializeFileLogState(level, path, state);
  }
  // The level may have changed since the caller's load.
  return toUnderlying(level) < cached ? nullptr : category;
}

LogCategory* initializeFileLogState(LogLevel level, std::string_view path, FileLogState& state) {
  const LogLevel effective =
      LoggerDB::get().initializeFileLevelCache(path, state.levelCache, state.category);
  if (level < effective) {
    return nullptr;
  }
  return state.category.load(std::memory_order_acquire);
}

}  // namespace quorvane::logging::internal
