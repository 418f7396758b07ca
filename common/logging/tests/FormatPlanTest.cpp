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

// What the plan of `format` writes for `args`, or "<engine>" when the plan
// leaves the format or the arguments to the formatting engine. Checks that the
// plan agrees with the engine whenever it writes.
template <typename... Args>
std::string viaPlan(std::string_view format, const Args&... args) {
  FormatPlan plan;
  if (!plan.parse(format)) {
    return "<engine>";
  }
  std::string out = "prefix:";
  if (!plan.formatTo(out, fmt::make_format_args(args...))) {
    EXPECT_EQ(out, "prefix:") << "a refused argument leaves the text as it was";
    return "<engine>";
  }
  EXPECT_EQ(out, "prefix:" + fmt::vformat(format, fmt::make_format_args(args...))) << format;
  return out.substr(7);
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
    ASSERT_TRUE(plan->formatTo(out, fmt::make_format_args(1, 2)));
    EXPECT_EQ(out, fmt::vformat(text, fmt::make_format_args(1, 2)));
  }
  // The same format again: the same plan.
  const char* literal = "x {} y";
  EXPECT_EQ(cachedFormatPlan(literal), cachedFormatPlan(literal));
}

}  // namespace
}  // namespace quorvane::logging::internal
