#pragma once

// Pieces the benchmark programs share: the typical line they write, the
// scratch files and directories they write into, the plain writev() loop that
// stands for the machine's limit, and a main() that pins the time zone.
//
// Thread safety: BenchFile and BenchDirectory are set up and torn down by one
// thread; writes into them are as safe as write(2) on the descriptor.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "common/utilities/LocalTime.h"
#include "common/utilities/testing/TemporaryPath.h"

namespace quorvane::bench {

// A typical formatted line: 100 bytes with its newline.
inline const std::string& benchLine() {
  static const std::string line = std::string(99, 'x') + "\n";
  return line;
}

// Lines written per round of the sustained benchmarks (a round ends with a
// flush, so its time runs until the lines are in the file).
inline constexpr int kLinesPerRound = 8192;

// An empty file under the temporary directory, open for appending, removed at
// the end.
class BenchFile {
 public:
  BenchFile() : fd_(::open(file_.path().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)) {}
  ~BenchFile() { ::close(fd_); }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return file_.path(); }
  // Empties the file once it passes 256 MiB, so long runs do not fill the
  // disk.
  void truncateIfLarge() {
    struct stat st;
    if (::fstat(fd_, &st) == 0 && st.st_size > (off_t{256} << 20)) {
      (void)::ftruncate(fd_, 0);
    }
  }

 private:
  test::TemporaryPath file_{test::TemporaryPath::Kind::kFile, "kestro-bench-"};
  int fd_;
};

// An empty directory under the temporary directory, removed with its contents
// at the end.
class BenchDirectory {
 public:
  const std::string& path() const { return directory_.path(); }
  // Unlinks every file; a file still open keeps being written until it is
  // closed. Keeps runs from filling the disk. Returns how many there were.
  int64_t removeFiles() {
    int64_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path())) {
      std::filesystem::remove(entry.path());
      ++count;
    }
    return count;
  }

 private:
  test::TemporaryPath directory_{test::TemporaryPath::Kind::kDirectory, "kestro-bench-"};
};

// The machine's limit for the write pattern of the log writers: rounds of
// kLinesPerRound copies of benchLine() written with plain writev() of 64 lines
// per call from one thread. Reports items (lines) and bytes per second.
inline void runPlainWritev64Lines(benchmark::State& state) {
  BenchFile file;
  const std::string& line = benchLine();
  std::vector<struct iovec> iov(64, {const_cast<char*>(line.data()), line.size()});
  int64_t rounds = 0;
  for (auto _ : state) {
    for (int i = 0; i < kLinesPerRound; i += 64) {
      if (::writev(file.fd(), iov.data(), 64) < 0) {
        state.SkipWithError("writev failed");
        return;
      }
    }
    if (++rounds % 64 == 0) {
      state.PauseTiming();
      file.truncateIfLarge();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * kLinesPerRound);
  state.SetBytesProcessed(state.iterations() * kLinesPerRound * static_cast<int64_t>(line.size()));
}

// main() of a benchmark program whose figures depend on local time: breaks
// times down in `zone` (a zone-database zone, as on a user's machine).
inline int runBenchmarksInZone(int argc, char** argv, const char* zone) {
  ::setenv("TZ", zone, 1);
  reloadLocalTimeZone();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace quorvane::bench
