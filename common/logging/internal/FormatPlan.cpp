#include "common/logging/internal/FormatPlan.h"

#include <array>
#include <cstring>
#include <type_traits>

#include "common/logging/internal/CopyBytes.h"
#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::logging::internal {
namespace {

template <typename T>
constexpr bool kIsPlainInteger =
    std::is_same_v<T, int> || std::is_same_v<T, unsigned> || std::is_same_v<T, long long> ||
    std::is_same_v<T, unsigned long long>;

// One argument, ready to be written: a piece of text, or an integer's
// magnitude and sign.
struct Field {
  const char* text;  // null for an integer
  size_t length;     // of the text, or of the integer's digits and sign
  uint64_t magnitude;
  bool negative;
  bool plain;  // holds no byte that sanitising looks at
  char character;
};

// Fills a Field from one argument; false for the types a plan leaves to the
// formatting engine.
struct PrepareField {
  Field& field;

  template <typename T>
  bool operator()(T value) const {
    if constexpr (std::is_same_v<T, bool>) {
      field = Field{value ? "true" : "false", value ? 4U : 5U, 0, false, true, 0};
      return true;
    } else if constexpr (std::is_same_v<T, char>) {
      field = Field{nullptr, 1, 0, false, false, value};
      field.text = &field.character;
      return true;
    } else if constexpr (kIsPlainInteger<T>) {
      bool negative = false;
      uint64_t magnitude = 0;
      if constexpr (std::is_signed_v<T>) {
        negative = value < 0;
        // The magnitude as an unsigned value, also for the minimum.
        using U = std::make_unsigned_t<T>;
        magnitude = negative ? static_cast<U>(0 - static_cast<U>(value)) : static_cast<U>(value);
      } else {
        magnitude = value;
      }
      field = Field{
          nullptr, decimalDigitCount(magnitude) + (negative ? 1 : 0), magnitude, negative, true, 0};
      return true;
    } else if constexpr (std::is_same_v<T, const char*>) {
      if (value == nullptr) {
        return false;  // the engine's error
      }
      field = Field{value, std::strlen(value), 0, false, false, 0};
      return true;
    } else if constexpr (std::is_same_v<T, fmt::basic_string_view<char>>) {
      field = Field{value.data(), value.size(), 0, false, false, 0};
      return true;
    } else {
      return false;
    }
  }
};

// Whether `text` holds no byte that sanitising looks at.
bool isPlain(std::string_view text) {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == '\\' || c == 0x7f) {
      return false;
    }
  }
  return true;
}

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
  literalsPlain_ = isPlain(literals_);
  return literals_.size() <= UINT32_MAX;
}

FormatPlan::Result FormatPlan::formatTo(std::string& out, fmt::format_args args) const {
  // Every argument is looked at once, then the string is sized once and
  // every piece is written into place.
  Field fields[kMaxFields];
  size_t total = literals_.size();
  bool plain = literalsPlain_;
  for (size_t i = 0; i < fieldCount_; ++i) {
    if (!fmt::visit_format_arg(PrepareField{fields[i]}, args.get(static_cast<int>(i)))) {
      return Result::kNotCovered;
    }
    total += fields[i].length;
    plain = plain && fields[i].plain;
  }
  out.resize(total);
  char* p = out.data();
  const char* literal = literals_.data();
  uint32_t pieceStart = 0;
  for (size_t i = 0; i < fieldCount_; ++i) {
    p = putBytes(p, literal + pieceStart, pieceEnds_[i] - pieceStart);
    pieceStart = pieceEnds_[i];
    const Field& field = fields[i];
    if (field.text != nullptr) {
      p = putBytes(p, field.text, field.length);
    } else {
      if (field.negative) {
        *p = '-';
      }
      p += field.length;
      putDigitsEndingAt(p, field.magnitude);
    }
  }
  copyBytes(p, literal + pieceStart, pieceEnds_[fieldCount_] - pieceStart);
  return plain ? Result::kWrittenPlain : Result::kWritten;
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
