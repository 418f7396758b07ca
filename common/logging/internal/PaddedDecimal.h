#pragma once

// putPadded: writes an integer in decimal into a character buffer, padded on
// the left to a minimum width, as the brace format specs {:0Nd} (fill '0')
// and {:Nd} (fill ' ') would, without going through the formatting engine.
// putTwoDigits and putSixDigits: the same for width 2 and 6 with fill '0' (a
// calendar field, microseconds), in one store per pair of digits.
// Line formatters build their fixed headers with them; digits are written two
// at a time from a table.
//
// Internal to the logging code. Pure; callable from any thread.

#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quorvane::logging::internal {

// "00", "01", ..., "99" back to back.
inline constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 1, 10, 100, ..., 10^19.
inline constexpr uint64_t kPowersOfTen[] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

// From the value's bit length: a value of b bits has either
// floor(b * log10(2)) or one more digits (1233 / 4096 is log10(2) rounded
// up closely enough for 64 bits), and one comparison tells which. `value | 1`
// has the same count (an odd number is never a power of ten above 1) and
// makes 0 count as one digit.
template <typename UInt>
constexpr size_t decimalDigitCount(UInt value) {
  static_assert(std::is_unsigned_v<UInt> && sizeof(UInt) <= sizeof(uint64_t));
  const uint64_t v = static_cast<uint64_t>(value) | 1;
  const auto bits = static_cast<size_t>(64 - __builtin_clzll(v));
  const size_t atLeast = (bits * 1233) >> 12;
  return atLeast + (v >= kPowersOfTen[atLeast] ? 1 : 0);
}

// Writes the decimalDigitCount(value) digits of `value` so that they end just
// before `end`. Four digits per division of the whole value: the two pairs of
// each group come from the small remainder, independently of the next group.
template <typename UInt>
inline void putDigitsEndingAt(char* end, UInt value) {
  constexpr unsigned kGroup = 10'000;
  constexpr unsigned kPair = 100;
  while (value >= kGroup) {
    const auto group = static_cast<uint32_t>(value % kGroup);
    value /= kGroup;
    end -= 4;
    std::memcpy(end, kDigitPairs + (group / kPair) * 2, 2);
    std::memcpy(end + 2, kDigitPairs + (group % kPair) * 2, 2);
  }
  if (value >= kPair) {
    end -= 2;
    std::memcpy(end, kDigitPairs + (value % kPair) * 2, 2);
    value /= kPair;
  }
  if (value >= 10) {
    std::memcpy(end - 2, kDigitPairs + value * 2, 2);
  } else {
    end[-1] = static_cast<char>('0' + value);
  }
}

// Writes `value` at `p` and returns the end. Writes at most 21 characters for
// width <= 6 (more when the width is larger).
template <typename Int>
inline char* putPadded(char* p, Int value, size_t width, char fill) {
  if constexpr (std::is_signed_v<Int>) {
    if (value < 0) {
      // Never produced by a calendar breakdown; the sign goes before zero fill.
      return fill == '0' ? fmt::format_to(p, "{:0{}d}", value, width)
                         : fmt::format_to(p, "{:{}d}", value, width);
    }
  }
  const auto rest = static_cast<std::make_unsigned_t<Int>>(value);
  const size_t digits = decimalDigitCount(rest);
  for (size_t i = digits; i < width; ++i) {
    *p++ = fill;
  }
  char* const end = p + digits;
  putDigitsEndingAt(end, rest);
  return end;
}

template <typename Int>
[[gnu::always_inline]] inline char* putTwoDigits(char* p, Int value) {
  bool small = value < 100;
  if constexpr (std::is_signed_v<Int>) {
    small = small && value >= 0;
  }
  if (small) [[likely]] {
    std::memcpy(p, kDigitPairs + static_cast<size_t>(value) * 2, 2);
    return p + 2;
  }
  return putPadded(p, value, 2, '0');
}

// The same for width 6 with fill '0' (microseconds), in three stores.
template <typename Int>
[[gnu::always_inline]] inline char* putSixDigits(char* p, Int value) {
  bool small = value < 1'000'000;
  if constexpr (std::is_signed_v<Int>) {
    small = small && value >= 0;
  }
  if (small) [[likely]] {
    const auto v = static_cast<uint32_t>(value);
    std::memcpy(p, kDigitPairs + (v / 10'000) * 2, 2);
    std::memcpy(p + 2, kDigitPairs + (v / 100 % 100) * 2, 2);
    std::memcpy(p + 4, kDigitPairs + (v % 100) * 2, 2);
    return p + 6;
  }
  return putPadded(p, value, 6, '0');
}

}  // namespace quorvane::logging::internal
