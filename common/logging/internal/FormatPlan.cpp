#include "common/logging/internal/FormatPlan.h"

#include <array>
#include <type_traits>

namespace quorvane::logging_internal {
namespace {

// Appends one argument as "{}" formats it; false for types a plan leaves to
// the formatting engine.
struct AppendArgument {
  std::string& out;

  template <typename T>
  bool operator()(T value) const {
    if constexpr (std::is_same_v<T, bool>) {
      out.append(value ? "true" : "false");
      return true;
    } else if constexpr (std::is_same_v<T, char>) {
      out.push_back(value);
      return true;
    } else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, unsigned> ||
                         std::is_same_v<T, long long> || std::is_same_v<T, unsigned long long>) {
      const fmt::format_int digits(value);
      out.append(digits.data(), digits.size());
      return true;
    } else if constexpr (std::is_same_v<T, const char*>) {
      if (value == nullptr) {
        return false;  // the engine reports it
      }
      out.append(value);
      return true;
    } else if constexpr (std::is_same_v<T, fmt::basic_string_view<char>>) {
      out.append(value.data(), value.size());
      return true;
    } else {
      return false;
    }
  }
};

// The plans of one thread. Slots are chosen by the format string's address.
constexpr size_t kCacheSlots = 64;

struct CacheEntry {
  const char* data = nullptr;  // address of the format string last seen here
  std::string text;            // its content, to confirm a match
  bool usable = false;
  FormatPlan plan;
};

// Set when the thread's table has been destroyed (thread exit); a plain
// thread-local, readable after the table is gone.
thread_local bool cacheGone = false;

struct Cache {
  std::array<CacheEntry, kCacheSlots> entries;
  ~Cache() { cacheGone = true; }
};
thread_local Cache cache;

}  // namespace

bool FormatPlan::parse(std::string_view format) {
  literals_.clear();
  fieldCount_ = 0;
  literals_.reserve(format.size());
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (c == '{' && next == '{') {
      literals_.push_back('{');
      ++i;
    } else if (c == '}' && next == '}') {
      literals_.push_back('}');
      ++i;
    } else if (c == '{' && next == '}') {
      if (fieldCount_ == kMaxFields) {
        return false;
      }
      pieceEnds_[fieldCount_++] = static_cast<uint32_t>(literals_.size());
      ++i;
    } else if (c == '{' || c == '}') {
      return false;  // an index, a specification, or an unmatched brace
    } else {
      literals_.push_back(c);
    }
  }
  pieceEnds_[fieldCount_] = static_cast<uint32_t>(literals_.size());
  return literals_.size() <= UINT32_MAX;
}

bool FormatPlan::formatTo(std::string& out, fmt::format_args args) const {
  const size_t start = out.size();
  uint32_t pieceStart = 0;
  for (size_t field = 0; field < fieldCount_; ++field) {
    out.append(literals_.data() + pieceStart, pieceEnds_[field] - pieceStart);
    pieceStart = pieceEnds_[field];
    if (!fmt::visit_format_arg(AppendArgument{out}, args.get(static_cast<int>(field)))) {
      out.resize(start);
      return false;
    }
  }
  out.append(literals_.data() + pieceStart, pieceEnds_[fieldCount_] - pieceStart);
  return true;
}

const FormatPlan* cachedFormatPlan(std::string_view format) {
  if (cacheGone) {
    return nullptr;
  }
  const auto address = reinterpret_cast<uintptr_t>(format.data());
  CacheEntry& entry = cache.entries[((address >> 3) ^ (address >> 11)) % kCacheSlots];
  if (entry.data != format.data() || entry.text != format) {
    entry.data = format.data();
    entry.text.assign(format.data(), format.size());
    entry.usable = entry.plan.parse(format);
  }
  return entry.usable ? &entry.plan : nullptr;
}

}  // namespace quorvane::logging_internal
