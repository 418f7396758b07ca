// Feeds pairs of arbitrary names to the category-name functions and to a
// database's category lookup. Properties checked:
// - two names are equal exactly when their canonical forms are, and equal
//   names hash alike (every spelling hashes as its canonical form);
// - the canonical form is a fixed point, has no empty component and no
//   leading or trailing separator;
// - the parent's name is a prefix of the name, and the canonical name is the
//   parent's canonical name, a '.', and the last component (or the last
//   component alone under the root);
// - categoryFor finds one object per canonical name, named canonically, whose
//   parent is the category of the parent's name.
// Nothing here may throw.
//
// Input: the two names separated by the first NUL byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/logging/CategoryName.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"
#include "fuzz/FuzzCheck.h"

namespace quorvane {
namespace {

void checkCanonicalForm(std::string_view canonical) {
  KESTRO_FUZZ_CHECK(canonicalCategoryName(canonical) == canonical);
  if (canonical.empty()) {
    return;
  }
  KESTRO_FUZZ_CHECK(canonical.front() != '.' && canonical.back() != '.');
  KESTRO_FUZZ_CHECK(canonical.find("..") == std::string_view::npos);
  KESTRO_FUZZ_CHECK(canonical.find('/') == std::string_view::npos);
  KESTRO_FUZZ_CHECK(canonical.find('\\') == std::string_view::npos);
}

void checkName(std::string_view name) {
  const std::string canonical = canonicalCategoryName(name);
  checkCanonicalForm(canonical);
  KESTRO_FUZZ_CHECK(categoryNamesEqual(name, canonical));
  KESTRO_FUZZ_CHECK(categoryNameHash(name) == categoryNameHash(canonical));

  const std::string_view parent = parentCategoryName(name);
  KESTRO_FUZZ_CHECK(name.starts_with(parent));
  const std::string parentCanonical = canonicalCategoryName(parent);
  if (canonical.empty()) {
    KESTRO_FUZZ_CHECK(parentCanonical.empty());
    return;
  }
  const size_t lastDot = canonical.rfind('.');
  const std::string_view last = lastDot == std::string::npos
                                    ? std::string_view(canonical)
                                    : std::string_view(canonical).substr(lastDot + 1);
  const std::string expected =
      parentCanonical.empty() ? std::string(last) : parentCanonical + "." + std::string(last);
  KESTRO_FUZZ_CHECK(canonical == expected);
}

void checkLookup(LoggerDB& db, std::string_view name) {
  LogCategory* category = db.categoryFor(name);
  KESTRO_FUZZ_CHECK(category->name() == canonicalCategoryName(name));
  KESTRO_FUZZ_CHECK(db.findCategory(name) == category);
  KESTRO_FUZZ_CHECK(db.categoryFor(category->name()) == category);
  LogCategory* parent = category->parent();
  if (category->name().empty()) {
    KESTRO_FUZZ_CHECK(parent == nullptr);
  } else {
    KESTRO_FUZZ_CHECK(parent != nullptr);
    KESTRO_FUZZ_CHECK(db.findCategory(parentCategoryName(name)) == parent);
  }
}

}  // namespace
}  // namespace quorvane

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view a = input.substr(0, nul);
  const std::string_view b = nul == std::string_view::npos ? a : input.substr(nul + 1);

  checkName(a);
  checkName(b);
  const bool equal = categoryNamesEqual(a, b);
  KESTRO_FUZZ_CHECK(equal == categoryNamesEqual(b, a));
  KESTRO_FUZZ_CHECK(equal == (canonicalCategoryName(a) == canonicalCategoryName(b)));
  if (equal) {
    KESTRO_FUZZ_CHECK(categoryNameHash(a) == categoryNameHash(b));
  }

  LoggerDB db;
  checkLookup(db, a);
  checkLookup(db, b);
  KESTRO_FUZZ_CHECK((db.categoryFor(a) == db.categoryFor(b)) == equal);
  return 0;
}
