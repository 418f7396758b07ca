#pragma once

// ImmediateFileWriter: writes each message to a file descriptor in the
// caller's thread, whole (retrying interrupted and partial writes). A failed
// write is reported as an internal warning, never thrown.
//
// The writer keeps the File it is given: an owned descriptor is closed when the
// writer is destroyed, a borrowed one (standard error) never.
//
// Thread safety: takes no lock. Concurrent messages are separate write calls;
// each is written whole but may interleave with other output on the same
// descriptor when the system splits a write.

#include "common/logging/LogWriter.h"
#include "common/utilities/File.h"

namespace quorvane {

class ImmediateFileWriter : public LogWriter {
 public:
  explicit ImmediateFileWriter(File file);

  using LogWriter::writeMessage;
  // Flags are ignored.
  void writeMessage(std::string_view buffer, uint32_t flags = 0) override;
  void writeMessage(std::string&& buffer, uint32_t flags = 0) override;

  // Nothing is buffered, so there is nothing to do.
  void flush() override {}

  bool writesToTerminal() const override;

  const File& file() const { return file_; }

 private:
  File file_;
};

}  // namespace quorvane
