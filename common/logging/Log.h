#pragma once

// Log statements.
//
//   KLOG(INFO) << "connected to " << host;
//   KLOGF(WARN, "retry {} of {}", attempt, maxAttempts);
//   KLOGF(DBG2, "state {}", state) << " (after " << elapsed << ")";
//   if (KLOG_IS_ON(DBG)) { ... }
//
// Each source file logs to the category named after its path (relative to the
// repository root; '/' and '.' both separate components, so
// "src/net/Client.cpp" logs to src.net.Client.cpp). The level word is one of
// LogLevel's names. A disabled statement costs one relaxed atomic load and a
// compare, and evaluates none of its arguments.
//
// To log to a named category instead, use a Logger (common/logging/Logger.h)
// with KLOG_TO / KLOGF_TO.
//
// An enabled statement builds a LogMessage with the current time and the
// statement's file, line and function, and submits it to the category when the
// statement ends; a FATAL statement then ends the process.
//
// Thread safety: statements may run on any thread.

#include "common/logging/LogLevel.h"
#include "common/logging/internal/FileLogState.h"
#include "common/logging/internal/LogStatement.h"

// The category of this source file if `level` is enabled for it, else null.
#define KLOG_FILE_CATEGORY_(level) \
  ::quorvane::logging::internal::enabledFileCategory<__FILE__>(level)

// The format plan of one call site (internal/FormatPlan.h), a static object
// of its own.
#define KLOG_FORMAT_SITE_                                                         \
  ([]() -> ::quorvane::logging::internal::FormatSite& {                           \
    static constinit ::quorvane::logging::internal::FormatSite kestroFormatSite_; \
    return kestroFormatSite_;                                                     \
  }())

#define KLOG_IS_ON(level) (KLOG_FILE_CATEGORY_(::quorvane::LogLevel::level) != nullptr)

#define KLOG(level)                                                 \
  for (::quorvane::LogCategory* kestroLogCategory_ =                \
           KLOG_FILE_CATEGORY_(::quorvane::LogLevel::level);        \
       kestroLogCategory_ != nullptr; kestroLogCategory_ = nullptr) \
  ::quorvane::logging::internal::LogStatement(                      \
      kestroLogCategory_, ::quorvane::LogLevel::level,              \
      ::quorvane::logging::internal::statementSourceFile(__FILE__), __LINE__, __func__)

#define KLOGF(level, ...)                                                               \
  for (::quorvane::LogCategory* kestroLogCategory_ =                                    \
           KLOG_FILE_CATEGORY_(::quorvane::LogLevel::level);                            \
       kestroLogCategory_ != nullptr; kestroLogCategory_ = nullptr)                     \
  ::quorvane::logging::internal::LogStatement(                                          \
      kestroLogCategory_, ::quorvane::LogLevel::level,                                  \
      ::quorvane::logging::internal::statementSourceFile(__FILE__), __LINE__, __func__, \
      KLOG_FORMAT_SITE_, __VA_ARGS__)

// Logging to the category of a Logger.
#define KLOG_TO(logger, level)                                      \
  for (::quorvane::LogCategory* kestroLogCategory_ =                \
           (logger).enabledCategory(::quorvane::LogLevel::level);   \
       kestroLogCategory_ != nullptr; kestroLogCategory_ = nullptr) \
  ::quorvane::logging::internal::LogStatement(                      \
      kestroLogCategory_, ::quorvane::LogLevel::level,              \
      ::quorvane::logging::internal::statementSourceFile(__FILE__), __LINE__, __func__)

#define KLOGF_TO(logger, level, ...)                                                    \
  for (::quorvane::LogCategory* kestroLogCategory_ =                                    \
           (logger).enabledCategory(::quorvane::LogLevel::level);                       \
       kestroLogCategory_ != nullptr; kestroLogCategory_ = nullptr)                     \
  ::quorvane::logging::internal::LogStatement(                                          \
      kestroLogCategory_, ::quorvane::LogLevel::level,                                  \
      ::quorvane::logging::internal::statementSourceFile(__FILE__), __LINE__, __func__, \
      KLOG_FORMAT_SITE_, __VA_ARGS__)
