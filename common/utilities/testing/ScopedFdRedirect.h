#pragma once

// ScopedFdRedirect: points a descriptor (standard output or error, say) at a
// temporary file for one scope, and restores it afterwards. Tests read what
// was written through contents().
//
// Not thread-safe: the redirected descriptor is process-wide, so use it where
// no other thread writes to that descriptor.

#include <unistd.h>

#include <stdexcept>
#include <string>

#include "common/utilities/testing/TemporaryFile.h"

namespace quorvane::test {

class ScopedFdRedirect {
 public:
  explicit ScopedFdRedirect(int fd) : fd_(fd), saved_(::dup(fd)) {
    if (saved_ < 0) {
      throw std::runtime_error("dup failed");
    }
    int target = file_.openForAppend();
    ::dup2(target, fd_);
    ::close(target);
  }
  ~ScopedFdRedirect() {
    ::dup2(saved_, fd_);
    ::close(saved_);
  }
  ScopedFdRedirect(const ScopedFdRedirect&) = delete;
  ScopedFdRedirect& operator=(const ScopedFdRedirect&) = delete;

  std::string contents() const { return file_.contents(); }

 private:
  TemporaryFile file_;
  int fd_;
  int saved_;
};

}  // namespace quorvane::test
