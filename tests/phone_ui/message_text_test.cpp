#include <gtest/gtest.h>

#include <time.h>

#include <cmath>
#include <limits>

#include "phone_ui/canvas_text.h"

namespace {

TEST(Utf8ToCanvasTextTest, ValidAndInvalidInput) {
  EXPECT_EQ(Utf8ToCanvasText("\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF"),
            u"こんにちは");
  EXPECT_EQ(Utf8ToCanvasText("Hi \xF0\x9F\x98\x80"), u"Hi \U0001F600");
  EXPECT_EQ(Utf8ToCanvasText(""), u"");
  EXPECT_EQ(Utf8ToCanvasText("ok\xE3\x81"), u"[invalid text]");      // cut short
  EXPECT_EQ(Utf8ToCanvasText("\xC0\xAF"), u"[invalid text]");         // overlong '/'
  EXPECT_EQ(Utf8ToCanvasText("a\xED\xA0\x80"), u"[invalid text]");    // encoded surrogate
}

// Local time of the given calendar moment, as seconds since the epoch.
int64_t LocalSeconds(int year, int month, int day, int hour, int minute) {
  struct tm parts {};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&parts));
}

// Against 2026-07-15 18:30 local time; fractions of a second do not move the
// label, and times outside the range give nothing.
TEST(FormatMessageTimeTest, SameDaySameYearOtherYearAndOutOfRange) {
  const int64_t now = LocalSeconds(2026, 7, 15, 18, 30);
  struct Case {
    double seconds;
    std::u16string_view label;
  };
  const Case cases[] = {
      {double(LocalSeconds(2026, 7, 15, 9, 5)), u"09:05"},
      {double(LocalSeconds(2026, 3, 3, 9, 5)), u"3/3 09:05"},
      {double(LocalSeconds(2024, 3, 3, 9, 5)), u"2024/3/3 09:05"},
      {double(LocalSeconds(2026, 12, 24, 23, 59)), u"12/24 23:59"},
      {LocalSeconds(2026, 7, 15, 0, 0) + 0.75, u"00:00"},
      {std::numeric_limits<double>::quiet_NaN(), u""},
      {std::numeric_limits<double>::infinity(), u""},
      {0, u""},
      {-1, u""},
      {253402300799.0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(FormatMessageTime(c.seconds, now), c.label);
  }
  EXPECT_FALSE(FormatMessageTime(253402300798.0, now).empty());
}

}  // namespace
