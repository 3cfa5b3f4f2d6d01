#include "core/text.h"

#include <gtest/gtest.h>

#include <system_error>

namespace {

TEST(Utf8ToWide, ConvertsEveryPlaneRoundTripsAndRejectsEveryMalformedForm) {
  const std::string text = "a\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80";  // a, é, あ, 😀
  const std::u16string wide = Utf8ToWide(text);
  EXPECT_EQ(wide, (std::u16string{u'a', 0x00E9, 0x3042, 0xD83D, 0xDE00}));
  EXPECT_EQ(WideToUtf8(wide), text);
  EXPECT_EQ(Utf8ToWide(""), u"");
  EXPECT_EQ(Utf8CStringToWide(nullptr), u"");
  EXPECT_EQ(Utf8CStringToWide("x\xC3\xA9"), (std::u16string{u'x', 0x00E9}));

  const char* bad[] = {
      "\x80",              // lone continuation
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xED\xA0\x80",      // encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xE3\x81",          // cut short
      "\xFF",
  };
  for (const char* text : bad) {
    EXPECT_THROW(Utf8ToWide(text), std::system_error) << text;
    EXPECT_EQ(Utf8ToWideStrict(text), u"") << text;
  }
  // An embedded NUL is text like any other.
  EXPECT_EQ(Utf8ToWideStrict(std::string("a\0b", 3)), (std::u16string{u'a', 0, u'b'}));

  // Back to UTF-8, an unpaired surrogate gives nothing.
  EXPECT_EQ(WideToUtf8(std::u16string{u'a', 0xD800}), "");
  EXPECT_EQ(WideToUtf8(std::u16string{0xDC00, u'a'}), "");
  EXPECT_EQ(WideToUtf8(std::u16string{0xD800, u'a'}), "");
  EXPECT_EQ(WideToUtf8(std::u16string{0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF");
}

TEST(JsonStringLiteral, EscapesOnlyQuotesAndBackslashes) {
  EXPECT_EQ(WriteJsonStringLiteral("a\"b\\"), "\"a\\\"b\\\\\"");
  EXPECT_EQ(WriteJsonStringLiteral("C:\\x\ty"), "\"C:\\\\x\ty\"");
  EXPECT_EQ(WriteJsonStringLiteral(""), "\"\"");
}

}  // namespace
