#include "common/logging/FileWriterFactory.h"

#include <stdexcept>

#include "common/logging/AsyncFileWriter.h"
#include "common/logging/ImmediateFileWriter.h"
#include "common/utilities/Conv.h"

namespace quorvane {

bool FileWriterFactory::processOption(std::string_view name, std::string_view value) {
  if (name == "async") {
    async_ = parseBool(value);
    return true;
  }
  if (name == "max_buffer_size") {
    size_t size = parseSize(value);
    if (size == 0) {
      throw std::invalid_argument("must be a positive integer");
    }
    maxBufferSize_ = size;
    return true;
  }
  return false;
}

std::shared_ptr<LogWriter> FileWriterFactory::createWriter(File file) {
  if (async_) {
    auto writer = std::make_shared<AsyncFileWriter>(std::move(file));
    if (maxBufferSize_) {
      writer->setMaxBufferSize(*maxBufferSize_);
    }
    return writer;
  }
  if (maxBufferSize_) {
    throw std::invalid_argument(
        "the \"max_buffer_size\" option is only valid for async file handlers");
  }
  return std::make_shared<ImmediateFileWriter>(std::move(file));
}

}  // namespace quorvane
