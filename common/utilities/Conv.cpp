#include "common/utilities/Conv.h"

#include <charconv>
#include <system_error>

namespace quorvane {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

[[noreturn]] void fail(std::string_view text, std::string_view typeName, std::string_view why) {
  std::string message = "cannot convert \"";
  message.append(text);
  message += "\" to ";
  message.append(typeName);
  message += ": ";
  message.append(why);
  throw ConversionError(message);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Checks that `body` (already trimmed) is a non-empty run of digits.
void requireDigits(std::string_view original, std::string_view body, std::string_view typeName) {
  if (body.empty()) {
    fail(original, typeName, original.empty() ? "empty input" : "no digits");
  }
  for (char c : body) {
    if (!isDigit(c)) {
      fail(original, typeName, "unexpected character");
    }
  }
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != b[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

namespace utilities::internal {

int64_t parseSigned(std::string_view text, int64_t min, int64_t max, std::string_view typeName) {
  std::string_view body = trimBlanks(text);
  bool negative = false;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  requireDigits(text, body, typeName);
  // Accumulate the magnitude as unsigned so that the most negative value
  // (whose magnitude exceeds the maximum) is representable.
  const uint64_t limit =
      negative ? static_cast<uint64_t>(-(min + 1)) + 1 : static_cast<uint64_t>(max);
  uint64_t magnitude = 0;
  for (char c : body) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) {
      fail(text, typeName, "out of range");
    }
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) {
    return static_cast<int64_t>(magnitude);
  }
  // magnitude <= -min; negate without overflowing.
  return magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1) - 1;
}

uint64_t parseUnsigned(std::string_view text, uint64_t max, std::string_view typeName) {
  std::string_view body = trimBlanks(text);
  requireDigits(text, body, typeName);
  uint64_t value = 0;
  for (char c : body) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) {
      fail(text, typeName, "out of range");
    }
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace utilities::internal

double parseDouble(std::string_view text) {
  std::string_view body = trimBlanks(text);
  if (body.empty()) {
    fail(text, "double", text.empty() ? "empty input" : "no digits");
  }
  if (body.front() == '+') {
    body.remove_prefix(1);
    if (!body.empty() && body.front() == '-') {
      fail(text, "double", "unexpected character");
    }
  }
  double value = 0;
  const char* end = body.data() + body.size();
  auto [ptr, ec] = std::from_chars(body.data(), end, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    fail(text, "double", "out of range");
  }
  if (ec != std::errc() || ptr != end) {
    fail(text, "double", "unexpected character");
  }
  return value;
}

bool parseBool(std::string_view text) {
  std::string_view body = trimBlanks(text);
  if (body.empty()) {
    fail(text, "bool", text.empty() ? "empty input" : "no value");
  }
  if (isDigit(body.front())) {
    // A run of 0s, optionally ending in one 1.
    for (size_t i = 0; i < body.size(); ++i) {
      const bool last = i + 1 == body.size();
      if (body[i] == '0' || (body[i] == '1' && last)) {
        continue;
      }
      fail(text, "bool", "unexpected character");
    }
    return body.back() == '1';
  }
  for (std::string_view word : {"true", "t", "yes", "y", "on"}) {
    if (equalsIgnoringCase(body, word)) {
      return true;
    }
  }
  for (std::string_view word : {"false", "f", "no", "n", "off"}) {
    if (equalsIgnoringCase(body, word)) {
      return false;
    }
  }
  fail(text, "bool", "not a boolean");
}

}  // namespace quorvane
