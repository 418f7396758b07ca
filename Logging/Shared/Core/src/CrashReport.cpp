#include "Logging/Shared/Core/src/CrashReport.h"

#include <dlfcn.h>
#include <signal.h>

#include <algorithm>
#include <ctime>

#include "Logging/Shared/Core/src/CrashTime.h"
#include "Logging/Shared/Core/src/KestroStyleFormatter.h"
#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::kestro::logging {

using quorvane::logging::internal::putPadded;

// Text of one line, cut off when it would not fit.
class CrashReport::Line {
 public:
  Line& operator<<(std::string_view text) {
    const size_t n = std::min(text.size(), sizeof text_ - size_);
    std::copy_n(text.data(), n, text_ + size_);
    size_ += n;
    return *this;
  }
  Line& decimal(int64_t value) {
    char digits[24];
    return *this << std::string_view(digits, putPadded(digits, value, 1, '0') - digits);
  }
  Line& hex(uintptr_t value, int width) {
    char digits[2 + 2 * sizeof value] = {'0', 'x'};
    int count = 1;
    while (count < static_cast<int>(2 * sizeof value) && (value >> (4 * count)) != 0) {
      ++count;
    }
    count = std::max(count, width);
    for (int i = 0; i < count; ++i) {
      digits[2 + count - 1 - i] = "0123456789abcdef"[(value >> (4 * i)) & 0xf];
    }
    return *this << std::string_view(digits, 2 + static_cast<size_t>(count));
  }
  std::string_view text() const { return {text_, size_}; }

 private:
  char text_[1024];
  size_t size_ = 0;
};

CrashReport::CrashReport(int64_t micros, uint64_t threadId, std::string_view file,
                         unsigned line) noexcept {
  int64_t seconds = micros / 1'000'000;
  int64_t rest = micros % 1'000'000;
  if (rest < 0) {
    seconds -= 1;
    rest += 1'000'000;
  }
  const char* end = KestroStyleFormatter::writeHeader(
      header_, 'F', crashLocalTime(seconds), static_cast<uint32_t>(rest), threadId, file, line);
  headerSize_ = static_cast<size_t>(end - header_);
}

std::string_view CrashReport::signalName(int signal) noexcept {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGILL:
      return "SIGILL";
    case SIGFPE:
      return "SIGFPE";
    case SIGABRT:
      return "SIGABRT";
    default:
      return "signal";
  }
}

void CrashReport::addLine(const Line& line) noexcept {
  const std::string_view text = line.text();
  if (size_ + headerSize_ + text.size() + 1 > kCapacity) {
    return;
  }
  char* p = std::copy_n(header_, headerSize_, buffer_ + size_);
  p = std::copy(text.begin(), text.end(), p);
  *p++ = '\n';
  size_ = static_cast<size_t>(p - buffer_);
}

void CrashReport::addSignalLine(int signal, int64_t processId, uint64_t threadId) noexcept {
  Line line;
  line << "Fatal signal " << signalName(signal) << " (";
  line.decimal(signal) << ") in process ";
  line.decimal(processId) << ", thread ";
  line.decimal(static_cast<int64_t>(threadId)) << "; backtrace:";
  addLine(line);
}

void CrashReport::addFrames(void* const* frames, int count) noexcept {
  for (int i = 0; i < count; ++i) {
    Line line;
    line << "  #";
    line.decimal(i) << " ";
    const auto address = reinterpret_cast<uintptr_t>(frames[i]);
    line.hex(address, 16) << " ";
    // The dynamic linker's tables: no allocation, names as exported (mangled).
    Dl_info info{};
    if (::dladdr(frames[i], &info) != 0) {
      if (info.dli_sname != nullptr) {
        line << info.dli_sname << "+";
        line.hex(address - reinterpret_cast<uintptr_t>(info.dli_saddr), 1);
      } else {
        line << "?";
      }
      line << " (" << (info.dli_fname != nullptr ? info.dli_fname : "?") << ")";
    } else {
      line << "?";
    }
    addLine(line);
  }
}

}  // namespace quorvane::kestro::logging
