#include "common/logging/internal/ScratchString.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace quorvane::logging::internal {
namespace {

TEST(ScratchStringTest, ALentStringKeepsItsStorageAndANestedUserGetsItsOwn) {
  const char* storage = nullptr;
  {
    ScopedScratchString outer(ScratchSlot::kFormattedLine);
    outer.text() = std::string(300, 'o');
    storage = outer.text().data();
    {
      ScopedScratchString nested(ScratchSlot::kFormattedLine);
      EXPECT_TRUE(nested.text().empty());
      EXPECT_NE(&nested.text(), &outer.text());
      nested.text() = "nested";
    }
    EXPECT_EQ(outer.text(), std::string(300, 'o')) << "the nested user left it alone";
  }
  {
    ScopedScratchString again(ScratchSlot::kFormattedLine);
    EXPECT_EQ(again.text(), std::string(300, 'o')) << "what the previous user left";
    again.text() = "short";
    EXPECT_EQ(again.text().data(), storage) << "the storage is lent again";
  }
  // Another thread has its own slots.
  std::thread([storage] {
    ScopedScratchString other(ScratchSlot::kFormattedLine);
    other.text() = std::string(300, 't');
    EXPECT_NE(other.text().data(), storage);
  }).join();
}

TEST(ScratchStringTest, HugeStorageIsNotKept) {
  {
    ScopedScratchString line(ScratchSlot::kFormattedLine);
    line.text().assign(kMaxKeptScratchCapacity + 1, 'x');
  }
  {
    ScopedScratchString line(ScratchSlot::kFormattedLine);
    EXPECT_LE(line.text().capacity(), kMaxKeptScratchCapacity);
  }
}

}  // namespace
}  // namespace quorvane::logging::internal
