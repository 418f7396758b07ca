#pragma once

// TemporaryFile: a new empty file under the system's temporary directory,
// removed when the object is destroyed. Tests open it with the flags they need
// and read it back whole.
//
// Thread safety: none needed; the object is used by one test thread.

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "common/utilities/testing/TemporaryPath.h"

namespace quorvane::test {

class TemporaryFile : public TemporaryPath {
 public:
  TemporaryFile() : TemporaryPath(Kind::kFile) {}

  // A new descriptor for appending; the caller owns it.
  int openForAppend() const {
    int fd = ::open(path().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
      throw std::runtime_error("cannot open " + path());
    }
    return fd;
  }

  std::string contents() const { return fileContents(path()); }
};

}  // namespace quorvane::test
