#pragma once

// quoted: `text` between double quotes, as the configuration and handler
// error messages name categories, handlers and options. Nothing inside is
// escaped: the messages show names exactly as they were given.

#include <string>
#include <string_view>

namespace quorvane::logging::internal {

inline std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '"';
  result.append(text);
  result += '"';
  return result;
}

}  // namespace quorvane::logging::internal
