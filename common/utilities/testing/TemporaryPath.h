#pragma once

// TemporaryPath: a new, uniquely named file or directory under the system's
// temporary directory, removed (with everything in it) when the object is
// destroyed. The base of TemporaryFile and TemporaryDirectory, and of the
// benchmarks' scratch files. fileContents reads a file back whole.
//
// Construction throws std::runtime_error when nothing can be created.
// Thread safety: none needed; the object is used by one thread.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace quorvane::test {

class TemporaryPath {
 public:
  enum class Kind { kFile, kDirectory };

  // `stem` starts the name; a unique part follows it.
  explicit TemporaryPath(Kind kind, const std::string& stem = "kestro-test-") {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
    if (kind == Kind::kDirectory) {
      if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
      }
    } else {
      const int fd = ::mkstemp(pattern.data());
      if (fd < 0) {
        throw std::runtime_error("mkstemp failed for " + pattern);
      }
      ::close(fd);
    }
    path_ = std::move(pattern);
  }
  ~TemporaryPath() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryPath(const TemporaryPath&) = delete;
  TemporaryPath& operator=(const TemporaryPath&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The whole contents of the file at `path` (empty when it cannot be read).
inline std::string fileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace quorvane::test
