#include "platform/clock.h"

#include <time.h>

#include <atomic>

namespace platform {
namespace {

WallTime FromTimespec(const timespec& ts, bool local) {
  tm parts{};
  if (local) {
    localtime_r(&ts.tv_sec, &parts);
  } else {
    gmtime_r(&ts.tv_sec, &parts);
  }
  WallTime out;
  out.year = static_cast<uint32_t>(parts.tm_year + 1900);
  out.month = static_cast<uint32_t>(parts.tm_mon + 1);
  out.day = static_cast<uint32_t>(parts.tm_mday);
  out.hour = static_cast<uint32_t>(parts.tm_hour);
  out.minute = static_cast<uint32_t>(parts.tm_min);
  out.second = static_cast<uint32_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
  out.millisecond = static_cast<uint32_t>(ts.tv_nsec / 1000000);
  return out;
}

class RealClock final : public Clock {
 public:
  uint64_t TickMs() override {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  }
  WallTime LocalNow() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromTimespec(ts, true);
  }
  WallTime UtcNow() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromTimespec(ts, false);
  }
};

std::atomic<Clock*> g_override{nullptr};

Clock& Current() {
  Clock* clock = g_override.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : SystemClock();
}

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

uint64_t TickCount64() { return Current().TickMs(); }
WallTime LocalTimeNow() { return Current().LocalNow(); }
WallTime UtcTimeNow() { return Current().UtcNow(); }

int64_t UtcUnixSeconds() {
  const WallTime t = UtcTimeNow();
  // Days from the civil date, proleptic Gregorian, March-based years.
  const int64_t month = t.month;
  const int64_t year = static_cast<int64_t>(t.year) - (month <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + static_cast<int64_t>(t.day) - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int64_t days = era * 146097 + day_of_era - 719468;
  return days * 86400 + static_cast<int64_t>(t.hour) * 3600 + static_cast<int64_t>(t.minute) * 60 +
         static_cast<int64_t>(t.second);
}

void SetClockForTesting(Clock* clock) { g_override.store(clock, std::memory_order_release); }

uint64_t ManualClock::TickMs() { return tick_; }
void ManualClock::Advance(uint64_t ms) { tick_ += ms; }
void ManualClock::Set(uint64_t ms) { tick_ = ms; }

}  // namespace platform
