#pragma once

// Handler factories of the core library's channels: each builds
// StandardLogHandlers that write through a RotatingFileLogWriter and lay out
// lines with one fixed formatter type.
//
// Options:
//   "prefix"       start of every file name (required, non-empty)
//   "suffix"       end of every file name (default ".log")
//   (neither may hold a NUL byte: std::invalid_argument "NUL byte in the
//   prefix of rotating log handler", or "... suffix ...")
//   "maxFileSize"  unsigned decimal, bytes (default 5000000)
//   "maxLogAge"    unsigned decimal, seconds (default 86400)
//   "maxLogFiles", "maxTotalLogSize"
//                  retention limits: at most so many files, at most so many
//                  bytes of files of this channel in its directory, the oldest
//                  deleted first (LogFileRetention.h); unsigned decimal above
//                  0, "must be a positive integer" otherwise; unset, nothing is
//                  ever deleted
//   "level", "sync_level"  as for every standard handler
//   "formatter"    accepted and ignored: the layout is the factory's
// Any other option is an error. Every reconfiguration builds a new handler
// with a new writer (and so, at its first line, a new file).
//
// Thread safety: used only while the logger database applies a configuration,
// which it serialises.

#include <memory>
#include <string>
#include <string_view>

#include "common/logging/LogHandlerFactory.h"
#include "common/logging/StandardLogHandler.h"
#include "common/logging/StandardLogHandlerFactory.h"

namespace quorvane::kestro::logging {

class RotatingLogHandlerFactoryBase : public LogHandlerFactory {
 public:
  // With `reportsCrashes`, the writers made write the crash report (the main
  // channel's type).
  explicit RotatingLogHandlerFactoryBase(std::string type, bool reportsCrashes = false)
      : type_(std::move(type)), reportsCrashes_(reportsCrashes) {}

  std::string_view getType() const override { return type_; }

  // A handler with a rotating writer built from `options` and the formatter
  // `formatterFactory` makes. Throws std::invalid_argument for bad options.
  std::shared_ptr<StandardLogHandler> createRotatingHandler(
      const Options& options, StandardLogHandlerFactory::FormatterFactory* formatterFactory);

 private:
  const std::string type_;
  const bool reportsCrashes_;
};

// A formatter factory that always makes a new F and consumes no option.
template <typename F>
class FixedFormatterFactory : public StandardLogHandlerFactory::FormatterFactory {
 public:
  bool processOption(std::string_view, std::string_view) override { return false; }
  std::shared_ptr<LogFormatter> createFormatter(const std::shared_ptr<LogWriter>&) override {
    return std::make_shared<F>();
  }
};

template <typename F>
class RotatingLogHandlerFactory : public RotatingLogHandlerFactoryBase {
 public:
  using RotatingLogHandlerFactoryBase::RotatingLogHandlerFactoryBase;

  std::shared_ptr<LogHandler> createHandler(const Options& options) override {
    FixedFormatterFactory<F> formatterFactory;
    return createRotatingHandler(options, &formatterFactory);
  }
};

}  // namespace quorvane::kestro::logging
