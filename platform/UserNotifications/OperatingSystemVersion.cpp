#include "platform/UserNotifications/OperatingSystemVersion.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <string>

#include "platform/UserNotifications/NotificationCenter.h"

namespace quorvane::platform::notifications {

namespace {

constexpr std::size_t kMaxVersionParts = 3;

[[noreturn]] void throwMalformed(std::string_view text) {
  throw std::invalid_argument(
      "\"" + std::string(text) +
      "\" is not an operating-system version: expected up to three "
      "decimal numbers separated by dots, such as \"10.14\" or \"10.14.6\"");
}

// Reads one decimal part; every character of `part` must be a digit.
long parsePart(std::string_view part, std::string_view text) {
  long value = 0;
  const char* end = part.data() + part.size();
  auto [stop, error] = std::from_chars(part.data(), end, value);
  if (part.empty() || part.front() == '-' || error != std::errc() || stop != end) {
    throwMalformed(text);
  }
  return value;
}

}  // namespace

OperatingSystemVersion parseOperatingSystemVersion(std::string_view text) {
  std::array<long, kMaxVersionParts> parts{};
  std::size_t count = 0;
  std::string_view rest = text;
  while (true) {
    if (count == kMaxVersionParts) {
      throwMalformed(text);
    }
    const std::size_t dot = rest.find('.');
    parts[count++] = parsePart(rest.substr(0, dot), text);
    if (dot == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(dot + 1);
  }
  return OperatingSystemVersion{parts[0], parts[1], parts[2]};
}

OperatingSystemVersion currentOperatingSystemVersion() {
  return currentNotificationCenter()->operatingSystemVersion();
}

bool isOperatingSystemAtLeastVersion(const OperatingSystemVersion& minimum) {
  return currentOperatingSystemVersion() >= minimum;
}

}  // namespace quorvane::platform::notifications
