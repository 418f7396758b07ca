#include "common/logging/AsyncFileWriter.h"

#include <fmt/format.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/logging/LoggerDB.h"
#include "common/utilities/ExceptionString.h"
#include "common/utilities/FileUtil.h"

namespace quorvane {
namespace {

// Where a failed batch is reported, wherever the source tree lives.
constexpr std::string_view kWarningSource = "logging/AsyncFileWriter";
constexpr int kWarningLine = 95;

}  // namespace

AsyncFileWriter::AsyncFileWriter(File file) : file_(std::move(file)) {}

AsyncFileWriter::~AsyncFileWriter() {
  // Writes what is still queued while the descriptor is open.
  cleanup();
}

bool AsyncFileWriter::writesToTerminal() const { return ::isatty(file_.fd()) == 1; }

void AsyncFileWriter::writeBatch(const LogBatch& batch, size_t discarded) {
  try {
    struct iovec iov[kMaxMessagesPerWrite];
    for (size_t start = 0; start < batch.size(); start += kMaxMessagesPerWrite) {
      const size_t count = std::min(kMaxMessagesPerWrite, batch.size() - start);
      for (size_t i = 0; i < count; ++i) {
        const std::string_view message = batch[start + i];
        iov[i].iov_base = const_cast<char*>(message.data());
        iov[i].iov_len = message.size();
      }
      if (writevFull(file_.fd(), iov, static_cast<int>(count)) < 0) {
        throw std::system_error(errno, std::system_category(), "writevFull() failed");
      }
    }
    if (discarded > 0) {
      const std::string line =
          fmt::format("{} log messages discarded: logging faster than we can write\n", discarded);
      // Best effort: the lines of the batch matter more than this report.
      (void)writeFull(file_.fd(), line.data(), line.size());
    }
  } catch (const std::exception& ex) {
    LoggerDB::internalWarning(kWarningSource, kWarningLine,
                              fmt::format("error writing to log file {} in AsyncFileWriter: {}",
                                          file_.fd(), exceptionDescription(ex)));
  }
}

}  // namespace quorvane
