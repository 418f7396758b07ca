#include "common/logging/StandardLogHandler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include "common/logging/AsyncFileWriter.h"
#include "common/logging/CustomLogFormatter.h"
#include "common/logging/GlogStyleFormatter.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LogWriter.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/StandardLogHandlerFactory.h"
#include "common/logging/testing/CapturingLogWriter.h"
#include "common/utilities/File.h"
#include "common/utilities/testing/ErrorText.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/TemporaryFile.h"

namespace quorvane {
namespace {

using test::CapturingLogWriter;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class StandardLogHandlerTest : public ::testing::Test {
 protected:
  void handle(StandardLogHandler& handler, LogLevel level, std::string text) {
    LogCategory* category = db_.categoryFor("h");
    LogMessage message(category, level, "src/h.cpp", 7, "fn", std::move(text));
    handler.handleMessage(message, category);
  }
  LoggerDB db_;
};

TEST_F(StandardLogHandlerTest, LevelFiltersAndSyncLevelFlushes) {
  auto writer = std::make_shared<CapturingLogWriter>();
  StandardLogHandler handler(LogHandlerConfig{"t"}, std::make_shared<CustomLogFormatter>("", false),
                             writer, LogLevel::ERR);
  EXPECT_EQ(handler.getLevel(), LogLevel::NONE);
  handler.setLevel(LogLevel::WARN);
  handle(handler, LogLevel::INFO, "dropped");
  handle(handler, LogLevel::WARN, "kept");
  EXPECT_EQ(writer->flushCount(), 0);
  handle(handler, LogLevel::ERR, "flushed");
  EXPECT_THAT(writer->messages(), ElementsAre("kept\n", "flushed\n"));
  // What the sync level flushes must not be dropped by an overloaded queue.
  EXPECT_THAT(writer->flags(), ElementsAre(0u, LogWriter::NEVER_DISCARD));
  EXPECT_EQ(writer->flushCount(), 1);
}

// A writer that copies the text it is given and leaves the caller's string
// alone (as the asynchronous writers do), recording where the text was.
class CopyingLogWriter : public LogWriter {
 public:
  void writeMessage(std::string_view buffer, uint32_t) override {
    texts.emplace_back(buffer);
    storage.push_back(buffer.data());
  }
  void writeMessage(std::string&& buffer, uint32_t flags) override {
    writeMessage(std::string_view(buffer), flags);
  }
  void flush() override {}
  bool writesToTerminal() const override { return false; }

  std::vector<std::string> texts;
  std::vector<const char*> storage;
};

TEST_F(StandardLogHandlerTest, LinesAreFormattedAfreshIntoStorageThatIsReused) {
  for (bool engineFormatter : {false, true}) {
    auto writer = std::make_shared<CopyingLogWriter>();
    std::shared_ptr<LogFormatter> formatter;
    if (engineFormatter) {
      // Only formatMessage of its own: the handler takes the string it returns.
      formatter = std::make_shared<CustomLogFormatter>("{L} {FILE}:{LINE}]", false);
    } else {
      formatter = std::make_shared<GlogStyleFormatter>();
    }
    StandardLogHandler handler(LogHandlerConfig{"t"}, formatter, writer);
    handle(handler, LogLevel::INFO, std::string(500, 'x'));
    handle(handler, LogLevel::INFO, "short");
    handle(handler, LogLevel::WARN, "two\nlines");
    ASSERT_EQ(writer->texts.size(), 3u);
    EXPECT_EQ(writer->texts[1].find('x'), std::string::npos) << "nothing left of the long line";
    EXPECT_THAT(writer->texts[1], HasSubstr("short\n"));
    EXPECT_EQ(writer->texts[2].find("short"), std::string::npos);
    if (!engineFormatter) {
      // The second and third lines were written into the first line's storage.
      EXPECT_EQ(writer->storage[1], writer->storage[0]);
      EXPECT_EQ(writer->storage[2], writer->storage[0]);
    }
  }
}

TEST_F(StandardLogHandlerTest, AMessageAtTheSyncLevelIsWrittenEvenWhenTheQueueIsFull) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  auto writer = std::make_shared<AsyncFileWriter>(File(file.openForAppend(), true));
  writer->setMaxBufferSize(1);
  StandardLogHandler handler(LogHandlerConfig{"t"}, std::make_shared<CustomLogFormatter>("", false),
                             writer, LogLevel::WARN);
  ops.holdWrites(true);
  handle(handler, LogLevel::INFO, "busy");
  ops.waitForHeldCalls(1);  // the I/O thread is inside the write of "busy"
  handle(handler, LogLevel::INFO, "queued");
  handle(handler, LogLevel::INFO, "dropped");  // the queue is at its limit
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ops.holdWrites(false);
  });
  handle(handler, LogLevel::WARN, "kept");  // returns once written
  EXPECT_EQ(file.contents(),
            "busy\nqueued\nkept\n1 log messages discarded: logging faster than we can write\n");
  releaser.join();
}

TEST_F(StandardLogHandlerTest, WithoutASyncLevelOnlyFatalFlushes) {
  auto writer = std::make_shared<CapturingLogWriter>();
  StandardLogHandler handler(LogHandlerConfig{"t"}, std::make_shared<CustomLogFormatter>("", false),
                             writer);
  handle(handler, LogLevel::CRITICAL, "c");
  handle(handler, LogLevel::DFATAL, "d");
  EXPECT_EQ(writer->flushCount(), 0);
  handle(handler, LogLevel::FATAL, "f");  // handled directly: nothing aborts
  EXPECT_EQ(writer->flushCount(), 1);
  handler.flush();
  EXPECT_EQ(writer->flushCount(), 2);
}

// A writer factory that records what it was asked, for the option machinery.
class RecordingWriterFactory : public StandardLogHandlerFactory::WriterFactory {
 public:
  explicit RecordingWriterFactory(bool terminal = false) : terminal_(terminal) {}
  bool processOption(std::string_view name, std::string_view value) override {
    if (name == "bad_writer_option") {
      throw std::invalid_argument("writer rejects " + std::string(value));
    }
    return name == "writer_option";
  }
  std::shared_ptr<LogWriter> createWriter() override {
    ++writersCreated;
    writer = std::make_shared<CapturingLogWriter>(terminal_);
    return writer;
  }
  int writersCreated = 0;
  std::shared_ptr<CapturingLogWriter> writer;

 private:
  bool terminal_;
};

std::set<std::string> splitErrors(const std::string& text) {
  std::set<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(", ", start);
    parts.insert(text.substr(start, comma - start));
    if (comma == std::string::npos) {
      return parts;
    }
    start = comma + 2;
  }
}

std::string creationError(StandardLogHandlerFactory::WriterFactory& writers,
                          const LogHandlerFactory::Options& options) {
  return test::errorText<std::invalid_argument>(
      [&] { StandardLogHandlerFactory::createHandler("t", &writers, options); });
}

TEST_F(StandardLogHandlerTest, OptionErrorsAreCollectedAndNothingIsBuilt) {
  RecordingWriterFactory writers;
  std::string error = creationError(writers, {{"level", "loud"},
                                              {"sync_level", "dbg1000"},
                                              {"bogus", "1"},
                                              {"bad_writer_option", "x"},
                                              {"writer_option", "fine"}});
  EXPECT_EQ(
      splitErrors(error),
      (std::set<std::string>{
          "unable to parse value for option \"level\": invalid logger level: loud",
          "unable to parse value for option \"sync_level\": invalid dbg logger level: dbg1000",
          "unknown option \"bogus\"",
          "error processing option \"bad_writer_option\": writer rejects x"}));
  EXPECT_EQ(writers.writersCreated, 0);

  EXPECT_EQ(creationError(writers, {{"formatter", "xml"}, {"bogus", "1"}}),
            "unknown log formatter type \"xml\"");
  // The glog formatter consumes nothing, so custom-only options are unknown to it.
  EXPECT_EQ(creationError(writers, {{"log_format", "{L}"}}), "unknown option \"log_format\"");
  EXPECT_EQ(creationError(writers, {{"formatter", "custom"}, {"colored", "sometimes"}}),
            "error processing option \"colored\": unknown colored type \"sometimes\". "
            "Needs to be always/never/auto");
  EXPECT_EQ(writers.writersCreated, 0);
}

TEST_F(StandardLogHandlerTest, TheFormatterOptionChoosesTheLayout) {
  RecordingWriterFactory writers;
  auto glog = StandardLogHandlerFactory::createHandler("t", &writers, {});
  EXPECT_NE(dynamic_cast<GlogStyleFormatter*>(glog->getFormatter().get()), nullptr);
  glog = StandardLogHandlerFactory::createHandler("t", &writers, {{"formatter", "glog"}});
  EXPECT_NE(dynamic_cast<GlogStyleFormatter*>(glog->getFormatter().get()), nullptr);

  auto custom = StandardLogHandlerFactory::createHandler(
      "t", &writers, {{"formatter", "custom"}, {"log_format", "[{L}:{LINE}]"}});
  handle(*custom, LogLevel::WARN, "w");
  EXPECT_THAT(writers.writer->messages(), ElementsAre("[W:7] w\n"));
}

TEST_F(StandardLogHandlerTest, ColouredAutoFollowsTheWriter) {
  const LogHandlerFactory::Options options{
      {"formatter", "custom"}, {"log_format", "{L}"}, {"colored", "auto"}};
  RecordingWriterFactory terminal(true);
  handle(*StandardLogHandlerFactory::createHandler("t", &terminal, options), LogLevel::WARN, "w");
  EXPECT_THAT(terminal.writer->messages(), ElementsAre("\x1b[33mW w\x1b[0m\n"));

  RecordingWriterFactory pipe(false);
  handle(*StandardLogHandlerFactory::createHandler("t", &pipe, options), LogLevel::WARN, "w");
  EXPECT_THAT(pipe.writer->messages(), ElementsAre("W w\n"));
}

TEST_F(StandardLogHandlerTest, ACallersFormatterFactoryIgnoresTheFormatterOption) {
  class FixedFormatterFactory : public StandardLogHandlerFactory::FormatterFactory {
   public:
    bool processOption(std::string_view, std::string_view) override { return false; }
    std::shared_ptr<LogFormatter> createFormatter(const std::shared_ptr<LogWriter>&) override {
      return std::make_shared<CustomLogFormatter>("fixed:", false);
    }
  };
  RecordingWriterFactory writers;
  FixedFormatterFactory formatters;
  auto handler = StandardLogHandlerFactory::createHandler(
      "t", &writers, &formatters, {{"formatter", "anything at all"}, {"level", "INFO"}});
  handle(*handler, LogLevel::INFO, "m");
  EXPECT_THAT(writers.writer->messages(), ElementsAre("fixed: m\n"));
}

TEST_F(StandardLogHandlerTest, GetConfigReturnsTheTypeAndEveryOption) {
  RecordingWriterFactory writers;
  const LogHandlerFactory::Options options{{"formatter", "custom"},
                                           {"log_format", "{L}"},
                                           {"level", "WARN"},
                                           {"sync_level", "ERR"},
                                           {"writer_option", "1"}};
  auto handler = StandardLogHandlerFactory::createHandler("mytype", &writers, options);
  EXPECT_EQ(handler->getConfig(), LogHandlerConfig("mytype", options));
  EXPECT_EQ(handler->getLevel(), LogLevel::WARN);
  EXPECT_EQ(handler->getSyncLevel(), LogLevel::ERR);
}

}  // namespace
}  // namespace quorvane
