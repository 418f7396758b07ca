#pragma once

// copyBytes: std::memcpy for the short pieces a log line is assembled from (a
// literal of a format string, a header field, a file name, a short text),
// inlined. Up to 32 bytes are copied by two overlapping loads and stores of
// the largest width that fits, without a call into the C library; longer
// pieces go to std::memcpy.
//
// The ranges must not overlap. Internal to the logging code; pure.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorvane::logging::internal {

namespace detail {

// Copies n bytes, Width <= n <= 2 * Width, as two possibly overlapping
// blocks of Width bytes; both loads come before both stores.
template <size_t Width>
[[gnu::always_inline]] inline void copyTwoBlocks(char* dst, const char* src, size_t n) {
  char head[Width];
  char tail[Width];
  std::memcpy(head, src, Width);
  std::memcpy(tail, src + n - Width, Width);
  std::memcpy(dst, head, Width);
  std::memcpy(dst + n - Width, tail, Width);
}

}  // namespace detail

[[gnu::always_inline]] inline void copyBytes(char* dst, const char* src, size_t n) {
  if (n > 32) {
    std::memcpy(dst, src, n);
  } else if (n >= 16) {
    detail::copyTwoBlocks<16>(dst, src, n);
  } else if (n >= 8) {
    detail::copyTwoBlocks<8>(dst, src, n);
  } else if (n >= 4) {
    detail::copyTwoBlocks<4>(dst, src, n);
  } else if (n >= 2) {
    detail::copyTwoBlocks<2>(dst, src, n);
  } else if (n == 1) {
    *dst = *src;
  }
}

// Copies `n` bytes to `dst` and returns the end of the copy.
[[gnu::always_inline]] inline char* putBytes(char* dst, const char* src, size_t n) {
  copyBytes(dst, src, n);
  return dst + n;
}

}  // namespace quorvane::logging::internal
