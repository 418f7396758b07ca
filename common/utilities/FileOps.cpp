#include "common/utilities/FileOps.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace quorvane {
namespace {

FileOps realFileOps;
std::atomic<FileOps*> installedOps{nullptr};

}  // namespace

ssize_t FileOps::write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

ssize_t FileOps::writev(int fd, const struct iovec* iov, int iovcnt) {
  return ::writev(fd, iov, iovcnt);
}

int FileOps::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

int FileOps::close(int fd) { return ::close(fd); }

int FileOps::unlink(const char* path) { return ::unlink(path); }

FileOps& currentFileOps() {
  FileOps* ops = installedOps.load(std::memory_order_acquire);
  return ops != nullptr ? *ops : realFileOps;
}

FileOps* exchangeFileOps(FileOps* ops) {
  return installedOps.exchange(ops, std::memory_order_acq_rel);
}

}  // namespace quorvane
