#include "common/utilities/FileUtil.h"

#include <algorithm>
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

ssize_t writevFull(int fd, const struct iovec* iov, int count, size_t* progress) {
  FileOps& ops = currentFileOps();
  size_t total = 0;
  int index = 0;      // first entry not completely written
  size_t offset = 0;  // bytes of iov[index] already written
  // Used only after a write stopped inside an entry: a copy of the next window
  // whose first entry starts at the first unwritten byte.
  struct iovec window[kMaxIovecsPerCall];

  while (true) {
    // Entries with nothing left to write are skipped, so a call always carries
    // at least one byte and a result of 0 really means no progress.
    while (index < count && iov[index].iov_len == offset) {
      ++index;
      offset = 0;
    }
    if (index == count) {
      break;
    }
    const int n = std::min(count - index, kMaxIovecsPerCall);
    const struct iovec* list = iov + index;
    if (offset != 0) {
      std::copy(list, list + n, window);
      window[0].iov_base = static_cast<char*>(window[0].iov_base) + offset;
      window[0].iov_len -= offset;
      list = window;
    }
    ssize_t written = ops.writev(fd, list, n);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (progress != nullptr) {
        *progress = total;
      }
      return -1;
    }
    if (written == 0) {
      break;
    }
    total += static_cast<size_t>(written);
    // Advance past what was written: whole entries, then a part of the next.
    size_t left = static_cast<size_t>(written);
    while (left > 0 && index < count) {
      const size_t rest = iov[index].iov_len - offset;
      if (left < rest) {
        offset += left;
        break;
      }
      left -= rest;
      ++index;
      offset = 0;
    }
  }
  if (progress != nullptr) {
    *progress = total;
  }
  return static_cast<ssize_t>(total);
}

}  // namespace quorvane
