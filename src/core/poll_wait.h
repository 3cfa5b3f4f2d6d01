#pragma once
// Waits by polling a condition, for the shutdown waits on worker counters.
#include <chrono>
#include <cstdint>
#include <functional>

// Polls `done` every `step` until it is true (true) or `milliseconds` passed
// (false). `done` is always asked at least once.
bool PollUntil(uint32_t milliseconds, std::chrono::milliseconds step, const std::function<bool()>& done);
