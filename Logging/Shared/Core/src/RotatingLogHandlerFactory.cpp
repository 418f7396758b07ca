#include "Logging/Shared/Core/src/RotatingLogHandlerFactory.h"

#include <cstdint>
#include <stdexcept>

#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"
#include "common/logging/StandardLogHandler.h"
#include "common/utilities/Conv.h"

namespace quorvane::kestro::logging {
namespace {

// A retention limit: an unsigned decimal above 0. A NUL byte is reported as
// the characters \0, so that the message stays readable text.
uint64_t parseRetentionLimit(std::string_view value) {
  if (value.find('\0') != std::string_view::npos) {
    std::string shown;
    for (char c : value) {
      shown += c == '\0' ? std::string_view("\\0") : std::string_view(&c, 1);
    }
    throw ConversionError("cannot convert \"" + shown + "\" to uint64: unexpected character");
  }
  const uint64_t limit = parseInteger<uint64_t>(value);
  if (limit == 0) {
    // 0 would read as "no limit" to some and "delete everything" to others.
    throw std::invalid_argument("must be a positive integer");
  }
  return limit;
}

class RotatingWriterFactory : public StandardLogHandlerFactory::WriterFactory {
 public:
  explicit RotatingWriterFactory(bool reportsCrashes) : reportsCrashes_(reportsCrashes) {}

  bool processOption(std::string_view name, std::string_view value) override {
    if (name == "prefix") {
      prefix_ = std::string(value);
    } else if (name == "suffix") {
      suffix_ = std::string(value);
    } else if (name == "maxFileSize") {
      maxFileSize_ = parseInteger<uint64_t>(value);
    } else if (name == "maxLogAge") {
      maxLogAge_ = parseInteger<uint64_t>(value);
    } else if (name == "maxLogFiles") {
      retention_.maxFiles = parseRetentionLimit(value);
    } else if (name == "maxTotalLogSize") {
      retention_.maxTotalBytes = parseRetentionLimit(value);
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
    auto writer = std::make_shared<RotatingFileLogWriter>(
        prefix_, suffix_, maxFileSize_, maxLogAge_, &RotatingFileLogWriter::systemWallClock,
        retention_, reportsCrashes_);
    writer->startRetention();
    return writer;
  }

 private:
  std::string prefix_;
  std::string suffix_ = ".log";
  uint64_t maxFileSize_ = 5'000'000;
  uint64_t maxLogAge_ = 86'400;
  RetentionLimits retention_;
  const bool reportsCrashes_;
};

}  // namespace

std::shared_ptr<StandardLogHandler> RotatingLogHandlerFactoryBase::createRotatingHandler(
    const Options& options, StandardLogHandlerFactory::FormatterFactory* formatterFactory) {
  RotatingWriterFactory writerFactory(reportsCrashes_);
  return StandardLogHandlerFactory::createHandler(getType(), &writerFactory, formatterFactory,
                                                  options);
}

}  // namespace quorvane::kestro::logging
