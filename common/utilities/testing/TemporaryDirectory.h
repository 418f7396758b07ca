#pragma once

// TemporaryDirectory: a new empty directory under the system's temporary
// directory, removed with everything in it when the object is destroyed.
// Tests list the files that code under test created there and read them back.
//
// Thread safety: none needed; the object is used by one test thread.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane::test {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestro-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    path_ = pattern;
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string pathOf(const std::string& name) const { return path_ + "/" + name; }

  // The names of the entries, sorted.
  std::vector<std::string> fileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
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

  std::string contentsOf(const std::string& name) const {
    std::ifstream in(pathOf(name), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

 private:
  std::string path_;
};

}  // namespace quorvane::test
