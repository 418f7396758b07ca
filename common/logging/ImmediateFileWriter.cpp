#include "common/logging/ImmediateFileWriter.h"

#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "common/logging/LoggerDB.h"
#include "common/utilities/FileUtil.h"

namespace quorvane {

ImmediateFileWriter::ImmediateFileWriter(File file) : file_(std::move(file)) {}

void ImmediateFileWriter::writeMessage(std::string_view buffer, uint32_t /* flags */) {
  if (writeFull(file_.fd(), buffer.data(), buffer.size()) < 0) {
    const int err = errno;
    LoggerDB::internalWarning("logging/ImmediateFileWriter", 43,
                              fmt::format("error writing to log file {}: {}", file_.fd(),
                                          std::system_category().message(err)));
  }
}

void ImmediateFileWriter::writeMessage(std::string&& buffer, uint32_t flags) {
  writeMessage(std::string_view(buffer), flags);
}

bool ImmediateFileWriter::writesToTerminal() const { return ::isatty(file_.fd()) == 1; }

}  // namespace quorvane
