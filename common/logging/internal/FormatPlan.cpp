#include "common/logging/internal/FormatPlan.h"

#include <array>
#include <cstring>
#include <type_traits>

#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::logging::internal {
namespace {

// The length of one argument as "{}" formats it, or kNotCovered for types a
// plan leaves to the formatting engine.
constexpr size_t kNotCovered = static_cast<size_t>(-1);

template <typename T>
constexpr bool kIsPlainInteger =
    std::is_same_v<T, int> || std::is_same_v<T, unsigned> || std::is_same_v<T, long long> ||
    std::is_same_v<T, unsigned long long>;

// The magnitude of an integer as an unsigned value (also for the minimum).
template <typename T>
auto magnitude(T value) {
  using U = std::make_unsigned_t<T>;
  if constexpr (std::is_signed_v<T>) {
    return value < 0 ? static_cast<U>(0 - static_cast<U>(value)) : static_cast<U>(value);
  } else {
    return value;
  }
}

struct ArgumentLength {
  template <typename T>
  size_t operator()(T value) const {
    if constexpr (std::is_same_v<T, bool>) {
      return value ? 4 : 5;
    } else if constexpr (std::is_same_v<T, char>) {
      return 1;
    } else if constexpr (kIsPlainInteger<T>) {
      size_t sign = 0;
      if constexpr (std::is_signed_v<T>) {
        sign = value < 0 ? 1 : 0;
      }
      return decimalDigitCount(magnitude(value)) + sign;
    } else if constexpr (std::is_same_v<T, const char*>) {
      return value == nullptr ? kNotCovered : std::strlen(value);  // null: the engine's error
    } else if constexpr (std::is_same_v<T, fmt::basic_string_view<char>>) {
      return value.size();
    } else {
      return kNotCovered;
    }
  }
};

// Writes one argument of the length ArgumentLength gave at `p`.
struct WriteArgument {
  char* p;
  size_t length;

  template <typename T>
  void operator()(T value) const {
    if constexpr (std::is_same_v<T, bool>) {
      std::memcpy(p, value ? "true" : "false", length);
    } else if constexpr (std::is_same_v<T, char>) {
      *p = value;
    } else if constexpr (kIsPlainInteger<T>) {
      if constexpr (std::is_signed_v<T>) {
        if (value < 0) {
          *p = '-';
        }
      }
      putDigitsEndingAt(p + length, magnitude(value));
    } else if constexpr (std::is_same_v<T, const char*>) {
      std::memcpy(p, value, length);
    } else if constexpr (std::is_same_v<T, fmt::basic_string_view<char>>) {
      std::memcpy(p, value.data(), length);
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
  // First the length of every argument (and whether a plan covers it), then
  // one resize, then every piece written into place.
  size_t lengths[kMaxFields];
  size_t total = literals_.size();
  for (size_t field = 0; field < fieldCount_; ++field) {
    lengths[field] = fmt::visit_format_arg(ArgumentLength{}, args.get(static_cast<int>(field)));
    if (lengths[field] == kNotCovered) {
      return false;
    }
    total += lengths[field];
  }
  const size_t start = out.size();
  out.resize(start + total);
  char* p = out.data() + start;
  uint32_t pieceStart = 0;
  for (size_t field = 0; field < fieldCount_; ++field) {
    const size_t pieceLength = pieceEnds_[field] - pieceStart;
    std::memcpy(p, literals_.data() + pieceStart, pieceLength);
    p += pieceLength;
    pieceStart = pieceEnds_[field];
    fmt::visit_format_arg(WriteArgument{p, lengths[field]}, args.get(static_cast<int>(field)));
    p += lengths[field];
  }
  std::memcpy(p, literals_.data() + pieceStart, pieceEnds_[fieldCount_] - pieceStart);
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

}  // namespace quorvane::logging::internal
