#pragma once

// File: a file descriptor together with whether this object owns it.
//
// An owning File closes its descriptor (through the FileOps table) when it is
// destroyed or closed; a borrowing one, such as a File for standard error,
// never does. Files are movable, not copyable: moving hands the descriptor and
// the ownership over and leaves the source empty (fd() == -1).
//
// Thread safety: a File is a value; distinct objects may be used from distinct
// threads, one object needs external synchronisation. The descriptor itself is
// as thread-safe as the system makes it.

namespace quorvane {

class File {
 public:
  // An empty handle: no descriptor.
  File() noexcept = default;
  // Wraps `fd`; closes it on destruction only when `ownsFd`.
  explicit File(int fd, bool ownsFd = false) noexcept;
  ~File();

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Borrowing handles for the standard streams.
  static File stdOut() noexcept { return File(1, false); }
  static File stdErr() noexcept { return File(2, false); }

  // The descriptor, or -1 when empty.
  int fd() const noexcept { return fd_; }
  bool ownsFd() const noexcept { return ownsFd_; }
  explicit operator bool() const noexcept { return fd_ != -1; }

  // Gives the descriptor up without closing it; the handle becomes empty.
  int release() noexcept;

  // Closes the descriptor if owned and empties the handle. Returns false, with
  // errno set, when close() failed; an unowned or empty handle returns true.
  bool close() noexcept;

  void swap(File& other) noexcept;

 private:
  int fd_ = -1;
  bool ownsFd_ = false;
};

}  // namespace quorvane
