#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

TEST(UtcSecondsTest, FollowsTheInstalledClockAcrossLeapDaysAndCenturies) {
  struct Case {
    platform::WallTime utc;
    int64_t seconds;
  } cases[] = {
      {{1970, 1, 1, 0, 0, 0, 999}, 0},
      {{2000, 2, 29, 23, 59, 59, 0}, 951868799},
      {{2025, 3, 3, 9, 5, 0, 0}, 1740992700},
      {{2100, 3, 1, 0, 0, 0, 0}, 4107542400},
  };
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    clock.utc = c.utc;
    clock.local = {1999, 12, 31, 23, 0, 0, 0};  // only UTC counts
    EXPECT_EQ(platform::UtcUnixSeconds(), c.seconds);
  }
  platform::SetClockForTesting(nullptr);
}

}  // namespace
