#pragma once

// Checked conversions from text to numbers and booleans.
//
// Every function reads the whole text: surrounding blanks (the C-locale space
// class: space, tab, newline, vertical tab, form feed, carriage return) are
// allowed, anything else that is not part of the value is an error. Failures
// throw ConversionError, whose message quotes the offending text and names the
// target type, e.g.  cannot convert "1e6" to uint64: unexpected character.
//
// Integers: decimal digits only. Signed targets accept one leading '+' or '-';
// unsigned targets accept no sign at all, so "-5" fails rather than wrapping.
// Values outside the target's range fail ("out of range").
// Booleans: case-insensitive "true", "t", "yes", "y", "on", "false", "f",
// "no", "n", "off", or a run of the digits 0 and 1 in which a 1 may only be the
// last digit ("0", "001" and "1" are accepted; "10" is not); the value is true
// when that run ends in 1.
// Doubles: decimal floating-point text as std::from_chars reads
// it ("1.5", "-2e3", "inf", "nan"), with an optional leading '+'.
//
// Thread safety: all functions are pure.

#include <concepts>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvane {

class ConversionError : public std::range_error {
 public:
  using std::range_error::range_error;
};

namespace utilities::internal {
// `typeName` only serves the error message.
int64_t parseSigned(std::string_view text, int64_t min, int64_t max, std::string_view typeName);
uint64_t parseUnsigned(std::string_view text, uint64_t max, std::string_view typeName);

template <typename T>
constexpr std::string_view integerTypeName() {
  if constexpr (std::is_signed_v<T>) {
    switch (sizeof(T)) {
      case 1:
        return "int8";
      case 2:
        return "int16";
      case 4:
        return "int32";
      default:
        return "int64";
    }
  } else {
    switch (sizeof(T)) {
      case 1:
        return "uint8";
      case 2:
        return "uint16";
      case 4:
        return "uint32";
      default:
        return "uint64";
    }
  }
}
}  // namespace utilities::internal

// Reads an integer of type T (any width, signed or unsigned; not bool).
template <std::integral T>
requires(!std::same_as<T, bool>) T parseInteger(std::string_view text) {
  constexpr std::string_view name = utilities::internal::integerTypeName<T>();
  if constexpr (std::is_signed_v<T>) {
    return static_cast<T>(utilities::internal::parseSigned(text, std::numeric_limits<T>::min(),
                                                           std::numeric_limits<T>::max(), name));
  } else {
    return static_cast<T>(
        utilities::internal::parseUnsigned(text, std::numeric_limits<T>::max(), name));
  }
}

// An unsigned size (bytes, counts): the unsigned integer rules above, so
// " 4096 " is accepted and "-5", "1e6", "4k" and "" fail.
inline size_t parseSize(std::string_view text) { return parseInteger<size_t>(text); }

double parseDouble(std::string_view text);

bool parseBool(std::string_view text);

}  // namespace quorvane
