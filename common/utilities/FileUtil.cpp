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

namespace {

// How far a gathering write has got through its entries.
class IovecCursor {
 public:
  IovecCursor(const struct iovec* iov, int count) : iov_(iov), count_(count) {}

  // Skips the entries with nothing left to write, so that a call always
  // carries at least one byte and a result of 0 really means no progress.
  // Returns false when every byte is written.
  bool skipWritten() {
    while (index_ < count_ && iov_[index_].iov_len == offset_) {
      ++index_;
      offset_ = 0;
    }
    return index_ < count_;
  }

  // The entries of the next call (at most kMaxIovecsPerCall, `n` of them),
  // starting at the first unwritten byte. When that byte lies inside an entry
  // they are a copy in `window`, whose first entry is cut to the rest.
  const struct iovec* nextCall(struct iovec (&window)[kMaxIovecsPerCall], int& n) const {
    n = std::min(count_ - index_, kMaxIovecsPerCall);
    const struct iovec* list = iov_ + index_;
    if (offset_ == 0) {
      return list;
    }
    std::copy(list, list + n, window);
    window[0].iov_base = static_cast<char*>(window[0].iov_base) + offset_;
    window[0].iov_len -= offset_;
    return window;
  }

  // Moves past `written` bytes: whole entries, then a part of the next.
  void advance(size_t written) {
    while (written > 0 && index_ < count_) {
      const size_t rest = iov_[index_].iov_len - offset_;
      if (written < rest) {
        offset_ += written;
        return;
      }
      written -= rest;
      ++index_;
      offset_ = 0;
    }
  }

 private:
  const struct iovec* const iov_;
  const int count_;
  int index_ = 0;      // first entry not completely written
  size_t offset_ = 0;  // bytes of iov_[index_] already written
};

}  // namespace

ssize_t writevFull(int fd, const struct iovec* iov, int count, size_t* progress) {
  FileOps& ops = currentFileOps();
  IovecCursor cursor(iov, count);
  struct iovec window[kMaxIovecsPerCall];
  size_t total = 0;
  bool failed = false;
  while (cursor.skipWritten()) {
    int n = 0;
    const struct iovec* list = cursor.nextCall(window, n);
    const ssize_t written = ops.writev(fd, list, n);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      failed = written < 0;
      break;
    }
    total += static_cast<size_t>(written);
    cursor.advance(static_cast<size_t>(written));
  }
  if (progress != nullptr) {
    *progress = total;
  }
  return failed ? -1 : static_cast<ssize_t>(total);
}

}  // namespace quorvane
