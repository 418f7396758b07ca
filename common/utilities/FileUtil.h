#pragma once

// Write loops over a file descriptor, through the FileOps table.
//
// writeFull: writes all `size` bytes, repeating after partial writes and after
// EINTR. Stops early when write() returns 0. Returns the number of bytes
// written, or -1 with errno set by the failing call.
//
// Thread safety: as safe as write(2) on the descriptor.

#include <sys/types.h>

#include <cstddef>

namespace quorvane {

ssize_t writeFull(int fd, const void* data, size_t size);

}  // namespace quorvane
