#pragma once

// StandardLogHandlerFactory: turns a handler type's options into a
// StandardLogHandler. Never instantiated; handler factories call its static
// createHandler with their own writer factory (and, optionally, formatter
// factory), which receive the options they understand.
//
// Options handled here for every such handler:
//   "formatter"   "glog" (default) or "custom"; accepted and ignored when the
//                 caller supplies its own formatter factory
//   "level"       messages below it are dropped (default: none are)
//   "sync_level"  messages at or above it are followed by a flush
//                 (default: FATAL only)
// The "custom" formatter takes "log_format" and "colored" (always, never,
// auto: colour when the writer writes to a terminal).
//
// Every option is offered to the formatter factory and then to the writer
// factory. All problems are collected first and thrown together as one
// std::invalid_argument, texts joined with ", "; nothing is built when any
// option fails. Errors of writer or formatter construction propagate
// unchanged.
//
// Thread safety: factories and processors are used by one configuration
// change at a time; their option state never outlives one createHandler call.

#include <memory>
#include <string_view>

#include "common/logging/LogHandlerFactory.h"

namespace quorvane {

class LogFormatter;
class LogWriter;
class StandardLogHandler;

class StandardLogHandlerFactory {
 public:
  using Options = LogHandlerFactory::Options;

  StandardLogHandlerFactory() = delete;

  class OptionProcessor {
   public:
    virtual ~OptionProcessor() = default;
    // True if the option was recognised and consumed, false if it is not this
    // processor's; throws a standard exception if recognised but bad.
    virtual bool processOption(std::string_view name, std::string_view value) = 0;
  };

  class FormatterFactory : public OptionProcessor {
   public:
    // The writer is passed so the formatter may depend on it (colour only on
    // terminals).
    virtual std::shared_ptr<LogFormatter> createFormatter(
        const std::shared_ptr<LogWriter>& logWriter) = 0;
  };

  class WriterFactory : public OptionProcessor {
   public:
    virtual std::shared_ptr<LogWriter> createWriter() = 0;
  };

  // Chooses the formatter by the "formatter" option.
  static std::shared_ptr<StandardLogHandler> createHandler(std::string_view type,
                                                           WriterFactory* writerFactory,
                                                           const Options& options);

  // Uses the given formatter factory.
  static std::shared_ptr<StandardLogHandler> createHandler(std::string_view type,
                                                           WriterFactory* writerFactory,
                                                           FormatterFactory* formatterFactory,
                                                           const Options& options);
};

}  // namespace quorvane
