#include "platform/secret_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SecretBuffer, AppendsAcrossGrowthAndKeepsEveryByte) {
  platform::SecretBuffer buffer;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const char chunk[3] = {static_cast<char>(i), static_cast<char>(i >> 8), 'x'};
    ASSERT_TRUE(buffer.Append(chunk, sizeof chunk));
    expected.append(chunk, sizeof chunk);
  }
  EXPECT_EQ(buffer.view(), expected);
}

TEST(SecretBuffer, ClearWipesTheContentAndKeepsTheStorage) {
  platform::SecretBuffer buffer;
  ASSERT_TRUE(buffer.Append("secret-token", 12));
  const uint8_t* storage = buffer.data();
  buffer.Clear();
  EXPECT_TRUE(buffer.empty());
  ASSERT_EQ(buffer.data(), storage);
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(storage[i], 0) << i;
}

TEST(SecretBuffer, ResizeZeroFillsNewBytesAndMoveLeavesTheSourceEmpty) {
  platform::SecretBuffer buffer;
  ASSERT_TRUE(buffer.Append("ab", 2));
  ASSERT_TRUE(buffer.Resize(5));
  EXPECT_EQ(buffer.view(), std::string("ab\0\0\0", 5));
  platform::SecretBuffer moved(std::move(buffer));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(moved.size(), 5u);
  platform::SecretBuffer assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.view().substr(0, 2), "ab");
}

}  // namespace
