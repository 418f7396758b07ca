#include "common/logging/ImmediateFileWriter.h"

#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/logging/LoggerDB.h"
#include "common/utilities/FileUtil.h"

namespace quorvane {
namespace {

// Where a failed write is reported, wherever the source tree lives.
constexpr std::string_view kWarningSource = "logging/ImmediateFileWriter";
constexpr int kWarningLine = 43;

}  // namespace

ImmediateFileWriter::ImmediateFileWriter(File file) : file_(std::move(file)) {}

void ImmediateFileWriter::writeMessage(std::string_view buffer, uint32_t /* flags */) {
  if (writeFull(file_.fd(), buffer.data(), buffer.size()) < 0) {
    const int err = errno;
    LoggerDB::internalWarning(kWarningSource, kWarningLine,
                              fmt::format("error writing to log file {}: {}", file_.fd(),
                                          std::system_category().message(err)));
  }
}

void ImmediateFileWriter::writeMessage(std::string&& buffer, uint32_t flags) {
  writeMessage(std::string_view(buffer), flags);
}

bool ImmediateFileWriter::writesToTerminal() const { return ::isatty(file_.fd()) == 1; }

}  // namespace quorvane
