#include "common/utilities/File.h"

#include <utility>

#include "common/utilities/FileOps.h"

namespace quorvane {

File::File(int fd, bool ownsFd) noexcept : fd_(fd), ownsFd_(fd != -1 && ownsFd) {}

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(other.fd_), ownsFd_(other.ownsFd_) {
  other.fd_ = -1;
  other.ownsFd_ = false;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    swap(other);
  }
  return *this;
}

int File::release() noexcept {
  int fd = fd_;
  fd_ = -1;
  ownsFd_ = false;
  return fd;
}

bool File::close() noexcept {
  bool owned = ownsFd_;
  int fd = release();
  if (!owned) {
    return true;
  }
  return currentFileOps().close(fd) == 0;
}

void File::swap(File& other) noexcept {
  std::swap(fd_, other.fd_);
  std::swap(ownsFd_, other.ownsFd_);
}

}  // namespace quorvane
