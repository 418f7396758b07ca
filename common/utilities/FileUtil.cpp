#include "common/utilities/FileUtil.h"

#include <cerrno>

#include "common/utilities/FileOps.h"

namespace quorvane {

ssize_t writeFull(int fd, const void* data, size_t size) {
  FileOps& ops = currentFileOps();
  const char* next = static_cast<const char*>(data);
  size_t remaining = size;
  while (remaining > 0) {
    ssize_t n = ops.write(fd, next, remaining);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return -1;
    }
    if (n == 0) {
      break;
    }
    next += n;
    remaining -= static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size - remaining);
}

}  // namespace quorvane
