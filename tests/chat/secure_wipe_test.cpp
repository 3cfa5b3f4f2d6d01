#include "chat/secure_wipe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SecureWipeString, ZeroesTheContentAndKeepsTheAllocation) {
  std::string text(40, 'k');
  const char* storage = text.data();
  const size_t capacity = text.capacity();
  SecureWipeString(&text);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(text.data(), storage);
  EXPECT_EQ(text.capacity(), capacity);
  for (size_t i = 0; i < 40; ++i) EXPECT_EQ(storage[i], '\0') << i;
  SecureWipeString(nullptr);
}

}  // namespace
