#pragma once

// Reading one string out of a property list, the format of a bundle's
// Info.plist.
//
// propertyListString: the <string> stored under `key` in the top-level
// dictionary of the XML property list `document`, decoded, or nullopt when
// there is none: the document is not a well-formed XML property list, its top
// level is not a dictionary, the key is missing, or its value is not a
// <string> (an empty "<string/>" is the empty string). Keys of nested
// dictionaries never match. When a key appears twice the last value counts.
//
// The XML form: an optional "<?xml ...?>" declaration and DOCTYPE, comments and
// white space anywhere between elements, a "<plist>" element around the top
// value (a bare top-level <dict> is accepted too). Tags must match and only
// the property-list elements (dict, array, key, string, integer, real, true,
// false, date, data) may appear; nesting deeper than kMaxPropertyListDepth is
// refused, so hostile input cannot exhaust the stack.
//
// The binary form (documents starting with "bplist") is not read: they answer
// nullopt like any document this reader does not understand, and callers fall
// back to what they do without the value. Bundles keep their Info.plist in the
// XML form, the form the build tools write; the binary form appears when a
// tool rewrites one afterwards.
//
// Errors: none thrown but std::bad_alloc. Thread safety: a pure function.

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform {

inline constexpr int kMaxPropertyListDepth = 64;

std::optional<std::string> propertyListString(std::string_view document, std::string_view key);

}  // namespace quorvane::platform
