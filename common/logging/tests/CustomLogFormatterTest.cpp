#include "common/logging/CustomLogFormatter.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/LogLineFieldsSamples.h"
#include "common/utilities/testing/ScopedTimeZone.h"

namespace quorvane {
namespace {

using test::sampleFields;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr std::string_view kGlogLike = "{L}{m:02d}{D:02d} {H:02d}:{M:02d}:{S:02d} {FILE}:{LINE}]";
constexpr std::string_view kYellow = "\x1b[33m";
constexpr std::string_view kReset = "\x1b[0m";

std::string constructionError(std::string_view format) {
  try {
    CustomLogFormatter formatter(format, false);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

class CustomLogFormatterTest : public ::testing::Test {
 protected:
  test::ScopedTimeZone zone_{test::kTestTimeZone};
};

TEST_F(CustomLogFormatterTest, CompilesPlaceholdersToPositionalArguments) {
  CustomLogFormatter formatter(kGlogLike, false);
  EXPECT_EQ(formatter.headerFormat(), "{0}{1:02d}{2:02d} {3:02d}:{4:02d}:{5:02d} {8}:{10}] ");
  EXPECT_EQ(formatter.lineFormat(), formatter.headerFormat() + "{12}\n");
  // L1 m2 D2 _ H2 : M2 : S2 _ FILE0 : LINE4 ] and the appended blank.
  EXPECT_EQ(formatter.staticWidth(), 22u);
  EXPECT_EQ(formatter.fileNameUses(), 1u);
  EXPECT_EQ(formatter.functionNameUses(), 0u);
  EXPECT_EQ(formatter.formatFields(sampleFields("ready")), "I1206 09:05:07 main:42] ready\n");

  CustomLogFormatter colored(kGlogLike, true);
  EXPECT_EQ(colored.headerFormat(), formatter.headerFormat());
  EXPECT_EQ(colored.lineFormat(), "{13}" + formatter.headerFormat() + "{12}{14}\n");
  EXPECT_TRUE(colored.colored());
}

TEST_F(CustomLogFormatterTest, EveryPlaceholderHasItsValue) {
  CustomLogFormatter formatter(
      "{L}|{m}|{D}|{H}|{M}|{S}|{USECS}|{THREAD}|{FILE}|{FUN}|{LINE}|{CTX}|{FILE}{FUN}", false);
  EXPECT_EQ(formatter.headerFormat(), "{0}|{1}|{2}|{3}|{4}|{5}|{6}|{7}|{8}|{9}|{10}|{11}|{8}{9} ");
  EXPECT_EQ(formatter.fileNameUses(), 2u);
  EXPECT_EQ(formatter.functionNameUses(), 2u);
  EXPECT_EQ(formatter.staticWidth(), 1 + 2 + 2 + 2 + 2 + 2 + 6 + 5 + 4 + 12 + 1u);
  auto fields = sampleFields("text", LogLevel::ERR);
  fields.context = " ctx";
  EXPECT_EQ(formatter.formatFields(fields), "E|12|6|9|5|7|42|1234|main|run|42| ctx|mainrun text\n");
}

TEST_F(CustomLogFormatterTest, KeysAreCaseSensitive) {
  CustomLogFormatter formatter("{m}-{M}", false);
  EXPECT_EQ(formatter.formatFields(sampleFields("x")), "12-5 x\n");
  EXPECT_EQ(constructionError("{l}"), "unknown format argument \"l\"");
  EXPECT_EQ(constructionError("{file}"), "unknown format argument \"file\"");
}

TEST_F(CustomLogFormatterTest, DoubledBracesAreLiteralAndCountOnce) {
  CustomLogFormatter formatter("{{{L}}}", false);
  EXPECT_EQ(formatter.headerFormat(), "{{{0}}} ");
  EXPECT_EQ(formatter.staticWidth(), 1 + 1 + 1 + 1u);
  EXPECT_EQ(formatter.formatFields(sampleFields("x")), "{I} x\n");
}

TEST_F(CustomLogFormatterTest, SpecificationsPassThroughUnchanged) {
  CustomLogFormatter formatter("[{THREAD:>8}] {USECS:06d} {LINE:#x} {FILE:*^8}", false);
  EXPECT_EQ(formatter.headerFormat(), "[{7:>8}] {6:06d} {10:#x} {8:*^8} ");
  EXPECT_EQ(formatter.formatFields(sampleFields("x")), "[    1234] 000042 0x2a **main** x\n");
}

TEST_F(CustomLogFormatterTest, BadFormatsFailWithTheirTexts) {
  EXPECT_EQ(constructionError("{X}"), "unknown format argument \"X\"");
  EXPECT_EQ(constructionError("a {X:>3} b"), "unknown format argument \"X\"");
  EXPECT_EQ(constructionError("{}"), "unknown format argument \"\"");
  EXPECT_EQ(constructionError("{L"), "unterminated format string");
  EXPECT_EQ(constructionError("{L:"), "unterminated format string");
  EXPECT_EQ(constructionError("{THREAD:>8"), "unterminated format string");
  EXPECT_EQ(constructionError("x {"), "unterminated format string");
}

TEST_F(CustomLogFormatterTest, LayoutsTheEngineRejectsFailAtConstruction) {
  // A lone closing brace, a precision for an integer, a format spec that does
  // not fit the value's type: each would fail for every message.
  EXPECT_THAT(constructionError("a } b"), StartsWith("invalid format string: "));
  EXPECT_THAT(constructionError("{LINE:.2}"), StartsWith("invalid format string: "));
  EXPECT_THAT(constructionError("{FILE:d}"), StartsWith("invalid format string: "));
  EXPECT_THAT(constructionError("{L:{FILE}}"), StartsWith("invalid format string: "));
}

TEST_F(CustomLogFormatterTest, SpecificationsThatDependOnValuesOrExplodeAreRejected) {
  // A width taken from the thread id passes a check with sample values but
  // fails (or pads to millions of columns) for real ones.
  EXPECT_EQ(constructionError("{L:{7}}"),
            "invalid format string: width or precision taken from an argument in \"{7\"");
  EXPECT_THAT(constructionError("{FILE:.{10}}"),
              StartsWith("invalid format string: width or precision taken from an argument"));
  // Gigabytes per line otherwise.
  EXPECT_EQ(constructionError("{L:>2000000000}"),
            "invalid format string: width or precision above 1024 in \">2000000000\"");
  EXPECT_THAT(constructionError("{FILE:.1025}"), StartsWith("invalid format string: "));
  EXPECT_THAT(constructionError("{LINE:01025d}"), StartsWith("invalid format string: "));

  // The bound itself, digits as fill characters and zero fill are fine.
  CustomLogFormatter widest("{L:>1024}", false);
  EXPECT_EQ(widest.formatFields(sampleFields("x")), std::string(1023, ' ') + "I x\n");
  CustomLogFormatter filled("{LINE:9>6}|{USECS:0>8}", false);
  EXPECT_EQ(filled.formatFields(sampleFields("x")), "999942|00000042 x\n");
}

TEST_F(CustomLogFormatterTest, EmptyFormatLeavesOnlyTheMessage) {
  CustomLogFormatter formatter("", false);
  EXPECT_EQ(formatter.headerFormat(), "");
  EXPECT_EQ(formatter.staticWidth(), 0u);
  EXPECT_EQ(formatter.formatFields(sampleFields("plain")), "plain\n");
  EXPECT_EQ(formatter.formatFields(sampleFields("a\nb")), "a\nb\n");

  CustomLogFormatter colored("", true);
  EXPECT_EQ(colored.formatFields(sampleFields("w", LogLevel::WARN)),
            std::string(kYellow) + "w" + std::string(kReset) + "\n");
}

TEST_F(CustomLogFormatterTest, MultiLineMessagesRepeatTheHeader) {
  CustomLogFormatter formatter("{L} {FILE}:{LINE}]", false);
  EXPECT_EQ(formatter.formatFields(sampleFields("a\nb")), "I main:42] a\nI main:42] b\n");
  EXPECT_EQ(formatter.formatFields(sampleFields("a\n")), "I main:42] a\nI main:42] \n");
}

TEST_F(CustomLogFormatterTest, ColoredMultiLineMessageIsColoredOnceAroundAllLines) {
  CustomLogFormatter formatter("{L}", true);
  EXPECT_EQ(formatter.formatFields(sampleFields("a\nb", LogLevel::WARN)),
            std::string(kYellow) + "W a\nW b\n" + std::string(kReset));
  // A single line: the colour ends before the newline.
  EXPECT_EQ(formatter.formatFields(sampleFields("a", LogLevel::WARN)),
            std::string(kYellow) + "W a" + std::string(kReset) + "\n");
}

TEST_F(CustomLogFormatterTest, ColorsByLevel) {
  CustomLogFormatter formatter("{L}", true);
  const std::pair<uint32_t, std::string_view> starts[] = {
      {1, "\x1b[1;30m"},  {1999, "\x1b[1;30m"}, {3000, kYellow},      {3999, kYellow},
      {4000, "\x1b[31m"}, {4999, "\x1b[31m"},   {5000, "\x1b[1;41m"}, {0x7fffffff, "\x1b[1;41m"},
  };
  for (auto [value, start] : starts) {
    const std::string line =
        formatter.formatFields(sampleFields("x", static_cast<LogLevel>(value)));
    EXPECT_THAT(line, StartsWith(std::string(start))) << value;
    EXPECT_EQ(line.substr(line.size() - 5), std::string(kReset) + "\n") << value;
  }
  // INFO is never coloured, on one line or several.
  for (uint32_t value : {2000u, 2997u, 2999u}) {
    const auto level = static_cast<LogLevel>(value);
    EXPECT_EQ(formatter.formatFields(sampleFields("x", level)), "I x\n");
    EXPECT_EQ(formatter.formatFields(sampleFields("x\ny", level)), "I x\nI y\n");
  }
  // Without colour, no level gets escape sequences.
  CustomLogFormatter plain("{L}", false);
  EXPECT_EQ(plain.formatFields(sampleFields("x", LogLevel::ERR)), "E x\n");
  EXPECT_EQ(plain.formatFields(sampleFields("x\ny", LogLevel::ERR)), "E x\nE y\n");
}

TEST_F(CustomLogFormatterTest, FormatsARealMessage) {
  LoggerDB db;
  CustomLogFormatter formatter("{L}{m:02d}{D:02d} {USECS:06d} {THREAD} {FILE}:{LINE} {FUN}]",
                               false);
  LogMessage message(db.categoryFor("a.b"), LogLevel::DFATAL, test::testTimestamp(999'999),
                     "src/Sender.cpp", 7, "deliver", std::string("tab\there \\ and\nmore"));
  const std::string header =
      fmt::format("F1206 999999 {} Sender.cpp:7 deliver] ", message.threadId());
  EXPECT_EQ(formatter.formatMessage(message, db.categoryFor("a")),
            header + "tab\there \\\\ and\n" + header + "more\n");
}

}  // namespace
}  // namespace quorvane
