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

void SetClockForTesting(Clock* clock) { g_override.store(clock, std::memory_order_release); }

uint64_t ManualClock::TickMs() { return tick_; }
void ManualClock::Advance(uint64_t ms) { tick_ += ms; }
void ManualClock::Set(uint64_t ms) { tick_ = ms; }

}  // namespace platform
