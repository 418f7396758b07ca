#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/logging/LogBatch.h"

namespace quorvane {
namespace {

using ::testing::ElementsAre;

TEST(LogBatchTest, MessagesKeepTheirOrderAndLieBackToBack) {
  LogBatch batch;
  EXPECT_TRUE(batch.empty());
  batch.append("one\n");
  batch.append("");  // a flush marker
  batch.append("three\n");
  ASSERT_EQ(batch.size(), 3u);
  EXPECT_EQ(batch.byteSize(), 10u);
  EXPECT_EQ(batch[0], "one\n");
  EXPECT_EQ(batch[1], "");
  EXPECT_EQ(batch[2], "three\n");
  EXPECT_THAT(batch.toStrings(), ElementsAre("one\n", "", "three\n"));
  EXPECT_EQ(batch.range(0, 3), "one\nthree\n");
  EXPECT_EQ(batch.range(1, 2), "three\n");
  EXPECT_EQ(batch.range(2, 0), "");
  // The pieces are views of one buffer.
  EXPECT_EQ(batch[2].data(), batch[0].data() + 4);
}

TEST(LogBatchTest, ClearingKeepsTheStorageUnlessItGrewPastTheBound) {
  LogBatch batch(std::vector<std::string>{std::string(1000, 'a'), "b"});
  EXPECT_EQ(batch.size(), 2u);
  const char* storage = batch[0].data();
  batch.clearAndTrim(4096);
  EXPECT_TRUE(batch.empty());
  EXPECT_EQ(batch.byteSize(), 0u);
  batch.append("again");
  EXPECT_EQ(batch[0].data(), storage) << "the storage is reused";

  batch.append(std::string(10000, 'c'));
  batch.clearAndTrim(4096);
  EXPECT_TRUE(batch.empty());
  batch.append("x");
  EXPECT_EQ(batch.range(0, 1), "x");
}

}  // namespace
}  // namespace quorvane
