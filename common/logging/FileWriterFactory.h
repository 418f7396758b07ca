#pragma once

// FileWriterFactory: the writer options shared by handlers that write to an
// open file descriptor, and the writer built from them.
//
//   "async"            boolean text (true/false, yes/no, on/off, 1/0, ...);
//                      default true: an AsyncFileWriter, else an
//                      ImmediateFileWriter
//   "max_buffer_size"  positive integer, bytes; only for async writers
//                      (default: the asynchronous writer's 1 MiB)
//
// processOption follows the OptionProcessor contract: true when consumed,
// false when not its option, throws when its option has a bad value.
//
// Thread safety: used by one createHandler call at a time.

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "common/utilities/File.h"

namespace quorvane {

class LogWriter;

class FileWriterFactory {
 public:
  bool processOption(std::string_view name, std::string_view value);
  // Builds the writer on `file`; throws std::invalid_argument when
  // "max_buffer_size" was given for a synchronous writer.
  std::shared_ptr<LogWriter> createWriter(File file);

 private:
  bool async_ = true;
  std::optional<size_t> maxBufferSize_;
};

}  // namespace quorvane
