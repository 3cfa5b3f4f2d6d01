#pragma once
// Tick and wall clocks. The tick clock counts milliseconds since boot,
// including suspend, and never goes back. Tests may install their own clock.
#include <atomic>
#include <cstdint>

namespace platform {

struct WallTime {
  uint32_t year = 0;
  uint32_t month = 0;   // 1..12
  uint32_t day = 0;     // 1..31
  uint32_t hour = 0;
  uint32_t minute = 0;
  uint32_t second = 0;
  uint32_t millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t TickMs() = 0;
  virtual WallTime LocalNow() = 0;
  virtual WallTime UtcNow() = 0;
};

// The system clocks (CLOCK_BOOTTIME, the local time zone, UTC).
Clock& SystemClock();

// Process-wide clock: the installed test clock, else the system clock.
uint64_t TickCount64();
WallTime LocalTimeNow();
WallTime UtcTimeNow();
// UtcTimeNow() as whole seconds since 1970-01-01 00:00 UTC (so a test clock
// pins it too).
int64_t UtcUnixSeconds();

// Installs `clock` for TickCount64/LocalTimeNow/UtcTimeNow; null restores the
// system clock. The caller keeps `clock` alive while it is installed.
void SetClockForTesting(Clock* clock);

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  uint64_t TickMs() override;
  WallTime LocalNow() override { return local; }
  WallTime UtcNow() override { return utc; }
  void Advance(uint64_t ms);
  void Set(uint64_t ms);

  WallTime local{2026, 1, 2, 3, 4, 5, 6};
  WallTime utc{2026, 1, 2, 3, 4, 5, 6};

 private:
  std::atomic<uint64_t> tick_{1000};
};

}  // namespace platform
