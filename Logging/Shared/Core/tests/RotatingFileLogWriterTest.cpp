#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <typeinfo>
#include <vector>

#include "common/logging/testing/InternalWarningCapture.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/ScopedTimeZone.h"
#include "common/utilities/testing/TemporaryDirectory.h"

// The fork test's child starts the writer's thread again after a fork of a
// threaded process, which is what the writer's fork callbacks are for.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_options() {
  return "die_after_fork=0:report_thread_leaks=0";
}

// While set, every allocation through operator new changes errno, as an
// allocator may do even when it succeeds.
std::atomic<bool> allocationsChangeErrno{false};

// The replacements pair malloc with free, which the compiler cannot see
// through the operators it inlines.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (allocationsChangeErrno.load(std::memory_order_relaxed)) {
    errno = EDOM;
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace quorvane::kestro::logging {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

constexpr int64_t kSecond = 1'000'000;
// 2024-03-12 14:05:09 UTC.
constexpr int64_t kStart = 1710252309 * kSecond;

// The writers' wall clock in these tests: each read returns the current value
// and then moves it on by `clockStep`.
std::atomic<int64_t> clockNow{kStart};
std::atomic<int64_t> clockStep{0};

int64_t testClock() noexcept { return clockNow.fetch_add(clockStep.load()); }

// Lets a test hand a batch over directly. Safe while nothing is logged through
// the writer and it has no retention limits: its I/O thread then only ever
// gets batches of flush markers, which touch none of the file state (a flush
// returns while the last of them may still be in writeBatch).
class DirectWriter : public RotatingFileLogWriter {
 public:
  using RotatingFileLogWriter::RotatingFileLogWriter;
  // As every subclass must: the I/O thread stops before this class's part of
  // the object goes away (its virtual calls would otherwise race with the
  // destructors' change of the object's type).
  ~DirectWriter() override { cleanup(); }
  using RotatingFileLogWriter::writeBatch;
  void writeBatch(const std::vector<std::string>& lines, size_t discarded) {
    writeBatch(LogBatch(lines), discarded);
  }
};

// `count` lines of `size` bytes each (newline included), told apart by a
// leading letter.
std::vector<std::string> lines(size_t count, size_t size, char letter = 'a') {
  return std::vector<std::string>(count, std::string(size - 1, letter) + "\n");
}

std::string joined(const std::vector<std::string>& parts) {
  std::string all;
  for (const std::string& part : parts) {
    all += part;
  }
  return all;
}

std::string discardLine(size_t count) {
  return std::to_string(count) +
         " log messages were discarded because the logging rate exceeded the write rate\n";
}

class RotatingFileLogWriterTest : public ::testing::Test {
 protected:
  RotatingFileLogWriterTest() {
    clockNow = kStart;
    clockStep = kSecond;  // each open gets a name of its own
  }

  std::unique_ptr<DirectWriter> makeWriter(uint64_t maxFileSize, uint64_t maxLogAge = 86400) {
    return std::make_unique<DirectWriter>(dir_.pathOf("kestro-main-"), "-p42.log", maxFileSize,
                                          maxLogAge, &testClock);
  }

  // The name of the file opened `seconds` after kStart.
  static std::string nameAt(int seconds) {
    return fmt::format("kestro-main-d20240312-t1405{:02d}-p42.log", 9 + seconds);
  }

  test::ScopedTimeZone zone_{"UTC0"};
  test::TemporaryDirectory dir_;
};

TEST_F(RotatingFileLogWriterTest, FileNamesCarryTheLocalDateAndTimeOfOpening) {
  auto writer = makeWriter(100);
  EXPECT_EQ(writer->fileNameFor(kStart + 999'999),
            dir_.pathOf("kestro-main-d20240312-t140509-p42.log"));
  test::ScopedTimeZone tokyo("JST-9");
  EXPECT_EQ(writer->fileNameFor(kStart), dir_.pathOf("kestro-main-d20240312-t230509-p42.log"));
  EXPECT_EQ(writer->fileNameFor(kStart + 10 * 3600 * kSecond),
            dir_.pathOf("kestro-main-d20240313-t090509-p42.log"));
  EXPECT_FALSE(writer->writesToTerminal());
}

TEST_F(RotatingFileLogWriterTest, NoFileUntilTheFirstLineEvenWhenFlushed) {
  {
    auto writer = makeWriter(1000);
    writer->flush();
    EXPECT_TRUE(dir_.fileNames().empty()) << "flush markers alone create no file";
    writer->writeMessage(std::string("first\n"));
    writer->writeMessage(std::string_view("second\n"));
    writer->flush();
    EXPECT_EQ(dir_.contentsOf(nameAt(0)), "first\nsecond\n");
    writer->writeMessage(std::string("queued at destruction\n"));
  }
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "first\nsecond\nqueued at destruction\n");

  auto idle = makeWriter(1000);
  idle.reset();
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0)));
}

TEST_F(RotatingFileLogWriterTest, RetentionRunsWhenTheWriterStartsAndAfterEachNewFile) {
  // Files of earlier runs of a process that is gone.
  auto earlier = [](int n) { return fmt::format("kestro-main-d20240311-t00000{}-p999999992.log", n); };
  for (int n = 0; n < 3; ++n) {
    std::ofstream(dir_.pathOf(earlier(n))) << "old\n";
  }
  auto writer = std::make_unique<DirectWriter>(dir_.pathOf("kestro-main-"), "-p999999992.log",
                                               1000, 86400, &testClock,
                                               RetentionLimits{2, std::nullopt});
  writer->startRetention();
  writer->flush();
  EXPECT_THAT(dir_.fileNames(), ElementsAre(earlier(1), earlier(2))) << "without a line logged";

  writer->writeMessage(std::string("first\n"));
  writer->flush();
  const std::string current = "kestro-main-d20240312-t140509-p999999992.log";
  EXPECT_THAT(dir_.fileNames(), ElementsAre(earlier(2), current));
  // The current file stays also when the limit leaves room for one file
  // only: its writer holds it.
  auto strict = std::make_unique<DirectWriter>(dir_.pathOf("kestro-main-"), "-p999999992.log",
                                               1000, 86400, &testClock,
                                               RetentionLimits{std::nullopt, 1});
  strict->startRetention();
  strict->flush();
  EXPECT_THAT(dir_.fileNames(), ElementsAre(current));
  EXPECT_EQ(dir_.contentsOf(current), "first\n");
}

TEST_F(RotatingFileLogWriterTest, OpensInAppendModeAndNeverTruncates) {
  {
    std::FILE* existing = std::fopen(dir_.pathOf(nameAt(0)).c_str(), "w");
    ASSERT_NE(existing, nullptr);
    std::fputs("from before\n", existing);
    std::fclose(existing);
  }
  auto writer = makeWriter(1000);
  std::vector<std::string> batch{"new\n"};
  writer->writeBatch(batch, 0);
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "from before\nnew\n");
  const auto perms = std::filesystem::status(dir_.pathOf(nameAt(0))).permissions();
  EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
}

TEST_F(RotatingFileLogWriterTest, SixThousandLinesGoOutInChunksOf1024AgainstTheSizeBudget) {
  test::ScriptedFileOps ops;
  auto writer = makeWriter(5'000'000);
  std::vector<std::string> batch = lines(6000, 1000);
  {
    test::ScopedFileOpsOverride override(ops);
    writer->writeBatch(batch, 0);
  }
  // Lines of 1000 bytes: one call per chunk of 1024, 1024, 1024, 1024, 905
  // and 999 lines, each chunk as one piece.
  EXPECT_THAT(ops.writevByteCounts(),
              ElementsAre(1024'000, 1024'000, 1024'000, 1024'000, 905'000, 999'000));
  EXPECT_THAT(ops.writevEntryCounts(), Each(1));
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0), nameAt(1)));
  EXPECT_EQ(std::filesystem::file_size(dir_.pathOf(nameAt(0))), 5001u * 1000);
  EXPECT_EQ(std::filesystem::file_size(dir_.pathOf(nameAt(1))), 999u * 1000);
}

TEST_F(RotatingFileLogWriterTest, AFileHoldingExactlyTheLimitIsReplacedAtOnce) {
  auto writer = makeWriter(300);
  std::vector<std::string> exact = lines(3, 100, 'a');
  writer->writeBatch(exact, 0);
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0), nameAt(1)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), joined(exact));
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), "");

  // Reaching the budget exactly still admits one more line, so a chunk may
  // end one line past the limit.
  std::vector<std::string> over = lines(4, 100, 'b');
  writer->writeBatch(over, 0);
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), joined(over));
  EXPECT_EQ(dir_.fileNames().size(), 3u);
}

TEST_F(RotatingFileLogWriterTest, ALineLongerThanTheLimitIsWrittenWholeThenTheFileIsReplaced) {
  auto writer = makeWriter(10);
  std::vector<std::string> batch = {std::string(49, 'x') + "\n", "next\n"};
  writer->writeBatch(batch, 0);
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0), nameAt(1)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), batch[0]);
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), "next\n");
}

TEST_F(RotatingFileLogWriterTest, TwoRotationsInOneSecondAppendToTheSameFile) {
  clockStep = 0;
  test::ScriptedFileOps ops;
  auto writer = makeWriter(10);
  std::vector<std::string> batch = {"first line\n", "second line\n", "third line\n"};
  {
    test::ScopedFileOpsOverride override(ops);
    writer->writeBatch(batch, 0);
  }
  EXPECT_EQ(ops.openCalls(), 4) << "the first file and a rotation after each line";
  EXPECT_EQ(ops.closeCalls(), 3) << "each rotation closes the previous descriptor";
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), joined(batch));
}

TEST_F(RotatingFileLogWriterTest, TheDiscardLineFollowsTheBatchAndLandsInTheNewFileAfterARotation) {
  auto writer = makeWriter(100);
  std::vector<std::string> first = lines(1, 100);
  writer->writeBatch(first, 3);
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), joined(first));
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), discardLine(3));

  // The discard line does not count towards the size limit: 60 more bytes
  // still fit in the second file.
  std::vector<std::string> second = lines(1, 60, 'b');
  writer->writeBatch(second, 0);
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), discardLine(3) + joined(second));
  EXPECT_EQ(dir_.fileNames().size(), 2u);

  // Without a rotation the line follows the batch's lines in the same file;
  // a batch of nothing but a discard count still reports it.
  std::vector<std::string> none;
  writer->writeBatch(none, 12);
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), discardLine(3) + joined(second) + discardLine(12));
}

TEST_F(RotatingFileLogWriterTest, AnOldFileIsReplacedOnlyWhenTheNextBatchArrives) {
  clockStep = 0;
  auto writer = makeWriter(1'000'000, 10);
  std::vector<std::string> a{"a\n"}, b{"b\n"}, c{"c\n"};
  writer->writeBatch(a, 0);

  // Exactly at the age limit the file is not older than it yet.
  clockNow = kStart + 10 * kSecond;
  writer->writeBatch(b, 0);
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0)));

  // An idle writer keeps its old file however long nothing arrives.
  clockNow = kStart + 40 * kSecond;
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0)));
  writer->flush();
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0))) << "flushing alone does not rotate";

  writer->writeBatch(c, 0);
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0), nameAt(40)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "a\nb\n");
  EXPECT_EQ(dir_.contentsOf(nameAt(40)), "c\n");
}

TEST_F(RotatingFileLogWriterTest, LimitsAtTheTopOfTheirRangesNeverRotate) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const uint64_t ages[] = {kMax, uint64_t{1} << 63, static_cast<uint64_t>(INT64_MAX / kSecond) + 1,
                           static_cast<uint64_t>(INT64_MAX)};
  for (uint64_t age : ages) {
    test::TemporaryDirectory dir;
    DirectWriter writer(dir.pathOf("x-"), ".log", kMax, age, &testClock);
    EXPECT_EQ(writer.maxLogAge(), age > INT64_MAX ? INT64_MAX : static_cast<int64_t>(age));
    std::vector<std::string> batch = lines(3, 10);
    clockNow = kStart;
    writer.writeBatch(batch, 0);
    clockNow = kStart + 365LL * 86400 * kSecond;
    writer.writeBatch(batch, 0);
    clockNow = std::numeric_limits<int64_t>::max() - 1;
    writer.writeBatch(batch, 0);
    ASSERT_EQ(dir.fileNames().size(), 1u) << age;
    EXPECT_EQ(dir.contentsOf(dir.fileNames()[0]), joined(batch) + joined(batch) + joined(batch));
  }
}

TEST_F(RotatingFileLogWriterTest, AMissingDirectoryWarnsOncePerBatchAndTheOpenIsRetried) {
  test::InternalWarningCapture warnings;
  clockStep = 0;
  const std::string dir = dir_.pathOf("missing");
  DirectWriter writer(dir + "/kestro-main-", ".log", 1000, 86400, &testClock);
  std::vector<std::string> batch = lines(3000, 10);
  writer.writeBatch(batch, 5);
  writer.writeBatch(batch, 0);

  const std::string name = dir + "/kestro-main-d20240312-t140509.log";
  const std::string expected = "error writing to log file -1 in RotatingFileLogWriter: " +
                               std::string(typeid(std::system_error).name()) + ": open(\"" + name +
                               "\", " + fmt::format("{:#o}", O_WRONLY | O_APPEND | O_CREAT) +
                               ", 00666) failed: " + std::strerror(ENOENT);
  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 2u);
  for (const auto& warning : captured) {
    EXPECT_EQ(warning.sourceFile, "Logging/Shared/Core/src/RotatingFileLogWriter");
    EXPECT_EQ(warning.lineNumber, 62);
    EXPECT_EQ(warning.text, expected);
  }

  // Flush markers alone try nothing, however many drops are still unreported.
  std::vector<std::string> markers{"", ""};
  writer.writeBatch(markers, 0);
  EXPECT_EQ(warnings.count(), 2u);

  // The drops the failed batches carried are reported with the next batch
  // that is written, added to its own.
  std::filesystem::create_directory(dir);
  std::vector<std::string> later{"later\n"};
  writer.writeBatch(later, 2);
  writer.writeBatch(later, 0);
  EXPECT_EQ(warnings.count(), 2u);
  EXPECT_EQ(dir_.contentsOf("missing/kestro-main-d20240312-t140509.log"),
            "later\n" + discardLine(7) + "later\n");
}

TEST_F(RotatingFileLogWriterTest, AFailedChunkDropsTheRestOfItsBatchAndIsNotCounted) {
  test::InternalWarningCapture warnings;
  test::ScriptedFileOps ops;
  auto writer = makeWriter(2500);
  {
    test::ScopedFileOpsOverride override(ops);
    std::vector<std::string> first = lines(1500, 1, 'a');  // 1024 + 476 lines of "\n"
    writer->writeBatch(first, 0);
    ops.failWith(ENOSPC);
    std::vector<std::string> failing = lines(2000, 1);
    writer->writeBatch(failing, 9);
    EXPECT_EQ(ops.writevEntryCounts().size(), 3u) << "the chunks after a failed one are not tried";
    EXPECT_EQ(ops.writeCalls(), 0) << "nor is the discard line";
    ops.failWith(0);
    // Had the failed chunk (1001 lines, the budget of 1000 bytes plus one)
    // been counted, the file would be past the limit and this line would be
    // followed by a rotation.
    std::vector<std::string> next{"after\n"};
    writer->writeBatch(next, 0);
  }
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), std::string(1500, '\n') + "after\n" + discardLine(9));

  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_THAT(captured[0].text, ::testing::MatchesRegex(
                                    "error writing to log file [0-9]+ in RotatingFileLogWriter: " +
                                    std::string(typeid(std::system_error).name()) +
                                    ": writevFull\\(\\) failed: " + std::strerror(ENOSPC)));
}

TEST_F(RotatingFileLogWriterTest, InterruptedAndShortWritesStillWriteEveryByteInOrder) {
  test::ScriptedFileOps ops;
  auto writer = makeWriter(1'000'000);
  std::vector<std::string> batch;
  for (int i = 0; i < 1500; ++i) {
    batch.push_back("line " + std::to_string(i) + "\n");
  }
  {
    test::ScopedFileOpsOverride override(ops);
    ops.limitBytesPerCall(7);
    ops.interruptNext(5);
    writer->writeBatch(batch, 2);
  }
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), joined(batch) + discardLine(2));
}

TEST_F(RotatingFileLogWriterTest, AWriteThatMakesNoProgressIsReportedNotCounted) {
  test::InternalWarningCapture warnings;
  test::ScriptedFileOps ops;
  auto writer = makeWriter(1000);
  {
    test::ScopedFileOpsOverride override(ops);
    ops.stallNext(1);
    std::vector<std::string> batch{"lost\n"};
    writer->writeBatch(batch, 0);
  }
  std::vector<std::string> next{"kept\n"};
  writer->writeBatch(next, 0);
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "kept\n");
  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_THAT(captured[0].text, ::testing::HasSubstr(": writevFull() failed: "));
}

TEST_F(RotatingFileLogWriterTest, AFailedRotationKeepsTheFullFileAndIsRetriedAfterTheNextChunk) {
  test::InternalWarningCapture warnings;
  test::ScriptedFileOps ops;
  clockStep = 0;
  auto writer = makeWriter(10);
  test::ScopedFileOpsOverride override(ops);
  std::vector<std::string> first{"a\n"};
  writer->writeBatch(first, 0);
  ops.failOpensWith(EMFILE);
  std::vector<std::string> filling{"0123456789\n"};
  writer->writeBatch(filling, 0);  // fills the file; the rotation after it fails
  EXPECT_EQ(warnings.count(), 1u);
  ops.failOpensWith(0);

  // The file stays current although it is past the limit: it takes one more
  // line (no line is lost), then the rotation is tried again.
  clockNow = kStart + 5 * kSecond;
  std::vector<std::string> next{"more\n", "again\n"};
  writer->writeBatch(next, 0);
  EXPECT_EQ(warnings.count(), 1u);
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0), nameAt(5)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "a\n0123456789\nmore\n");
  EXPECT_EQ(dir_.contentsOf(nameAt(5)), "again\n");
}

TEST_F(RotatingFileLogWriterTest, ALimitOfZeroGivesEveryLineAFileOfItsOwn) {
  auto writer = makeWriter(0);
  std::vector<std::string> batch{"one\n", "two\n", "three\n"};
  writer->writeBatch(batch, 0);
  EXPECT_THAT(dir_.fileNames(), ElementsAre(nameAt(0), nameAt(1), nameAt(2), nameAt(3)));
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "one\n");
  EXPECT_EQ(dir_.contentsOf(nameAt(1)), "two\n");
  EXPECT_EQ(dir_.contentsOf(nameAt(2)), "three\n");
  EXPECT_EQ(dir_.contentsOf(nameAt(3)), "") << "opened at once after the line that filled the last";
}

TEST_F(RotatingFileLogWriterTest, AFailedOpenReportsItsOwnErrorHoweverTheMessageIsBuilt) {
  test::InternalWarningCapture warnings;
  test::ScriptedFileOps ops;
  // A name long enough that building the message allocates.
  DirectWriter writer(dir_.pathOf(std::string(600, 'x')), ".log", 1000, 86400, &testClock);
  std::vector<std::string> batch{"line\n"};
  {
    test::ScopedFileOpsOverride override(ops);
    ops.failOpensWith(EACCES);
    allocationsChangeErrno = true;
    writer.writeBatch(batch, 0);
    allocationsChangeErrno = false;
  }
  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_THAT(captured[0].text,
              ::testing::EndsWith(std::string(") failed: ") + std::strerror(EACCES)));
}

TEST_F(RotatingFileLogWriterTest, LinesDroppedByTheQueueAreReportedInTheFile) {
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  auto writer = makeWriter(1'000'000);
  writer->setMaxBufferSize(1);
  ops.holdWrites(true);
  writer->writeMessage(std::string("busy\n"));
  ops.waitForHeldCalls(1);  // the I/O thread is inside writev
  writer->writeMessage(std::string("m1\n"));
  writer->writeMessage(std::string("m2\n"));
  writer->writeMessage(std::string("m3\n"));
  ops.holdWrites(false);
  writer->flush();
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "busy\nm1\n" + discardLine(2));
}

TEST_F(RotatingFileLogWriterTest, ARemovedFileIsReplacedInsteadOfWrittenIntoUnseen) {
  test::InternalWarningCapture warnings;
  clockStep = 0;  // every file gets the same name
  const std::string dir = dir_.pathOf("logs");
  std::filesystem::create_directory(dir);
  DirectWriter writer(dir + "/kestro-main-", ".log", 1'000'000, 86400, &testClock);
  std::vector<std::string> first{"first\n"};
  writer.writeBatch(first, 0);
  const std::string name = "logs/kestro-main-d20240312-t140509.log";
  EXPECT_EQ(dir_.contentsOf(name), "first\n");

  // The file alone goes: the next batch starts a new one.
  std::filesystem::remove(dir_.pathOf(name));
  std::vector<std::string> second{"second\n"};
  writer.writeBatch(second, 0);
  EXPECT_EQ(dir_.contentsOf(name), "second\n");

  // The directory goes: each batch is lost with one warning, until it is back.
  std::filesystem::remove_all(dir);
  std::vector<std::string> lost{"lost 1\n", "lost 2\n"};
  writer.writeBatch(lost, 0);
  writer.writeBatch(lost, 3);
  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 2u);
  for (const auto& warning : captured) {
    EXPECT_THAT(warning.text, ::testing::HasSubstr(" in RotatingFileLogWriter: "));
    EXPECT_THAT(warning.text, ::testing::EndsWith(std::strerror(ENOENT)));
  }
  std::filesystem::create_directory(dir);
  std::vector<std::string> back{"back\n"};
  writer.writeBatch(back, 0);
  EXPECT_EQ(warnings.count(), 2u);
  EXPECT_EQ(dir_.contentsOf(name), "back\n" + discardLine(3));
}

TEST_F(RotatingFileLogWriterTest, ALineCutShortByAFullDeviceIsEndedBeforeTheNextLine) {
  test::InternalWarningCapture warnings;
  test::ScriptedFileOps ops;
  clockStep = 0;
  auto writer = makeWriter(1'000'000);
  {
    test::ScopedFileOpsOverride override(ops);
    ops.fillDeviceAfter(9);
    std::vector<std::string> batch{"first\n", "second\n", "third\n"};
    writer->writeBatch(batch, 0);
    EXPECT_EQ(warnings.count(), 1u);
    // Still full: the line break cannot be written either.
    std::vector<std::string> more{"lost\n"};
    writer->writeBatch(more, 0);
    EXPECT_EQ(warnings.count(), 2u);
    ops.fillDeviceAfter(-1);
    std::vector<std::string> later{"later\n"};
    writer->writeBatch(later, 4);
  }
  EXPECT_EQ(dir_.contentsOf(nameAt(0)), "first\nsec\nlater\n" + discardLine(4));

  // A line written whole before the failure needs no break.
  {
    test::ScopedFileOpsOverride override(ops);
    ops.fillDeviceAfter(6);
    std::vector<std::string> batch{"whole\n", "never\n"};
    writer->writeBatch(batch, 0);
    ops.fillDeviceAfter(-1);
    std::vector<std::string> next{"next\n"};
    writer->writeBatch(next, 0);
  }
  EXPECT_THAT(dir_.contentsOf(nameAt(0)), ::testing::EndsWith(discardLine(4) + "whole\nnext\n"));
}

TEST_F(RotatingFileLogWriterTest, AForkedChildWritesAFileOfItsOwnNamedWithItsProcessId) {
  clockStep = 0;
  const std::string parentId = "-p" + std::to_string(::getpid());
  auto withId = std::make_unique<RotatingFileLogWriter>(
      dir_.pathOf("kestro-main-"), parentId + "-id7.log", 1'000'000, 86400, &testClock);
  auto withoutId = std::make_unique<RotatingFileLogWriter>(dir_.pathOf("other-"), ".log", 1'000'000,
                                                           86400, &testClock);
  withId->writeMessage(std::string("parent 0\n"));
  withId->flush();
  const pid_t child = ::fork();
  if (child == 0) {
    withId->writeMessage(std::string("child 0\n"));
    withoutId->writeMessage(std::string("child 0\n"));
    withId->flush();
    withoutId->flush();
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  withId->writeMessage(std::string("parent 1\n"));
  withId.reset();
  withoutId.reset();

  const std::string childId = "-p" + std::to_string(child);
  EXPECT_THAT(dir_.fileNames(), ::testing::UnorderedElementsAre(
                                    "kestro-main-d20240312-t140509" + parentId + "-id7.log",
                                    "kestro-main-d20240312-t140509" + childId + "-id7.log",
                                    "other-d20240312-t140509" + childId + ".log"));
  EXPECT_EQ(dir_.contentsOf("kestro-main-d20240312-t140509" + parentId + "-id7.log"),
            "parent 0\nparent 1\n");
  EXPECT_EQ(dir_.contentsOf("kestro-main-d20240312-t140509" + childId + "-id7.log"), "child 0\n");
  EXPECT_EQ(dir_.contentsOf("other-d20240312-t140509" + childId + ".log"), "child 0\n");
}

TEST_F(RotatingFileLogWriterTest, UnderOverloadLinesWrittenPlusLinesReportedDroppedAreAllLines) {
  constexpr int kThreads = 4;
  constexpr int kLines = 3000;
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  ops.delayEachWrite(std::chrono::microseconds(300));  // a slow disk
  {
    // Small files and a small queue: many rotations and many drops.
    auto writer = makeWriter(4000);
    writer->setMaxBufferSize(600);
    std::vector<std::thread> loggers;
    for (int t = 0; t < kThreads; ++t) {
      loggers.emplace_back([&writer, t] {
        for (int i = 0; i < kLines; ++i) {
          writer->writeMessage("t" + std::to_string(t) + " " + std::to_string(i) + "\n");
          if (i % 50 == 0) {
            // Long enough a run for many batches, rotations and drops.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }
      });
    }
    for (std::thread& logger : loggers) {
      logger.join();
    }
  }

  const std::string discardSuffix =
      " log messages were discarded because the logging rate exceeded the write rate";
  long written = 0;
  long discarded = 0;
  std::map<std::string, long> lastByThread;
  for (const std::string& name : dir_.fileNames()) {
    std::istringstream in(dir_.contentsOf(name));
    std::string line;
    while (std::getline(in, line)) {
      const size_t space = line.find(' ');
      ASSERT_NE(space, std::string::npos) << line;
      if (line.ends_with(discardSuffix)) {
        discarded += std::stol(line.substr(0, space));
        continue;
      }
      const long number = std::stol(line.substr(space + 1));
      auto [it, first] = lastByThread.try_emplace(line.substr(0, space), number);
      if (!first) {
        ASSERT_LT(it->second, number) << "out of order: " << line;
        it->second = number;
      }
      ++written;
    }
  }
  EXPECT_GT(discarded, 0) << "the test did not overload the writer";
  EXPECT_GT(dir_.fileNames().size(), 1u) << "the test did not rotate";
  EXPECT_EQ(written + discarded, kThreads * kLines);
}

}  // namespace
}  // namespace quorvane::kestro::logging
