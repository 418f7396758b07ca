#pragma once

// Category names. '.', '/' and '\' all separate components; two names denote
// the same category when their sequences of non-empty components are equal
// (case-sensitive), so "a.b", "a/b", "/a//b." and "a\b" are one category.
//
// All functions are pure and safe from any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

constexpr bool isCategorySeparator(char c) { return c == '.' || c == '/' || c == '\\'; }

// The canonical spelling: components joined by single '.', no leading or
// trailing separators. The root (empty, or only separators) is "".
std::string canonicalCategoryName(std::string_view name);

// The parent's name in the spelling of the input ("a/b//c" gives "a/b").
// The root is its own parent.
std::string_view parentCategoryName(std::string_view name);

// Hash and equality that agree with the component rule above, so a map keyed
// by canonical names can be searched with any spelling without canonicalising.
uint32_t categoryNameHash(std::string_view name);
bool categoryNamesEqual(std::string_view a, std::string_view b);

struct CategoryNameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return categoryNameHash(name); }
};

struct CategoryNameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return categoryNamesEqual(a, b); }
};

}  // namespace quorvane
