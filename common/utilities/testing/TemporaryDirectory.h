#pragma once

// TemporaryDirectory: a new empty directory under the system's temporary
// directory, removed with everything in it when the object is destroyed.
// Tests list the files that code under test created there and read them back.
//
// Thread safety: none needed; the object is used by one test thread.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/utilities/testing/TemporaryPath.h"

namespace quorvane::test {

class TemporaryDirectory : public TemporaryPath {
 public:
  TemporaryDirectory() : TemporaryPath(Kind::kDirectory) {}

  // path() + "/" + name.
  std::string pathOf(const std::string& name) const { return path() + "/" + name; }

  // The names of the entries, sorted.
  std::vector<std::string> fileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Names of the entries starting with `prefix`, sorted.
  std::vector<std::string> fileNamesStartingWith(const std::string& prefix) const {
    std::vector<std::string> names;
    for (std::string& name : fileNames()) {
      if (name.rfind(prefix, 0) == 0) {
        names.push_back(std::move(name));
      }
    }
    return names;
  }

  std::string contentsOf(const std::string& name) const { return fileContents(pathOf(name)); }
};

}  // namespace quorvane::test
