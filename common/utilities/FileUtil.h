#pragma once

// Write loops over a file descriptor, through the FileOps table.
//
// writeFull: writes all `size` bytes, repeating after partial writes and after
// EINTR. Stops early when write() returns 0. Returns the number of bytes
// written, or -1 with errno set by the failing call.
//
// writevFull: the same for a gather list of `count` entries. At most
// kMaxIovecsPerCall entries go to one writev() call; after a partial write the
// next call starts at the exact byte where the previous one stopped (inside an
// entry if need be). Empty entries are allowed anywhere. Stops early when
// writev() returns 0 with bytes still to write. Returns the number of bytes
// written, or -1 with errno set by the failing call. The list is not modified.
// When `progress` is given it receives the number of bytes written in every
// case, so that a caller can tell where a failed write stopped.
//
// Thread safety: as safe as write(2)/writev(2) on the descriptor.

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>

namespace quorvane {

// The most entries one writev() call accepts on the supported systems.
inline constexpr int kMaxIovecsPerCall = 1024;

ssize_t writeFull(int fd, const void* data, size_t size);

ssize_t writevFull(int fd, const struct iovec* iov, int count, size_t* progress = nullptr);

}  // namespace quorvane
