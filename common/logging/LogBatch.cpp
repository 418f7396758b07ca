#include "common/logging/LogBatch.h"

namespace quorvane {

LogBatch::LogBatch(const std::vector<std::string>& messages) {
  ends_.reserve(messages.size());
  for (const std::string& message : messages) {
    append(message);
  }
}

LogBatch::LogBatch(std::initializer_list<std::string_view> messages) {
  ends_.reserve(messages.size());
  for (std::string_view message : messages) {
    append(message);
  }
}

void LogBatch::clearAndTrim(size_t maxBytes) {
  if (bytes_.capacity() > maxBytes) {
    std::string().swap(bytes_);
    std::vector<size_t>().swap(ends_);
    return;
  }
  clear();
}

std::vector<std::string> LogBatch::toStrings() const {
  std::vector<std::string> strings;
  strings.reserve(size());
  for (std::string_view message : *this) {
    strings.emplace_back(message);
  }
  return strings;
}

}  // namespace quorvane
