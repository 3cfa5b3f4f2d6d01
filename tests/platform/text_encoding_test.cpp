#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf16ToUtf8LenientTest, PairsEncodeAndLoneSurrogatesBecomeReplacements) {
  EXPECT_EQ(platform::Utf16ToUtf8Lenient(u"A\u00E9\u3042"), "A\xC3\xA9\xE3\x81\x82");
  EXPECT_EQ(platform::Utf16ToUtf8Lenient(u"\U0001F600"), "\xF0\x9F\x98\x80");
  const std::u16string lone_high = {u'a', char16_t{0xD83D}, u'b'};
  EXPECT_EQ(platform::Utf16ToUtf8Lenient(lone_high), "a\xEF\xBF\xBD" "b");
  const std::u16string lone_low = {char16_t{0xDE00}, char16_t{0xD83D}};
  EXPECT_EQ(platform::Utf16ToUtf8Lenient(lone_low), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(platform::Utf16ToUtf8Lenient(u""), "");
}

}  // namespace
