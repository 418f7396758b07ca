#pragma once

// AsyncFileWriter: an AsyncLogWriter that appends to one file descriptor.
//
// Each batch is written with gathering writes of at most 64 messages, in
// arrival order. When messages were dropped, the batch is followed by the line
// "<count> log messages discarded: logging faster than we can write". A write
// failure is reported as an internal warning; the rest of that batch is lost
// and the next batch is tried normally.
//
// The writer keeps the File it is given: an owned descriptor is closed when the
// writer is destroyed, after everything still queued has been written.
//
// Thread safety: as AsyncLogWriter.

#include "common/logging/AsyncLogWriter.h"
#include "common/utilities/File.h"

namespace quorvane {

class AsyncFileWriter : public AsyncLogWriter {
 public:
  // Messages per gathering write.
  static constexpr size_t kMaxMessagesPerWrite = 64;

  explicit AsyncFileWriter(File file);
  ~AsyncFileWriter() override;

  bool writesToTerminal() const override;

  const File& file() const { return file_; }

 protected:
  void writeBatch(const LogBatch& batch, size_t discarded) override;

 private:
  File file_;
};

}  // namespace quorvane
