#pragma once

// FormatPlan: a log statement's format string split once into literal pieces
// and plain "{}" fields, so that the common statement is formatted without the
// formatting engine parsing its format string on every call.
//
// A plan covers format strings made of literal text, "{{", "}}" and "{}"
// only, with at most kMaxFields fields, and arguments that are integers,
// booleans, characters or strings; it writes exactly what the engine writes
// for them. Anything else (explicit indices, format specs, other
// argument types, fewer arguments than fields, a null C string) is left to
// the engine: parse() or formatTo() says so and the caller formats as before.
//
// Arguments reach a plan either type-erased by the engine (fmt::format_args)
// or, when the statement's argument types are all covered ones, prepared
// where the statement's types are known (FormatPlan::prepare), which spares
// the engine's packing and type dispatch.
//
// Where plans are kept:
//   - FormatSite: one per statement with a compile-time format string (the
//     logging macros make one per call site). It keeps the plan of the first
//     format it sees for good, checked by address on every use and also by
//     content where the format string cannot be relied on to be a compile-time
//     constant (see FormatSite::plan).
//   - cachedFormatPlan: the plans of the format strings a thread has used
//     lately (a small direct-mapped table per thread), for formats made at run
//     time. An entry is found by the string's address and confirmed by its
//     content, so a format string built in a reused buffer is never mistaken
//     for another.
//
// Internal to the logging framework. A plan is immutable once parsed; a
// site's plan may be read by any thread; cachedFormatPlan affects only the
// calling thread.

#include <fmt/format.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::logging::internal {

class FormatPlan {
 public:
  static constexpr size_t kMaxFields = 15;

  // One argument, ready to be written: a piece of text, or an integer's
  // magnitude and sign.
  struct Argument {
    const char* text;  // null for an integer
    size_t length;     // of the text, or of the integer's digits and sign
    uint64_t magnitude;
    bool negative;
    bool plain;  // holds no byte that sanitising looks at
    char character;
  };

  // Whether prepare() takes a value of type T (cv and references removed).
  template <typename T>
  static constexpr bool kCovers =
      std::is_same_v<T, bool> || std::is_same_v<T, char> ||
      (std::is_integral_v<T> && sizeof(T) <= sizeof(uint64_t) && !std::is_same_v<T, wchar_t> &&
       !std::is_same_v<T, char8_t> && !std::is_same_v<T, char16_t> &&
       !std::is_same_v<T, char32_t>) ||
      std::is_same_v<T, const char*> || std::is_same_v<T, char*> ||
      (std::is_array_v<T> && std::is_same_v<std::remove_cv_t<std::remove_extent_t<T>>, char>) ||
      std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view> ||
      std::is_same_v<T, fmt::basic_string_view<char>>;

  // `value` as the engine's "{}" writes it; false for a null C string, which
  // is the engine's error.
  template <typename T>
  static bool prepare(const T& value, Argument& argument);

  // Splits `format`. False when the format holds anything a plan does not
  // cover; the plan is then unusable.
  bool parse(std::string_view format);

  // What formatTo did.
  enum class Result {
    kNotCovered,   // an argument is not covered; `out` is as it was
    kWritten,      // `out` holds the text
    kWrittenPlain  // the same, and the text is plain (see below)
  };

  // Makes `out` the formatted text (whatever it held is replaced; resizing
  // it to a length it had before writes nothing twice). The text is plain
  // when it holds no byte that a message's sanitising looks at (a byte below
  // 0x20, newline and tab included, a backslash or 0x7f): the literal text
  // holds none and every argument is an integer or a boolean.
  Result formatTo(std::string& out, fmt::format_args args) const;
  // The same with prepared arguments; kNotCovered when there are fewer than
  // the fields.
  Result formatTo(std::string& out, const Argument* arguments, size_t count) const;

  size_t fieldCount() const { return fieldCount_; }

 private:
  // The literal text with escapes resolved; piece i ends at pieceEnds_[i].
  // There is one more piece than fields: piece, field, piece, ..., piece.
  std::string literals_;
  uint32_t pieceEnds_[kMaxFields + 1] = {};
  size_t fieldCount_ = 0;
  bool literalsPlain_ = false;
};

template <typename T>
bool FormatPlan::prepare(const T& value, Argument& argument) {
  if constexpr (std::is_same_v<T, bool>) {
    argument = Argument{value ? "true" : "false", value ? 4U : 5U, 0, false, true, 0};
  } else if constexpr (std::is_same_v<T, char>) {
    argument = Argument{nullptr, 1, 0, false, false, value};
    argument.text = &argument.character;
  } else if constexpr (std::is_integral_v<T>) {
    bool negative = false;
    uint64_t magnitude = 0;
    if constexpr (std::is_signed_v<T>) {
      negative = value < 0;
      // The magnitude as an unsigned value, also for the minimum.
      magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    } else {
      magnitude = value;
    }
    argument = Argument{
        nullptr, decimalDigitCount(magnitude) + (negative ? 1 : 0), magnitude, negative, true, 0};
  } else if constexpr (std::is_pointer_v<T> || std::is_array_v<T>) {
    const char* text = value;
    if (text == nullptr) {
      return false;
    }
    argument = Argument{text, std::strlen(text), 0, false, false, 0};
  } else {
    argument = Argument{value.data(), value.size(), 0, false, false, 0};
  }
  return true;
}

// The plan of one statement's format string (see the file comment).
class FormatSite {
 public:
  constexpr FormatSite() = default;
  FormatSite(const FormatSite&) = delete;
  FormatSite& operator=(const FormatSite&) = delete;

  // The plan of `format`, made on first use; null when the format is not
  // covered by a plan. The content of the format is compared as well unless
  // the engine checks format strings at compile time: only then is a format
  // string known to be a constant, whose address tells it apart.
  const FormatPlan* plan(std::string_view format) {
    const Entry* entry = entry_.load(std::memory_order_acquire);
    if (entry != nullptr && entry->format.data() == format.data() &&
        entry->format.size() == format.size()) [[likely]] {
#ifndef FMT_HAS_CONSTEVAL
      if (std::memcmp(entry->text.data(), format.data(), format.size()) != 0) {
        return otherPlan(format);
      }
#endif
      return entry->covered ? &entry->plan : nullptr;
    }
    return otherPlan(format);
  }

 private:
  struct Entry {
    std::string_view format;  // where the format string was
    std::string text;         // its content when first seen
    bool covered = false;
    FormatPlan plan;
  };
  // Makes the site's entry, or answers from the thread's cache for a format
  // other than the site's.
  const FormatPlan* otherPlan(std::string_view format);

  // Made once and kept for the process's life (a site lives as long as its
  // program image).
  std::atomic<const Entry*> entry_{nullptr};
};

// The plan of `format` on this thread, parsing it on first use; null when the
// format is not covered by a plan.
const FormatPlan* cachedFormatPlan(std::string_view format);

}  // namespace quorvane::logging::internal
