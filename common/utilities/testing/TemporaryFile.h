#pragma once

// TemporaryFile: a new empty file under the system's temporary directory,
// removed when the object is destroyed. Tests open it with the flags they need
// and read it back whole.
//
// Thread safety: none needed; the object is used by one test thread.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace quorvane::test {

class TemporaryFile {
 public:
  TemporaryFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestro-test-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
      throw std::runtime_error("mkstemp failed for " + pattern);
    }
    ::close(fd);
    path_ = pattern;
  }
  ~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }

  // A new descriptor for appending; the caller owns it.
  int openForAppend() const {
    int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
      throw std::runtime_error("cannot open " + path_);
    }
    return fd;
  }

  std::string contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

 private:
  std::string path_;
};

}  // namespace quorvane::test
