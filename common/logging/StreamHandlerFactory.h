#pragma once

// StreamHandlerFactory: the handler type "stream", writing to standard output
// or standard error.
//
// Options: "stream" ("stdout" or "stderr", required), the writer options of
// FileWriterFactory ("async", "max_buffer_size") and the common options of
// StandardLogHandlerFactory ("formatter", "level", "sync_level", and
// "log_format"/"colored" with the custom formatter). The standard streams are
// borrowed, never closed.
//
// Thread safety: used by one configuration change at a time.

#include <memory>
#include <string>
#include <string_view>

#include "common/logging/FileWriterFactory.h"
#include "common/logging/LogHandlerFactory.h"
#include "common/logging/StandardLogHandlerFactory.h"

namespace quorvane {

class StreamHandlerFactory : public LogHandlerFactory {
 public:
  std::string_view getType() const override { return "stream"; }
  std::shared_ptr<LogHandler> createHandler(const Options& options) override;

  class WriterFactory : public StandardLogHandlerFactory::WriterFactory {
   public:
    bool processOption(std::string_view name, std::string_view value) override;
    std::shared_ptr<LogWriter> createWriter() override;

   private:
    std::string stream_;
    FileWriterFactory fileWriterFactory_;
  };
};

}  // namespace quorvane
