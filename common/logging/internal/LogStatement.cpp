#include "common/logging/internal/LogStatement.h"

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/internal/FileLogState.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane::logging_internal {

LogStatement::~LogStatement() {
  stream_.reset();
  LogMessage message(category_, level_, file_, line_, function_, std::move(text_));
  category_->submitMessage(message);
}

void LogStatement::formatArguments(fmt::string_view format, fmt::format_args args) {
  try {
    fmt::vformat_to(std::back_inserter(text_), format, args);
  } catch (const std::exception& ex) {
    // A bad argument must not lose the statement: log what went wrong instead.
    text_ = "error formatting log message: " + exceptionDescription(ex) +
            "; format string: \"" + std::string(format.data(), format.size()) + "\"";
  }
}

LogCategory* initializeFileLogState(LogLevel level, std::string_view path, FileLogState& state) {
  const LogLevel effective =
      LoggerDB::get().initializeFileLevelCache(path, state.levelCache, state.category);
  if (level < effective) {
    return nullptr;
  }
  return state.category.load(std::memory_order_acquire);
}

}  // namespace quorvane::logging_internal
