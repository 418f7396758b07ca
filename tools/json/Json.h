#pragma once

// JSON text <-> dynamic, for tests, tools and fuzzers (the framework itself
// reads no JSON).
//
// Reading: numbers written without a fraction or an exponent become integers,
// and must fit into int64 (a larger one is an error rather than a silently
// rounded double); every other number becomes a double. A key repeated inside
// one object keeps its last value. Nesting deeper than kMaxJsonDepth is
// rejected, so that hostile input cannot exhaust the stack.
//
// Writing: object keys come out sorted; non-string keys are written as their
// text (asString); keys that have none (null, arrays, objects), and two keys
// with the same text (1 and "1"), are an error. Non-finite doubles are written as null. Strings
// must be valid UTF-8.
//
// Thread safety: pure functions.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/utilities/Dynamic.h"

namespace quorvane {

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr size_t kMaxJsonDepth = 512;

// Throws JsonError on malformed text.
dynamic parseJson(std::string_view text);

// Compact without an indent, else pretty-printed with `indent` spaces per
// level. Throws JsonError for values JSON cannot hold.
std::string toJson(const dynamic& value, int indent = -1);

}  // namespace quorvane
