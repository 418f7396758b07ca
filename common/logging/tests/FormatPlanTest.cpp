#include <fmt/format.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/logging/internal/FormatPlan.h"

namespace quorvane::logging::internal {
namespace {

// The plan's result for prepared arguments, as the statements prepare them
// when every type is covered; kNotCovered also when one is not.
template <typename... Args>
FormatPlan::Result formatPrepared(const FormatPlan& plan, std::string& out, const Args&... args) {
  if constexpr ((FormatPlan::kCovers<Args> && ...)) {
    FormatPlan::Argument arguments[sizeof...(Args) + 1];
    size_t next = 0;
    if ((FormatPlan::prepare(args, arguments[next++]) && ...)) {
      return plan.formatTo(out, arguments, sizeof...(Args));
    }
  }
  return FormatPlan::Result::kNotCovered;
}

// What the plan of `format` writes for `args`, or "<engine>" when the plan
// leaves the format or the arguments to the formatting engine. Checks that the
// plan agrees with the engine whenever it writes, with the arguments
// type-erased by the engine and prepared by type alike.
template <typename... Args>
std::string viaPlan(std::string_view format, const Args&... args) {
  FormatPlan plan;
  if (!plan.parse(format)) {
    return "<engine>";
  }
  const std::string before = "what the string held before, longer than most results";
  std::string erased = before;
  std::string prepared = before;
  const FormatPlan::Result erasedResult = plan.formatTo(erased, fmt::make_format_args(args...));
  EXPECT_EQ(formatPrepared(plan, prepared, args...), erasedResult) << format;
  EXPECT_EQ(prepared, erased) << format;
  if (erasedResult == FormatPlan::Result::kNotCovered) {
    EXPECT_EQ(erased, before) << "a refused argument leaves the text as it was";
    return "<engine>";
  }
  EXPECT_EQ(erased, fmt::vformat(format, fmt::make_format_args(args...))) << format;
  return erased;
}

TEST(FormatPlanTest, PlainFieldsOfIntegersStringsAndCharactersMatchTheEngine) {
  EXPECT_EQ(viaPlan("message {} of the run, second {}", 17, 119),
            "message 17 of the run, second 119");
  EXPECT_EQ(viaPlan("no fields"), "no fields");
  EXPECT_EQ(viaPlan(""), "");
  EXPECT_EQ(viaPlan("{}{}{}", INT_MIN, UINT64_MAX, -1LL),
            fmt::format("{}{}{}", INT_MIN, UINT64_MAX, -1LL));
  EXPECT_EQ(viaPlan("{} and {}", true, false), "true and false");
  EXPECT_EQ(viaPlan("[{}]", 'x'), "[x]");
  const std::string owned = "owned";
  const char* cString = "c string";
  EXPECT_EQ(viaPlan("{} / {} / {}", owned, cString, std::string_view("view")),
            "owned / c string / view");
  EXPECT_EQ(viaPlan("{} {} {}", short{-5}, static_cast<unsigned char>(200), 9UL), "-5 200 9");
  EXPECT_EQ(
      viaPlan("{} {} {} {}", static_cast<signed char>(-128), uint16_t{65535}, LONG_MIN, ULONG_MAX),
      fmt::format("{} {} {} {}", static_cast<signed char>(-128), uint16_t{65535}, LONG_MIN,
                  ULONG_MAX));
  char array[] = "array";
  EXPECT_EQ(viaPlan("{}|{}", array, std::string("nul\0inside", 10)),
            std::string("array|nul\0inside", 16));
  EXPECT_EQ(viaPlan("{{literal}} {} }}{{", 3), "{literal} 3 }{");
  EXPECT_EQ(viaPlan("only {}", 1, 2, 3), "only 1")
      << "extra arguments are ignored, as the engine does";
}

TEST(FormatPlanTest, EverythingElseIsLeftToTheEngine) {
  EXPECT_EQ(viaPlan("{0} {1}", 1, 2), "<engine>");
  EXPECT_EQ(viaPlan("{:x}", 255), "<engine>");
  EXPECT_EQ(viaPlan("{:>5}", 1), "<engine>");
  EXPECT_EQ(viaPlan("unmatched } brace"), "<engine>");
  EXPECT_EQ(viaPlan("open {"), "<engine>");
  EXPECT_EQ(viaPlan("{}{}{}{}{}{}{}{}{}{}{}{}{}{}{}{}", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                    14, 15, 16),
            "<engine>")
      << "more fields than a plan holds";
  EXPECT_EQ(viaPlan("{} {}", 1), "<engine>") << "a missing argument is the engine's error";
  EXPECT_EQ(viaPlan("{}", 1.5), "<engine>");
  int x = 0;
  EXPECT_EQ(viaPlan("{}", static_cast<const void*>(&x)), "<engine>");
  const char* null = nullptr;
  EXPECT_EQ(viaPlan("{} {}", 1, null), "<engine>");
}

// Whether the plan of `format` marks the text of `args` plain.
template <typename... Args>
bool markedPlain(std::string_view format, const Args&... args) {
  FormatPlan plan;
  std::string out;
  EXPECT_TRUE(plan.parse(format)) << format;
  return plan.formatTo(out, fmt::make_format_args(args...)) == FormatPlan::Result::kWrittenPlain;
}

TEST(FormatPlanTest, OnlyIntegersAndBooleansInAFormatWithoutSpecialBytesArePlain) {
  // Plain text skips the message's sanitising, so a byte that sanitising
  // escapes or counts must never be in it.
  EXPECT_TRUE(markedPlain("message {} of the run, second {}", -17, 119ULL));
  EXPECT_TRUE(markedPlain("{} {}", true, 7U));
  EXPECT_TRUE(markedPlain("no fields, caf\xc3\xa9"));
  EXPECT_TRUE(markedPlain("{{braces}}"));
  EXPECT_FALSE(markedPlain("tab\t{}", 1));
  EXPECT_FALSE(markedPlain("two\nlines {}", 1));
  EXPECT_FALSE(markedPlain("back\\slash {}", 1));
  EXPECT_FALSE(markedPlain("del\x7f {}", 1));
  EXPECT_FALSE(markedPlain("{}", "a string may hold anything"));
  EXPECT_FALSE(markedPlain("{}", std::string_view("a view")));
  EXPECT_FALSE(markedPlain("{}", 'c'));
}

TEST(FormatPlanTest, ASiteKeepsItsFirstFormatsPlanAndAnswersOthersByContent) {
  // Sites live as long as the program (their entries are never freed), as a
  // statement's does.
  static FormatSite site;
  const char* literal = "site {} plan";
  const FormatPlan* plan = site.plan(literal);
  ASSERT_NE(plan, nullptr);
  EXPECT_EQ(site.plan(literal), plan);
  // Another format at the same site (only a format made at run time can do
  // that): its own plan, never the site's.
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s", "other {}");
  const FormatPlan* other = site.plan(buffer);
  ASSERT_NE(other, nullptr);
  std::string out;
  ASSERT_NE(other->formatTo(out, fmt::make_format_args(1)), FormatPlan::Result::kNotCovered);
  EXPECT_EQ(out, "other 1");
  static FormatSite uncovered;
  EXPECT_EQ(uncovered.plan("{:x}"), nullptr);
  EXPECT_EQ(uncovered.plan("{:x}"), nullptr);
}

TEST(FormatPlanTest, TheCacheConfirmsAPlanByContentNotByAddressAlone) {
  // A format built at run time in one buffer, with different content each
  // time: the cache must not hand out the plan of the earlier content.
  char buffer[32];
  for (const char* text : {"a {} b", "{}{}", "a {:x}", "a {} b"}) {
    std::snprintf(buffer, sizeof buffer, "%s", text);
    const FormatPlan* plan = cachedFormatPlan(buffer);
    if (std::string_view(text) == "a {:x}") {
      EXPECT_EQ(plan, nullptr);
      continue;
    }
    ASSERT_NE(plan, nullptr) << text;
    std::string out;
    ASSERT_NE(plan->formatTo(out, fmt::make_format_args(1, 2)), FormatPlan::Result::kNotCovered);
    EXPECT_EQ(out, fmt::vformat(text, fmt::make_format_args(1, 2)));
  }
  // The same format again: the same plan.
  const char* literal = "x {} y";
  EXPECT_EQ(cachedFormatPlan(literal), cachedFormatPlan(literal));
}

}  // namespace
}  // namespace quorvane::logging::internal
