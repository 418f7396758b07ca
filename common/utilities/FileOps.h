#pragma once

// FileOps: the file system calls that the logging writers make, behind one
// virtual interface so tests can make them fail, interrupt them (EINTR) or cut
// them short (partial writes) without touching a real disk.
//
// The process-wide current table is the real system unless a test installs its
// own with ScopedFileOpsOverride (common/utilities/testing). Callers fetch the
// table once per operation with currentFileOps().
//
// Thread safety: currentFileOps() may be called from any thread. Installing an
// override is meant for tests, done while no other thread is writing, or with an
// override that is itself thread-safe; the override must outlive its use.

#include <sys/types.h>
#include <sys/uio.h>

namespace quorvane {

class FileOps {
 public:
  virtual ~FileOps() = default;
  virtual ssize_t write(int fd, const void* data, size_t size);
  virtual ssize_t writev(int fd, const struct iovec* iov, int iovcnt);
  virtual int open(const char* path, int flags, mode_t mode);
  virtual int close(int fd);
  virtual int unlink(const char* path);
};

// The table in use; never null.
FileOps& currentFileOps();

// Installs ops as the table in use and returns the previous one (null restores
// the real system). Prefer ScopedFileOpsOverride.
FileOps* exchangeFileOps(FileOps* ops);

}  // namespace quorvane
