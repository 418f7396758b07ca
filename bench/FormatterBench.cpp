// The cost of turning an enabled message into its output line, for the
// framework's two line formatters, and of the local calendar breakdown they
// both need.
//
// Messages are built in advance, 1 ms apart (a new second every 1000
// messages), and formatted in turn. The time zone is a zone-database zone, as
// on a user's machine.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/logging/CustomLogFormatter.h"
#include "common/logging/GlogStyleFormatter.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/LocalTime.h"

namespace {

using namespace quorvane;

constexpr size_t kMessages = 4096;
constexpr int64_t kStartMicros = 1733463307LL * 1'000'000;

class MessageSet {
 public:
  explicit MessageSet(std::string_view text) {
    LogCategory* category = db_.categoryFor("src.net.Client.cpp");
    messages_.reserve(kMessages);
    for (size_t i = 0; i < kMessages; ++i) {
      const auto timestamp = std::chrono::system_clock::time_point(
          std::chrono::microseconds(kStartMicros + static_cast<int64_t>(i) * 1000 + 17));
      messages_.push_back(std::make_unique<LogMessage>(category, LogLevel::INFO, timestamp,
                                                       "src/net/Client.cpp", 214, "connect",
                                                       std::string(text)));
    }
  }
  const LogMessage& operator[](size_t i) const { return *messages_[i % kMessages]; }

 private:
  LoggerDB db_;
  std::vector<std::unique_ptr<LogMessage>> messages_;
};

const MessageSet& oneLineMessages() {
  static const MessageSet set("connected to relay 3 of 5 after 2 retries (212 ms)");
  return set;
}

const MessageSet& threeLineMessages() {
  static const MessageSet set("sync state:\n  pending=12 applied=340\n  cursor=7f3a");
  return set;
}

void runFormatter(benchmark::State& state, LogFormatter& formatter, const MessageSet& messages) {
  size_t i = 0;
  for (auto _ : state) {
    std::string line = formatter.formatMessage(messages[i++], nullptr);
    benchmark::DoNotOptimize(line.data());
  }
}

void BM_GlogStyleOneLine(benchmark::State& state) {
  GlogStyleFormatter formatter;
  runFormatter(state, formatter, oneLineMessages());
}
BENCHMARK(BM_GlogStyleOneLine);

void BM_CustomOneLine(benchmark::State& state) {
  CustomLogFormatter formatter(
      "{L}{m:02d}{D:02d} {H:02d}:{M:02d}:{S:02d}.{USECS:06d} {THREAD:5d} {FILE}:{LINE}]", false);
  runFormatter(state, formatter, oneLineMessages());
}
BENCHMARK(BM_CustomOneLine);

void BM_CustomOneLineColored(benchmark::State& state) {
  CustomLogFormatter formatter("{L} {H:02d}:{M:02d}:{S:02d} {FILE}:{LINE} {FUN}]", true);
  runFormatter(state, formatter, oneLineMessages());
}
BENCHMARK(BM_CustomOneLineColored);

void BM_GlogStyleThreeLines(benchmark::State& state) {
  GlogStyleFormatter formatter;
  runFormatter(state, formatter, threeLineMessages());
}
BENCHMARK(BM_GlogStyleThreeLines);

void BM_CustomThreeLines(benchmark::State& state) {
  CustomLogFormatter formatter(
      "{L}{m:02d}{D:02d} {H:02d}:{M:02d}:{S:02d}.{USECS:06d} {THREAD:5d} {FILE}:{LINE}]", false);
  runFormatter(state, formatter, threeLineMessages());
}
BENCHMARK(BM_CustomThreeLines);

void BM_LocalCalendarTime(benchmark::State& state) {
  int64_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(localCalendarTime(kStartMicros / 1'000'000 + (i++ >> 10)));
  }
}
BENCHMARK(BM_LocalCalendarTime)->ThreadRange(1, 2)->UseRealTime();

void BM_CachedLocalCalendarTime(benchmark::State& state) {
  int64_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cachedLocalCalendarTime(kStartMicros / 1'000'000 + (i++ >> 10)));
  }
}
BENCHMARK(BM_CachedLocalCalendarTime)->ThreadRange(1, 2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return quorvane::bench::runBenchmarksInZone(argc, argv, "Europe/Berlin");
}
