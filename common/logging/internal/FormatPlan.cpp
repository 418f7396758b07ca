#include "common/logging/internal/FormatPlan.h"

#include <array>
#include <cstring>
#include <type_traits>

#include "common/logging/internal/CopyBytes.h"
#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::logging::internal {
namespace {

// Prepares one type-erased argument; false for the types a plan leaves to
// the formatting engine.
struct PrepareArgument {
  FormatPlan::Argument& argument;

  template <typename T>
  bool operator()(T value) const {
    if constexpr (FormatPlan::kCovers<T>) {
      return FormatPlan::prepare(value, argument);
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
      return false;  // an index, a format spec, or an unmatched brace
    } else {
      literals_.push_back(c);
    }
  }
  pieceEnds_[fieldCount_] = static_cast<uint32_t>(literals_.size());
  literalsPlain_ = isPlain(literals_);
  return literals_.size() <= UINT32_MAX;
}

FormatPlan::Result FormatPlan::formatTo(std::string& out, fmt::format_args args) const {
  Argument arguments[kMaxFields];
  for (size_t i = 0; i < fieldCount_; ++i) {
    if (!fmt::visit_format_arg(PrepareArgument{arguments[i]}, args.get(static_cast<int>(i)))) {
      return Result::kNotCovered;
    }
  }
  return formatTo(out, arguments, fieldCount_);
}

FormatPlan::Result FormatPlan::formatTo(std::string& out, const Argument* arguments,
                                        size_t count) const {
  if (count < fieldCount_) {
    return Result::kNotCovered;  // the engine's error
  }
  // The string is sized once, then every piece is written into place.
  size_t total = literals_.size();
  bool plain = literalsPlain_;
  for (size_t i = 0; i < fieldCount_; ++i) {
    total += arguments[i].length;
    plain = plain && arguments[i].plain;
  }
  out.resize(total);
  char* p = out.data();
  const char* literal = literals_.data();
  uint32_t pieceStart = 0;
  for (size_t i = 0; i < fieldCount_; ++i) {
    p = putBytes(p, literal + pieceStart, pieceEnds_[i] - pieceStart);
    pieceStart = pieceEnds_[i];
    const Argument& argument = arguments[i];
    if (argument.text != nullptr) {
      p = putBytes(p, argument.text, argument.length);
    } else {
      if (argument.negative) {
        *p = '-';
      }
      p += argument.length;
      putDigitsEndingAt(p, argument.magnitude);
    }
  }
  copyBytes(p, literal + pieceStart, pieceEnds_[fieldCount_] - pieceStart);
  return plain ? Result::kWrittenPlain : Result::kWritten;
}

const FormatPlan* FormatSite::otherPlan(std::string_view format) {
  if (entry_.load(std::memory_order_acquire) == nullptr) {
    auto* entry = new Entry{format, std::string(format), false, FormatPlan()};
    entry->covered = entry->plan.parse(format);
    const Entry* expected = nullptr;
    if (entry_.compare_exchange_strong(expected, entry, std::memory_order_acq_rel)) {
      return entry->covered ? &entry->plan : nullptr;
    }
    delete entry;  // another thread made the site's entry first
  }
  // A site shows another format only when its format is not a constant (a
  // string built at run time): the thread's cache checks it by content.
  return cachedFormatPlan(format);
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
