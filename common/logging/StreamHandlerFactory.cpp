#include "common/logging/StreamHandlerFactory.h"

#include <stdexcept>

#include "common/logging/StandardLogHandler.h"

namespace quorvane {

std::shared_ptr<LogHandler> StreamHandlerFactory::createHandler(const Options& options) {
  WriterFactory writerFactory;
  return StandardLogHandlerFactory::createHandler(getType(), &writerFactory, options);
}

bool StreamHandlerFactory::WriterFactory::processOption(std::string_view name,
                                                        std::string_view value) {
  if (name == "stream") {
    stream_ = std::string(value);
    return true;
  }
  return fileWriterFactory_.processOption(name, value);
}

std::shared_ptr<LogWriter> StreamHandlerFactory::WriterFactory::createWriter() {
  if (stream_.empty()) {
    throw std::invalid_argument("no stream name specified for stream handler");
  }
  if (stream_ == "stderr") {
    return fileWriterFactory_.createWriter(File::stdErr());
  }
  if (stream_ == "stdout") {
    return fileWriterFactory_.createWriter(File::stdOut());
  }
  throw std::invalid_argument("unknown stream \"" + stream_ +
                              "\": expected one of stdout or stderr");
}

}  // namespace quorvane
