// The logging path side by side with the references, in one process and one
// run: the same workload through
//
//   kestro        a per-file statement (KLOGF) on a category that initLogging
//                 routes to the main channel (KestroStyleFormatter and the
//                 rotating writer, 5 MB files), as the application logs;
//   spdlog async  spdlog's asynchronous logger (one worker thread, queue of
//                 8192, blocking when full) with a rotating file sink;
//   spdlog sync   spdlog's synchronous file logger;
//   writev        plain writev() of the same number of preformatted lines of
//                 the same length, 64 per call: the I/O limit of the pattern.
//
// The workload is an INFO message with two integer arguments and about 60
// characters of text; both spdlog loggers use the glog-like pattern
// "%L%m%d %H:%M:%S.%f%z %5t %s:%#] %v", whose lines match the main log's.
//
// For each system, with 1 and with 2 logging threads:
//   - the caller-side cost of every single call (median and 99th percentile,
//     timed call by call with the time-stamp counter; for writev one call
//     carries 64 lines);
//   - lines per second end to end: from the first call until a flush has
//     returned and every line has been handed to the operating system (for
//     spdlog async: until its worker has written and flushed the last line).
// The lines in the files are counted after each run, so lines dropped under
// overload are reported and never counted as written.
//
// Also: a disabled statement (16 per loop iteration) and a message forwarded
// by name into the core (handleMessage) that the core's level drops.
//
//   build/release/bench/path_comparison [--lines=N] [--repetitions=R] [--dir=D]
//                                       [--only=kestro|spdlog-async|spdlog-sync|writev]
//                                       [--threads=1|2]
//
// Systems run interleaved, repetition by repetition; latencies are pooled over
// the repetitions, rates are the median of the repetitions.

#include <fcntl.h>
#include <fmt/format.h>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "bench/BenchStatements.h"
#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "kestro/logcore.h"

namespace {

namespace core = quorvane::kestro::logging;
namespace fs = std::filesystem;

constexpr const char* kSpdlogPattern = "%L%m%d %H:%M:%S.%f%z %5t %s:%#] %v";
constexpr size_t kRotationBytes = 5'000'000;
constexpr size_t kLinesPerWritev = 64;
constexpr size_t kWarmUpLines = 20'000;
// What every counted line contains (warm-up lines do not).
constexpr std::string_view kMarker = "of the benchmark run";

// ---------------------------------------------------------------------------
// Time.

inline uint64_t ticks() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

double measureTicksPerNanosecond() {
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t c0 = ticks();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const uint64_t c1 = ticks();
  const auto t1 = std::chrono::steady_clock::now();
  return static_cast<double>(c1 - c0) /
         static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
}

const double kTicksPerNs = measureTicksPerNanosecond();

// A log-linear histogram of tick counts: exact below 2048, then 1024
// sub-buckets per power of two (relative error below 0.1%).
class Histogram {
 public:
  Histogram() : counts_(kBuckets, 0) {}

  void add(uint64_t value) {
    ++counts_[index(value)];
    ++total_;
  }
  void merge(const Histogram& other) {
    for (size_t i = 0; i < kBuckets; ++i) {
      counts_[i] += other.counts_[i];
    }
    total_ += other.total_;
  }
  uint64_t total() const { return total_; }
  // The value at quantile q (0..1), in ticks (lower edge of its bucket).
  uint64_t quantile(double q) const {
    if (total_ == 0) {
      return 0;
    }
    const auto rank = static_cast<uint64_t>(q * static_cast<double>(total_ - 1));
    uint64_t seen = 0;
    for (size_t i = 0; i < kBuckets; ++i) {
      seen += counts_[i];
      if (seen > rank) {
        return lowerEdge(i);
      }
    }
    return lowerEdge(kBuckets - 1);
  }

 private:
  static constexpr size_t kLinear = 2048;
  static constexpr size_t kSub = 1024;
  static constexpr size_t kBuckets = kLinear + (64 - 11) * kSub;

  static size_t index(uint64_t v) {
    if (v < kLinear) {
      return v;
    }
    const int e = 63 - __builtin_clzll(v);  // >= 11
    const int shift = e - 10;
    return kLinear + static_cast<size_t>(e - 11) * kSub + ((v >> shift) - kSub);
  }
  static uint64_t lowerEdge(size_t i) {
    if (i < kLinear) {
      return i;
    }
    const size_t e = (i - kLinear) / kSub + 11;
    const size_t sub = (i - kLinear) % kSub + kSub;
    return static_cast<uint64_t>(sub) << (e - 10);
  }

  std::vector<uint64_t> counts_;
  uint64_t total_ = 0;
};

double toNs(uint64_t t) { return static_cast<double>(t) / kTicksPerNs; }

// ---------------------------------------------------------------------------
// Files.

struct FileCount {
  uint64_t lines = 0;    // lines holding kMarker
  uint64_t bytes = 0;    // bytes of those lines, newline included
  uint64_t dropped = 0;  // sum of the discard reports
};

FileCount countLines(const fs::path& dir) {
  FileCount count;
  std::string line;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    while (std::getline(in, line)) {
      if (line.find(kMarker) != std::string::npos) {
        ++count.lines;
        count.bytes += line.size() + 1;
      } else if (line.find(" log messages were discarded") != std::string::npos) {
        count.dropped += std::strtoull(line.c_str(), nullptr, 10);
      }
    }
  }
  return count;
}

// ---------------------------------------------------------------------------
// The systems. Each has: setUp(dir, threads) before a run (not timed),
// log(thread, i) for one call, finish() inside the timing (returns when every
// line has reached the operating system), tearDown() after it.

class KestroSystem {
 public:
  static constexpr const char* kName = "kestro (KLOGF, main channel)";
  static constexpr size_t kLinesPerCall = 1;

  void setUp(const fs::path& dir, unsigned threads) {
    core::initLogging(dir.string(), "bench", "1", false);
    warmUp(threads);
    core::flushLogs();
  }
  static void log(unsigned, uint64_t i) {
    KLOGF(INFO, "message {} of the benchmark run, with a second argument {}", i, i * 7);
  }
  void finish() { core::flushLogs(); }
  void tearDown() {}

 private:
  static void warmUp(unsigned threads) {
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
      workers.emplace_back([] {
        for (uint64_t i = 0; i < kWarmUpLines; ++i) {
          KLOGF(INFO, "warm-up {} of the logging path and its writer, second argument {}", i,
                i * 7);
        }
      });
    }
    for (auto& w : workers) {
      w.join();
    }
  }
};

class SpdlogAsyncSystem {
 public:
  static constexpr const char* kName = "spdlog async (rotating file)";
  static constexpr size_t kLinesPerCall = 1;

  void setUp(const fs::path& dir, unsigned threads) {
    pool_ = std::make_shared<spdlog::details::thread_pool>(8192, 1);
    auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
        (dir / "spdlog-async.log").string(), kRotationBytes, 200);
    logger_ = std::make_shared<spdlog::async_logger>("async", std::move(sink), pool_,
                                                     spdlog::async_overflow_policy::block);
    logger_->set_pattern(kSpdlogPattern);
    warmUp(logger_.get(), threads);
    logger_->flush();
    while (pool_->queue_size() != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    current_ = logger_.get();
  }
  static void log(unsigned, uint64_t i) {
    SPDLOG_LOGGER_INFO(current_, "message {} of the benchmark run, with a second argument {}", i,
                       i * 7);
  }
  void finish() {
    // The flush request is queued behind every line; destroying the pool
    // joins its worker once it has processed the queue.
    logger_->flush();
    logger_.reset();
    pool_.reset();
  }
  void tearDown() { current_ = nullptr; }

 private:
  static void warmUp(spdlog::logger* logger, unsigned threads) {
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
      workers.emplace_back([logger] {
        for (uint64_t i = 0; i < kWarmUpLines; ++i) {
          SPDLOG_LOGGER_INFO(logger, "warm-up {} of the logging path and its writer, second {}", i,
                             i * 7);
        }
      });
    }
    for (auto& w : workers) {
      w.join();
    }
  }

  std::shared_ptr<spdlog::details::thread_pool> pool_;
  std::shared_ptr<spdlog::async_logger> logger_;
  static inline spdlog::logger* current_ = nullptr;
};

class SpdlogSyncSystem {
 public:
  static constexpr const char* kName = "spdlog sync (file)";
  static constexpr size_t kLinesPerCall = 1;

  void setUp(const fs::path& dir, unsigned) {
    auto sink =
        std::make_shared<spdlog::sinks::basic_file_sink_mt>((dir / "spdlog-sync.log").string());
    logger_ = std::make_shared<spdlog::logger>("sync", std::move(sink));
    logger_->set_pattern(kSpdlogPattern);
    for (uint64_t i = 0; i < kWarmUpLines; ++i) {
      SPDLOG_LOGGER_INFO(logger_.get(), "warm-up {} of the logging path and its writer, second {}",
                         i, i * 7);
    }
    logger_->flush();
    current_ = logger_.get();
  }
  static void log(unsigned, uint64_t i) {
    SPDLOG_LOGGER_INFO(current_, "message {} of the benchmark run, with a second argument {}", i,
                       i * 7);
  }
  void finish() { logger_->flush(); }
  void tearDown() {
    current_ = nullptr;
    logger_.reset();
  }

 private:
  std::shared_ptr<spdlog::logger> logger_;
  static inline spdlog::logger* current_ = nullptr;
};

class WritevSystem {
 public:
  static constexpr const char* kName = "plain writev, 64 lines per call";
  static constexpr size_t kLinesPerCall = kLinesPerWritev;

  // Lines of the main log's layout and length, built in advance.
  static void prepareLines(size_t lineLength) {
    lines_.clear();
    for (size_t i = 0; i < kPoolLines; ++i) {
      std::string line = fmt::format(
          "I0312 14:05:09.{:06d}+0100 {:5d} PathComparison.cpp:123] message {} of the benchmark "
          "run, with a second argument {}",
          i, 4242, i, i * 7);
      line.resize(lineLength - 1, 'x');
      line.push_back('\n');
      lines_.push_back(std::move(line));
    }
    iovecs_.clear();
    for (const auto& line : lines_) {
      iovecs_.push_back({const_cast<char*>(line.data()), line.size()});
    }
  }

  void setUp(const fs::path& dir, unsigned) {
    fd_ = ::open((dir / "writev.log").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd_ < 0) {
      throw std::runtime_error("cannot open the writev file");
    }
  }
  // One call writes the 64 lines of group i.
  static void log(unsigned, uint64_t i) {
    const size_t group = (i % (kPoolLines / kLinesPerWritev)) * kLinesPerWritev;
    if (::writev(fd_, &iovecs_[group], kLinesPerWritev) < 0) {
      std::abort();
    }
  }
  void finish() {}
  void tearDown() { ::close(fd_); }

 private:
  static constexpr size_t kPoolLines = 4096;
  static inline std::vector<std::string> lines_;
  static inline std::vector<struct iovec> iovecs_;
  static inline int fd_ = -1;
};

// ---------------------------------------------------------------------------
// One run: `lines` lines over `threads` threads, every call timed.

struct RunResult {
  Histogram latency;
  double seconds = 0;
  FileCount files;
};

template <typename System>
RunResult runOnce(const fs::path& dir, unsigned threads, uint64_t lines) {
  fs::create_directories(dir);
  System system;
  system.setUp(dir, threads);

  const uint64_t callsPerThread = lines / System::kLinesPerCall / threads;
  std::vector<Histogram> histograms(threads);
  std::atomic<bool> go{false};
  std::atomic<unsigned> ready{0};
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      Histogram& h = histograms[t];
      const uint64_t base = t * callsPerThread;
      ready.fetch_add(1);
      while (!go.load(std::memory_order_acquire)) {
      }
      uint64_t before = ticks();
      for (uint64_t i = 0; i < callsPerThread; ++i) {
        System::log(t, base + i);
        const uint64_t after = ticks();
        h.add(after - before);
        before = after;
      }
    });
  }
  while (ready.load() != threads) {
  }
  const auto start = std::chrono::steady_clock::now();
  go.store(true, std::memory_order_release);
  for (auto& w : workers) {
    w.join();
  }
  system.finish();
  const auto end = std::chrono::steady_clock::now();
  system.tearDown();

  RunResult result;
  for (const auto& h : histograms) {
    result.latency.merge(h);
  }
  result.seconds = std::chrono::duration<double>(end - start).count();
  result.files = countLines(dir);
  fs::remove_all(dir);
  return result;
}

struct Summary {
  std::string name;
  size_t linesPerCall = 1;
  Histogram latency;
  std::vector<double> rates;  // lines written per second, one per repetition
  uint64_t written = 0;
  uint64_t dropped = 0;
  uint64_t bytes = 0;
  uint64_t requested = 0;

  double medianRate() const {
    std::vector<double> r = rates;
    std::sort(r.begin(), r.end());
    return r.empty() ? 0 : r[r.size() / 2];
  }
};

template <typename System>
void runInto(Summary& summary, const fs::path& dir, unsigned threads, uint64_t lines) {
  summary.name = System::kName;
  summary.linesPerCall = System::kLinesPerCall;
  RunResult r = runOnce<System>(dir, threads, lines);
  summary.latency.merge(r.latency);
  const uint64_t requested =
      lines / System::kLinesPerCall / threads * threads * System::kLinesPerCall;
  // writev lines carry no marker check: every byte written is a line.
  const uint64_t written = std::is_same_v<System, WritevSystem> ? requested : r.files.lines;
  summary.rates.push_back(static_cast<double>(written) / r.seconds);
  summary.written += written;
  summary.dropped += r.files.dropped;
  summary.bytes += r.files.bytes;
  summary.requested += requested;
}

// ---------------------------------------------------------------------------
// Single-operation costs.

double disabledStatementNs() {
  constexpr uint64_t kIterations = 20'000'000;
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < kIterations; ++i) {
      quorvane::bench::sixteenDisabledStatements(i);
    }
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::nano>(end - start).count() /
                              static_cast<double>(kIterations * 16));
  }
  return best;
}

// A DBG message built in another module's database, handed to the core by
// name; the core's category is at INFO, so the call ends after the lookup and
// the level check.
double forwardedHandleMessageNs() {
  static quorvane::LoggerDB addonDb;
  quorvane::LogCategory* category = addonDb.categoryFor("src.addon.NotificationHelper.cpp");
  const quorvane::LogMessage message(category, quorvane::LogLevel::DBG,
                                     "src/addon/NotificationHelper.cpp", 88, "deliver",
                                     std::string("notification 17 delivered to the centre"));
  constexpr uint64_t kIterations = 5'000'000;
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < kIterations; ++i) {
      core::handleMessage(message, category);
    }
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::nano>(end - start).count() /
                              static_cast<double>(kIterations));
  }
  return best;
}

std::string machine() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  std::string model = "unknown CPU";
  while (std::getline(in, line)) {
    if (line.starts_with("model name")) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  return fmt::format("{}, {} cores online", model, std::thread::hardware_concurrency());
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t lines = 1'000'000;
  int repetitions = 5;
  fs::path base = fs::temp_directory_path();
  int only = -1;             // all systems
  unsigned onlyThreads = 0;  // both thread counts
  constexpr std::string_view kSystemKeys[] = {"kestro", "spdlog-async", "spdlog-sync", "writev"};
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.starts_with("--lines=")) {
      lines = std::strtoull(argv[i] + 8, nullptr, 10);
    } else if (arg.starts_with("--repetitions=")) {
      repetitions = std::atoi(argv[i] + 14);
    } else if (arg.starts_with("--dir=")) {
      base = argv[i] + 6;
    } else if (arg.starts_with("--threads=")) {
      onlyThreads = static_cast<unsigned>(std::atoi(argv[i] + 10));
    } else if (arg.starts_with("--only=")) {
      const auto* it = std::find(std::begin(kSystemKeys), std::end(kSystemKeys), arg.substr(7));
      if (it == std::end(kSystemKeys)) {
        std::fprintf(stderr, "unknown system %s\n", argv[i] + 7);
        return 2;
      }
      only = static_cast<int>(it - std::begin(kSystemKeys));
    } else {
      std::fprintf(stderr, "usage: %s [--lines=N] [--repetitions=R] [--dir=DIR]\n", argv[0]);
      return 2;
    }
  }
  std::string pattern = (base / "kestro-path-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root = pattern;
  const std::string loadBefore = loadAverage();

  // The writev lines take the length of the main log's lines.
  {
    Summary probe;
    runInto<KestroSystem>(probe, root / "probe", 1, std::min<uint64_t>(lines, 100'000));
    WritevSystem::prepareLines(
        static_cast<size_t>(probe.bytes / std::max<uint64_t>(probe.written, 1)));
  }

  constexpr unsigned kThreadCounts[] = {1, 2};
  constexpr size_t kSystems = 4;
  std::map<unsigned, std::array<Summary, kSystems>> summaries;
  int runNumber = 0;
  for (int rep = 0; rep < repetitions; ++rep) {
    for (unsigned threads : kThreadCounts) {
      if (onlyThreads != 0 && threads != onlyThreads) {
        continue;
      }
      auto& s = summaries[threads];
      // Rotate the order so that no system always runs first.
      for (size_t k = 0; k < kSystems; ++k) {
        const size_t which = (k + static_cast<size_t>(rep)) % kSystems;
        if (only >= 0 && which != static_cast<size_t>(only)) {
          continue;
        }
        const fs::path dir = root / fmt::format("run{}", runNumber++);
        switch (which) {
          case 0:
            runInto<KestroSystem>(s[0], dir, threads, lines);
            break;
          case 1:
            runInto<SpdlogAsyncSystem>(s[1], dir, threads, lines);
            break;
          case 2:
            runInto<SpdlogSyncSystem>(s[2], dir, threads, lines);
            break;
          case 3:
            runInto<WritevSystem>(s[3], dir, threads, lines);
            break;
        }
      }
      std::fprintf(stderr, "repetition %d, %u thread(s) done\n", rep + 1, threads);
    }
  }
  // Only with every system (so profiles of one system show its path alone).
  const double disabledNs = only < 0 ? disabledStatementNs() : 0;
  const double forwardNs = only < 0 ? forwardedHandleMessageNs() : 0;
  core::deinitLogging();
  fs::remove_all(root);
  const std::string loadAfter = loadAverage();

  std::printf("machine: %s\n", machine().c_str());
  std::printf("lines per run: %llu, repetitions: %d, time-stamp counter: %.3f GHz\n",
              static_cast<unsigned long long>(lines), repetitions, kTicksPerNs);
  std::printf("load average before: %s, after: %s\n\n", loadBefore.c_str(), loadAfter.c_str());
  std::printf(
      "| System | Threads | Caller median | Caller p99 | Lines/s end to end | "
      "Bytes/line | Dropped |\n|---|---|---|---|---|---|---|\n");
  for (unsigned threads : kThreadCounts) {
    for (const Summary& s : summaries[threads]) {
      if (s.rates.empty()) {
        continue;
      }
      const double median = toNs(s.latency.quantile(0.5));
      const double p99 = toNs(s.latency.quantile(0.99));
      const std::string perCall =
          s.linesPerCall == 1 ? "" : fmt::format(" ({:.0f} per line)", median / s.linesPerCall);
      const std::string perCall99 =
          s.linesPerCall == 1 ? "" : fmt::format(" ({:.0f} per line)", p99 / s.linesPerCall);
      std::printf("| %s | %u | %.0f ns%s | %.0f ns%s | %.2f M | %.0f | %llu |\n", s.name.c_str(),
                  threads, median, perCall.c_str(), p99, perCall99.c_str(), s.medianRate() / 1e6,
                  s.written ? static_cast<double>(s.bytes) / static_cast<double>(s.written) : 0.0,
                  static_cast<unsigned long long>(s.dropped));
    }
  }
  std::printf("\n| Ratio | 1 thread | 2 threads |\n|---|---|---|\n");
  auto ratio = [&](const char* label, auto f) {
    std::printf("| %s | %.2f | %.2f |\n", label, f(summaries[1]), f(summaries[2]));
  };
  using Row = std::array<Summary, kSystems>;
  ratio("caller median, kestro / spdlog async", [](const Row& r) {
    return static_cast<double>(r[0].latency.quantile(0.5)) /
           static_cast<double>(r[1].latency.quantile(0.5));
  });
  ratio("caller p99, kestro / spdlog async", [](const Row& r) {
    return static_cast<double>(r[0].latency.quantile(0.99)) /
           static_cast<double>(r[1].latency.quantile(0.99));
  });
  ratio("lines/s, kestro / spdlog async",
        [](const Row& r) { return r[0].medianRate() / r[1].medianRate(); });
  ratio("lines/s, kestro / spdlog sync",
        [](const Row& r) { return r[0].medianRate() / r[2].medianRate(); });
  ratio("lines/s, kestro / writev limit",
        [](const Row& r) { return r[0].medianRate() / r[3].medianRate(); });
  std::printf("\n| Single operation | Time |\n|---|---|\n");
  std::printf("| disabled statement (16 per iteration, best of 5) | %.2f ns |\n", disabledNs);
  std::printf("| forwarded handleMessage dropped by the core's level (best of 5) | %.1f ns |\n",
              forwardNs);
  return 0;
}
