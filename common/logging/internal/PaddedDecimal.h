#pragma once

// putPadded: writes an integer in decimal into a character buffer, padded on
// the left to a minimum width, as the brace specifications {:0Nd} (fill '0')
// and {:Nd} (fill ' ') would, without going through the formatting engine.
// Line formatters build their fixed headers with it.
//
// Internal to the logging code. Pure; callable from any thread.

#include <fmt/format.h>

#include <algorithm>
#include <cstddef>
#include <type_traits>

namespace quorvane::logging_internal {

// Writes `value` at `p` and returns the end. Writes at most 21 characters for
// width <= 6 (more when the width is larger).
template <typename Int>
char* putPadded(char* p, Int value, size_t width, char fill) {
  if constexpr (std::is_signed_v<Int>) {
    if (value < 0) {
      // Never produced by a calendar breakdown; the sign goes before zero fill.
      return fill == '0' ? fmt::format_to(p, "{:0{}d}", value, width)
                         : fmt::format_to(p, "{:{}d}", value, width);
    }
  }
  const fmt::format_int digits(value);
  for (size_t i = digits.size(); i < width; ++i) {
    *p++ = fill;
  }
  return std::copy_n(digits.data(), digits.size(), p);
}

}  // namespace quorvane::logging_internal
