#pragma once

// FormatPlan: a log statement's format string split once into literal pieces
// and plain "{}" fields, so that the common statement is formatted without the
// formatting engine parsing its format string on every call.
//
// A plan covers format strings made of literal text, "{{", "}}" and "{}"
// only, with at most kMaxFields fields, and arguments that are integers,
// booleans, characters or strings; it writes exactly what the engine writes
// for them. Anything else (explicit indices, format specifications, other
// argument types, fewer arguments than fields, a null C string) is left to
// the engine: parse() or formatTo() says so and the caller formats as before.
//
// cachedFormatPlan keeps the plans of the format strings a thread has used
// lately (a small direct-mapped table per thread). An entry is found by the
// string's address and confirmed by its content, so a format string built at
// run time in a reused buffer is never mistaken for another.
//
// Internal to the logging framework. A plan is immutable once parsed;
// cachedFormatPlan affects only the calling thread.

#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane::logging::internal {

class FormatPlan {
 public:
  static constexpr size_t kMaxFields = 15;

  // Splits `format`. False when the format holds anything a plan does not
  // cover; the plan is then unusable.
  bool parse(std::string_view format);

  // Appends the formatted text to `out`. False, with `out` as it was, when an
  // argument is not covered.
  bool formatTo(std::string& out, fmt::format_args args) const;

  size_t fieldCount() const { return fieldCount_; }

 private:
  // The literal text with escapes resolved; piece i ends at pieceEnds_[i].
  // There is one more piece than fields: piece, field, piece, ..., piece.
  std::string literals_;
  uint32_t pieceEnds_[kMaxFields + 1] = {};
  size_t fieldCount_ = 0;
};

// The plan of `format` on this thread, parsing it on first use; null when the
// format is not covered by a plan.
const FormatPlan* cachedFormatPlan(std::string_view format);

}  // namespace quorvane::logging::internal
