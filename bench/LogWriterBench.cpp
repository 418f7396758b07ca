// The asynchronous file writer: what writeMessage costs a logging thread, and
// how many bytes a second its I/O thread gets into a file, beside plain
// writev() of 64 lines per call from one thread (the machine's limit for this
// write pattern).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "common/logging/AsyncFileWriter.h"
#include "common/utilities/File.h"

namespace {

using namespace quorvane;
using namespace quorvane::bench;

// Share of the logged lines that reached the file (the rest were dropped by
// the byte limit), read back from the file's lines and discard reports.
double keptShare(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (in == nullptr) {
    return 0;
  }
  double kept = 0;
  double dropped = 0;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
    if (buffer[0] == 'x') {
      ++kept;
    } else {
      dropped += std::strtod(buffer, nullptr);
    }
  }
  std::fclose(in);
  return kept + dropped > 0 ? kept / (kept + dropped) : 1;
}

// Caller-side cost of one writeMessage (the text is copied into the queue, as
// a handler's formatted line would be moved in). Every 4096 messages each
// thread flushes with the timer paused, so the queue never reaches the 1 MiB
// limit and every message is accepted ("kept" reports the share in the file).
void BM_AsyncFileWriterWriteMessage(benchmark::State& state) {
  static std::unique_ptr<BenchFile> file;
  static std::unique_ptr<AsyncFileWriter> writer;
  if (state.thread_index() == 0) {
    file = std::make_unique<BenchFile>();
    writer = std::make_unique<AsyncFileWriter>(File(::dup(file->fd()), true));
  }
  const std::string& line = benchLine();
  int64_t count = 0;
  for (auto _ : state) {
    writer->writeMessage(std::string_view(line));
    if (++count % 4096 == 0) {
      state.PauseTiming();
      writer->flush();
      state.ResumeTiming();
    }
  }
  if (state.thread_index() == 0) {
    writer.reset();
    state.counters["kept"] = keptShare(file->path());
    file.reset();
  }
}
BENCHMARK(BM_AsyncFileWriterWriteMessage)->ThreadRange(1, 2)->UseRealTime();

// The same without pauses: the logging threads outrun the file, the queue
// stays at its limit and most messages are dropped and counted.
void BM_AsyncFileWriterWriteMessageSaturated(benchmark::State& state) {
  static std::unique_ptr<BenchFile> file;
  static std::unique_ptr<AsyncFileWriter> writer;
  if (state.thread_index() == 0) {
    file = std::make_unique<BenchFile>();
    writer = std::make_unique<AsyncFileWriter>(File(::dup(file->fd()), true));
  }
  const std::string& line = benchLine();
  for (auto _ : state) {
    writer->writeMessage(std::string_view(line));
  }
  if (state.thread_index() == 0) {
    writer.reset();
    state.counters["kept"] = keptShare(file->path());
    file.reset();
  }
}
BENCHMARK(BM_AsyncFileWriterWriteMessageSaturated)->ThreadRange(1, 2)->UseRealTime();

// Sustained throughput: rounds of 8192 lines, each followed by flush(), so
// the figure is the time until the bytes are in the file.
void BM_AsyncFileWriterSustained(benchmark::State& state) {
  BenchFile file;
  AsyncFileWriter writer(File(::dup(file.fd()), true));
  const std::string& line = benchLine();
  int64_t rounds = 0;
  for (auto _ : state) {
    for (int i = 0; i < kLinesPerRound; ++i) {
      writer.writeMessage(std::string_view(line));
    }
    writer.flush();
    if (++rounds % 64 == 0) {
      state.PauseTiming();
      file.truncateIfLarge();
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(state.iterations() * kLinesPerRound * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_AsyncFileWriterSustained)->UseRealTime();

// The same bytes with plain writev() of 64 lines per call, one thread.
void BM_PlainWritev64Lines(benchmark::State& state) { runPlainWritev64Lines(state); }
BENCHMARK(BM_PlainWritev64Lines)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
