#include "common/logging/LogMessage.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <stdexcept>
#include <thread>

#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/ThreadId.h"

namespace quorvane {
namespace {

class LogMessageTest : public ::testing::Test {
 protected:
  LogMessage make(std::string text, std::string_view file = "src/a/b.cpp") {
    return LogMessage(db_.categoryFor("x.y"), LogLevel::WARN, file, 12, "fn", std::move(text));
  }
  LoggerDB db_;
};

TEST_F(LogMessageTest, TabsAndNewlinesPassThroughAndAreCounted) {
  auto message = make("a\tb\nc");
  EXPECT_EQ(message.messageText(), "a\tb\nc");
  EXPECT_EQ(&message.messageText(), &message.rawText());  // no sanitised copy made
  EXPECT_EQ(message.newlineCount(), 1u);
  EXPECT_TRUE(message.containsNewlines());
}

TEST_F(LogMessageTest, EscapesBackslashesAndControlBytes) {
  EXPECT_EQ(make("a\\b").messageText(), "a\\\\b");
  EXPECT_EQ(make("x\x1by").messageText(), "x\\x1by");
  EXPECT_EQ(make(std::string("n\0l", 3)).messageText(), "n\\x00l");
  EXPECT_EQ(make("del\x7f").messageText(), "del\\x7f");
  EXPECT_EQ(make("caf\xc3\xa9").messageText(), "caf\xc3\xa9");
  auto mixed = make("\\\n\x01");
  EXPECT_EQ(mixed.messageText(), "\\\\\n\\x01");
  EXPECT_EQ(mixed.rawText(), "\\\n\x01");
  EXPECT_EQ(mixed.newlineCount(), 1u);
}

// The sanitising rule applied byte by byte.
std::string referenceSanitized(const std::string& raw, uint64_t& newlines) {
  std::string out;
  newlines = 0;
  for (char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n' || c == '\t') {
      newlines += c == '\n' ? 1 : 0;
      out += ch;
    } else if (c < 0x20 || c == 0x7f) {
      out += fmt::format("\\x{:02x}", c);
    } else {
      out += ch;
    }
  }
  return out;
}

TEST_F(LogMessageTest, EachByteThatMattersIsFoundAtEveryPositionAndLength) {
  // The scan looks at blocks of bytes; a special byte at any offset of texts
  // of every length around the block sizes must be seen.
  const unsigned char specials[] = {'\\', '\n', '\t', 0x00, 0x01, 0x1f, 0x7f};
  const unsigned char ordinary[] = {0x20, 0x5b, 0x5d, 0x7e, 0x80, 0xc3, 0xff};
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t position = 0; position < length; ++position) {
      for (unsigned char special : specials) {
        std::string raw(length, 'a');
        raw[position] = static_cast<char>(special);
        uint64_t newlines = 0;
        const std::string expected = referenceSanitized(raw, newlines);
        auto message = make(raw);
        ASSERT_EQ(message.messageText(), expected) << length << " " << position << " " << +special;
        ASSERT_EQ(message.newlineCount(), newlines);
      }
      for (unsigned char plain : ordinary) {
        std::string raw(length, 'a');
        raw[position] = static_cast<char>(plain);
        auto message = make(raw);
        ASSERT_EQ(&message.messageText(), &message.rawText()) << length << " " << position;
        ASSERT_EQ(message.newlineCount(), 0u);
      }
    }
  }
}

TEST_F(LogMessageTest, TheBaseNameFollowsTheLastSlashAtAnyPosition) {
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t slash = 0; slash <= length; ++slash) {
      std::string path(length, 'f');
      if (slash < length) {
        path[slash] = '/';
      }
      if (slash > 2) {
        path[slash / 2] = '/';  // an earlier slash that does not count
      }
      const size_t last = path.rfind('/');
      const std::string expected = last == std::string::npos ? path : path.substr(last + 1);
      ASSERT_EQ(make("", path).fileBaseName(), expected) << path;
    }
  }
}

TEST_F(LogMessageTest, FieldsAndBaseName) {
  auto before = std::chrono::system_clock::now();
  auto message = make("hi");
  EXPECT_GE(message.timestamp(), before);
  EXPECT_EQ(message.category()->name(), "x.y");
  EXPECT_EQ(message.level(), LogLevel::WARN);
  EXPECT_EQ(message.lineNumber(), 12u);
  EXPECT_EQ(message.functionName(), "fn");
  EXPECT_EQ(message.fileBaseName(), "b.cpp");
  EXPECT_EQ(message.threadId(), getOSThreadID());
  EXPECT_EQ(make("", "b.cpp").fileBaseName(), "b.cpp");
  EXPECT_EQ(make("", "dir/").fileBaseName(), "");
  EXPECT_EQ(message.contextString(), "");

  auto fixed = std::chrono::system_clock::time_point(std::chrono::seconds(1234));
  LogMessage supplied(db_.categoryFor(""), LogLevel::INFO, fixed, "f", 1, "", "t");
  EXPECT_EQ(supplied.timestamp(), fixed);
}

static_assert(sourceFileBaseName("src/net/Client.cpp") == "Client.cpp");
static_assert(sourceFileBaseName("Client.cpp") == "Client.cpp");
static_assert(sourceFileBaseName("dir/") == "");

TEST_F(LogMessageTest, AStatementsTextIsBorrowedAndScannedUnlessKnownToBePlain) {
  const std::string text = "a\\b\n";
  const LogMessage scanned(db_.categoryFor("s"), LogLevel::INFO,
                           LogSourceFile{"src/x/Y.cpp", "Y.cpp"}, 3, "f",
                           LogMessage::BorrowedText{text, /*plain=*/false});
  EXPECT_EQ(&scanned.rawText(), &text);
  EXPECT_EQ(scanned.messageText(), "a\\\\b\n");
  EXPECT_EQ(scanned.newlineCount(), 1u);
  EXPECT_EQ(scanned.fileName(), "src/x/Y.cpp");
  EXPECT_EQ(scanned.fileBaseName(), "Y.cpp");
  EXPECT_EQ(scanned.threadId(), getOSThreadID());

  const std::string plain = "nothing to escape";
  const LogMessage trusted(db_.categoryFor("s"), LogLevel::INFO, LogSourceFile{"Y.cpp", "Y.cpp"}, 3,
                           "f", LogMessage::BorrowedText{plain, /*plain=*/true});
  EXPECT_EQ(&trusted.messageText(), &plain);
  EXPECT_EQ(trusted.newlineCount(), 0u);
}

TEST_F(LogMessageTest, ThreadIdIsTheLoggingThreadsOsId) {
  uint64_t mainId = make("m").threadId();
  uint64_t otherId = 0;
  uint64_t otherOsId = 0;
  std::thread([&] {
    otherId = make("o").threadId();
    otherOsId = getOSThreadID();
  }).join();
  EXPECT_NE(mainId, otherId);
  EXPECT_EQ(otherId, otherOsId);
}

TEST_F(LogMessageTest, ContextProvidersJoinInOrder) {
  db_.addContextProvider([] { return std::string("one"); });
  db_.addContextProvider([] { return std::string(); });
  db_.addContextProvider([]() -> std::string { throw std::runtime_error("bad"); });
  db_.addContextProvider([] { return std::string("two"); });
  std::string context = make("x").contextString();
  EXPECT_EQ(context.substr(0, 4), " one");
  EXPECT_NE(context.find("[error:"), std::string::npos);
  EXPECT_NE(context.find(": bad]"), std::string::npos);
  EXPECT_EQ(context.substr(context.size() - 4), " two");
  EXPECT_EQ(context.find(" ["), std::string::npos);  // no blank before the error piece
}

TEST_F(LogMessageTest, AtMostSixteenContextProviders) {
  for (size_t i = 0; i < LoggerDB::kMaxContextProviders; ++i) {
    db_.addContextProvider([] { return std::string("p"); });
  }
  EXPECT_THROW(db_.addContextProvider([] { return std::string("q"); }), std::length_error);
}

}  // namespace
}  // namespace quorvane
