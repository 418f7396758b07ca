#include "Logging/Shared/Core/src/RotatingLogHandlerFactory.h"

#include <cstdint>
#include <stdexcept>

#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"
#include "common/logging/StandardLogHandler.h"
#include "common/utilities/Conv.h"

namespace quorvane::kestro::logging {
namespace {

class RotatingWriterFactory : public StandardLogHandlerFactory::WriterFactory {
 public:
  bool processOption(std::string_view name, std::string_view value) override {
    if (name == "prefix") {
      prefix_ = std::string(value);
    } else if (name == "suffix") {
      suffix_ = std::string(value);
    } else if (name == "maxFileSize") {
      maxFileSize_ = parseInteger<uint64_t>(value);
    } else if (name == "maxLogAge") {
      maxLogAge_ = parseInteger<uint64_t>(value);
    } else {
      return false;
    }
    return true;
  }

  std::shared_ptr<LogWriter> createWriter() override {
    if (prefix_.empty()) {
      throw std::invalid_argument("no prefix specified for rotating log handler");
    }
    // The system would take the name as ending at the NUL: a shorter path
    // than the one configured, which names that differ after it would share.
    if (prefix_.find('\0') != std::string::npos) {
      throw std::invalid_argument("NUL byte in the prefix of rotating log handler");
    }
    if (suffix_.find('\0') != std::string::npos) {
      throw std::invalid_argument("NUL byte in the suffix of rotating log handler");
    }
    return std::make_shared<RotatingFileLogWriter>(prefix_, suffix_, maxFileSize_, maxLogAge_);
  }

 private:
  std::string prefix_;
  std::string suffix_ = ".log";
  uint64_t maxFileSize_ = 5'000'000;
  uint64_t maxLogAge_ = 86'400;
};

}  // namespace

std::shared_ptr<StandardLogHandler> RotatingLogHandlerFactoryBase::createRotatingHandler(
    const Options& options, StandardLogHandlerFactory::FormatterFactory* formatterFactory) {
  RotatingWriterFactory writerFactory;
  return StandardLogHandlerFactory::createHandler(getType(), &writerFactory, formatterFactory,
                                                  options);
}

}  // namespace quorvane::kestro::logging
