#include "common/logging/CategoryName.h"

namespace quorvane {
namespace {

std::string_view dropTrailingSeparators(std::string_view name) {
  while (!name.empty() && isCategorySeparator(name.back())) {
    name.remove_suffix(1);
  }
  return name;
}

// Walks a name component by component, ignoring separator runs.
class ComponentCursor {
 public:
  explicit ComponentCursor(std::string_view name) : name_(dropTrailingSeparators(name)) {}

  // The next component, or false at the end.
  bool next(std::string_view& component) {
    while (pos_ < name_.size() && isCategorySeparator(name_[pos_])) {
      ++pos_;
    }
    if (pos_ == name_.size()) {
      return false;
    }
    size_t start = pos_;
    while (pos_ < name_.size() && !isCategorySeparator(name_[pos_])) {
      ++pos_;
    }
    component = name_.substr(start, pos_ - start);
    return true;
  }

 private:
  std::string_view name_;
  size_t pos_ = 0;
};

}  // namespace

std::string canonicalCategoryName(std::string_view name) {
  name = dropTrailingSeparators(name);
  std::string result;
  result.reserve(name.size());
  bool pendingSeparator = false;
  for (char c : name) {
    if (isCategorySeparator(c)) {
      pendingSeparator = !result.empty();
      continue;
    }
    if (pendingSeparator) {
      result.push_back('.');
      pendingSeparator = false;
    }
    result.push_back(c);
  }
  return result;
}

std::string_view parentCategoryName(std::string_view name) {
  name = dropTrailingSeparators(name);
  while (!name.empty() && !isCategorySeparator(name.back())) {
    name.remove_suffix(1);
  }
  return dropTrailingSeparators(name);
}

uint32_t categoryNameHash(std::string_view name) {
  name = dropTrailingSeparators(name);
  uint32_t hash = 5381;
  bool previousWasSeparatorOrStart = true;
  for (char c : name) {
    if (isCategorySeparator(c)) {
      if (previousWasSeparatorOrStart) {
        continue;
      }
      previousWasSeparatorOrStart = true;
      c = '.';
    } else {
      previousWasSeparatorOrStart = false;
    }
    hash = hash * 33 + static_cast<unsigned char>(c);
  }
  return hash;
}

bool categoryNamesEqual(std::string_view a, std::string_view b) {
  // The same spelling (the usual case: a canonical name looked up by itself).
  if (a == b) {
    return true;
  }
  ComponentCursor left(a);
  ComponentCursor right(b);
  std::string_view l;
  std::string_view r;
  while (true) {
    bool hasLeft = left.next(l);
    bool hasRight = right.next(r);
    if (!hasLeft || !hasRight) {
      return hasLeft == hasRight;
    }
    if (l != r) {
      return false;
    }
  }
}

}  // namespace quorvane
