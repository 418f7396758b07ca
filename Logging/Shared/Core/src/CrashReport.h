#pragma once

// CrashReport: the text the crash handler writes on the main channel, built
// in a fixed buffer without allocating (async-signal-safe): one message in the
// main channel's layout (KestroStyleFormatter), level FATAL, each of its lines
// with the header, e.g.
//
//   F0312 14:05:09.004211+0100  4250 CrashHandler.cpp:212] Fatal signal SIGSEGV (11) in process 4242, thread 4250; backtrace:
//   F0312 14:05:09.004211+0100  4250 CrashHandler.cpp:212]   #0 0x00005581f2a01c3e crashNow+0xe (/opt/app/prog)
//
// A frame shows its address, the symbol the dynamic linker knows for it
// (mangled, with the offset into it) or "?", and the file of its module. The
// local time uses the zone offset of CrashTime.h. Lines that do not fit in the
// buffer are left out; every line written is whole.
//
// Thread safety: an object is used by one thread; async-signal-safe.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Logging/Shared/Core/src/KestroStyleFormatter.h"

namespace quorvane::kestro::logging {

class CrashReport {
 public:
  static constexpr size_t kCapacity = 16 * 1024;
  static constexpr int kMaxFrames = 64;

  // `micros` since the epoch; the header's file base name and line.
  CrashReport(int64_t micros, uint64_t threadId, std::string_view file, unsigned line) noexcept;

  // The first line: the signal, the process and the thread.
  void addSignalLine(int signal, int64_t processId, uint64_t threadId) noexcept;
  // One line per frame.
  void addFrames(void* const* frames, int count) noexcept;

  const char* data() const { return buffer_; }
  size_t size() const { return size_; }

  // "SIGSEGV" and the like for the five fatal signals, else "signal".
  static std::string_view signalName(int signal) noexcept;

 private:
  class Line;
  // Appends header + text + "\n" when it fits.
  void addLine(const Line& text) noexcept;

  char header_[KestroStyleFormatter::kMaxHeaderSize];
  size_t headerSize_ = 0;
  char buffer_[kCapacity];
  size_t size_ = 0;
};

}  // namespace quorvane::kestro::logging
