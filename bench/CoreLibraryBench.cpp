// The core library's own pieces: the main log's line layout (an enabled INFO
// message through KestroStyleFormatter, and the other two layouts beside it),
// and the rotating file writer's sustained throughput with 5 MB files, beside
// plain writev() of 64 lines per call from one thread (the machine's limit for
// this write pattern).
//
// Messages are built in advance, 1 ms apart (a new second every 1000
// messages), in a zone-database zone as on a user's machine.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "Logging/Shared/Core/src/KestroStyleFormatter.h"
#include "Logging/Shared/Core/src/QsynStyleLogFormatter.h"
#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"
#include "Logging/Shared/Core/src/SystraceStyleLogFormatter.h"
#include "bench/BenchSupport.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/LocalTime.h"

namespace {

using namespace quorvane;
using namespace quorvane::kestro::logging;
using namespace quorvane::bench;

constexpr size_t kMessages = 4096;
constexpr int64_t kStartMicros = 1733463307LL * 1'000'000;

class MessageSet {
 public:
  MessageSet(std::string_view category, LogLevel level, std::string_view text) {
    LogCategory* cat = db_.categoryFor(category);
    messages_.reserve(kMessages);
    for (size_t i = 0; i < kMessages; ++i) {
      const auto timestamp = std::chrono::system_clock::time_point(
          std::chrono::microseconds(kStartMicros + static_cast<int64_t>(i) * 1000 + 17));
      messages_.push_back(std::make_unique<LogMessage>(cat, level, timestamp, "src/net/Client.cpp",
                                                       214, "connect", std::string(text)));
    }
  }
  const LogMessage& operator[](size_t i) const { return *messages_[i % kMessages]; }

 private:
  LoggerDB db_;
  std::vector<std::unique_ptr<LogMessage>> messages_;
};

void runFormatter(benchmark::State& state, LogFormatter& formatter, const MessageSet& messages) {
  size_t i = 0;
  for (auto _ : state) {
    std::string line = formatter.formatMessage(messages[i++], nullptr);
    benchmark::DoNotOptimize(line.data());
  }
}

void BM_KestroStyleOneLine(benchmark::State& state) {
  static const MessageSet messages("src.net.Client.cpp", LogLevel::INFO,
                                   "connected to relay 3 of 5 after 2 retries (212 ms)");
  KestroStyleFormatter formatter;
  runFormatter(state, formatter, messages);
}
BENCHMARK(BM_KestroStyleOneLine);

void BM_KestroStyleThreeLines(benchmark::State& state) {
  static const MessageSet messages("src.net.Client.cpp", LogLevel::INFO,
                                   "sync state:\n  pending=12 applied=340\n  cursor=7f3a");
  KestroStyleFormatter formatter;
  runFormatter(state, formatter, messages);
}
BENCHMARK(BM_KestroStyleThreeLines);

void BM_QsynStyleOneLine(benchmark::State& state) {
  static const MessageSet messages("qsyn.Network.mqtt_client", LogLevel::WARN,
                                   "connected to relay 3 of 5 after 2 retries (212 ms)");
  QsynStyleLogFormatter formatter;
  runFormatter(state, formatter, messages);
}
BENCHMARK(BM_QsynStyleOneLine);

void BM_SystraceStyle(benchmark::State& state) {
  static const MessageSet messages(
      "trace", LogLevel::DBG,
      R"("name":"deliverNotification","cat":"napi","ph":"B","ts":1733463307000017)");
  SystraceStyleLogFormatter formatter;
  runFormatter(state, formatter, messages);
}
BENCHMARK(BM_SystraceStyle);

// Sustained throughput: rounds of 8192 lines, each followed by flush(), so
// the figure is the time until the lines are in the files; the writer starts
// a new file every 5,000,000 bytes.
void BM_RotatingFileLogWriterSustained(benchmark::State& state) {
  BenchDirectory dir;
  int64_t files = 0;
  {
    RotatingFileLogWriter writer(dir.path() + "/kestro-main-", "-p1.log", 5'000'000, 86400);
    const std::string& line = benchLine();
    int64_t rounds = 0;
    for (auto _ : state) {
      for (int i = 0; i < kLinesPerRound; ++i) {
        writer.writeMessage(std::string_view(line));
      }
      writer.flush();
      if (++rounds % 64 == 0) {
        state.PauseTiming();
        files += dir.removeFiles();
        state.ResumeTiming();
      }
    }
  }
  files += dir.removeFiles();
  state.SetItemsProcessed(state.iterations() * kLinesPerRound);
  state.SetBytesProcessed(state.iterations() * kLinesPerRound *
                          static_cast<int64_t>(benchLine().size()));
  state.counters["files"] = static_cast<double>(files);
}
BENCHMARK(BM_RotatingFileLogWriterSustained)->UseRealTime();

// The same lines with plain writev() of 64 lines per call to one file, one
// thread, the file emptied now and then.
void BM_PlainWritev64Lines(benchmark::State& state) { runPlainWritev64Lines(state); }
BENCHMARK(BM_PlainWritev64Lines)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return quorvane::bench::runBenchmarksInZone(argc, argv, "Europe/Berlin");
}
