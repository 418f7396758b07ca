#include "common/logging/CategoryName.h"

#include <gtest/gtest.h>

#include "common/logging/LoggerDB.h"

namespace quorvane {
namespace {

TEST(CategoryNameTest, CanonicalForm) {
  EXPECT_EQ(canonicalCategoryName("a.b"), "a.b");
  EXPECT_EQ(canonicalCategoryName("/a//b."), "a.b");
  EXPECT_EQ(canonicalCategoryName("a\\b"), "a.b");
  EXPECT_EQ(canonicalCategoryName("src/Threading.cpp"), "src.Threading.cpp");
  EXPECT_EQ(canonicalCategoryName(""), "");
  EXPECT_EQ(canonicalCategoryName("..."), "");
  EXPECT_EQ(canonicalCategoryName("A.b"), "A.b");
}

TEST(CategoryNameTest, ParentKeepsTheInputSpelling) {
  EXPECT_EQ(parentCategoryName("a/b//c"), "a/b");
  EXPECT_EQ(parentCategoryName("a.b."), "a");
  EXPECT_EQ(parentCategoryName("a"), "");
  EXPECT_EQ(parentCategoryName("/a"), "");
  EXPECT_EQ(parentCategoryName(""), "");
}

TEST(CategoryNameTest, EqualityAndHashAgree) {
  const char* same[] = {"a.b", "a/b", "/a//b.", "a\\b", "a..b", "..a.b..."};
  for (const char* x : same) {
    for (const char* y : same) {
      EXPECT_TRUE(categoryNamesEqual(x, y)) << x << " vs " << y;
      EXPECT_EQ(categoryNameHash(x), categoryNameHash(y)) << x << " vs " << y;
    }
  }
  EXPECT_FALSE(categoryNamesEqual("A.b", "a.b"));
  EXPECT_FALSE(categoryNamesEqual("a.b", "a.bc"));
  EXPECT_FALSE(categoryNamesEqual("a.b", "ab"));
  EXPECT_FALSE(categoryNamesEqual("a", "a.b"));
  EXPECT_TRUE(categoryNamesEqual("", "..."));
  EXPECT_EQ(categoryNameHash(""), 5381u);
  EXPECT_EQ(categoryNameHash("//"), 5381u);
  EXPECT_EQ(categoryNameHash("a.b"), categoryNameHash(canonicalCategoryName("a.b")));
}

TEST(CategoryNameTest, SourceFileCategoryNames) {
  EXPECT_EQ(categoryNameForSourceFile("vask-out/gen/pkg#hdr/dir/f.h"), "dir/f.h");
  EXPECT_EQ(categoryNameForSourceFile("vask-out/gen/f.h"), "vask-out/gen/f.h");
  EXPECT_EQ(categoryNameForSourceFile("vask-out//a#b//c.h"), "/c.h");
  EXPECT_EQ(categoryNameForSourceFile("src/a#b/c.cpp"), "src/a#b/c.cpp");
  EXPECT_EQ(categoryNameForSourceFile("vask-out/gen/f#h"), "vask-out/gen/f#h");
}

}  // namespace
}  // namespace quorvane
