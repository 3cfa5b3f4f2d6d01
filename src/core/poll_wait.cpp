#include "core/poll_wait.h"

#include <thread>

bool PollUntil(uint32_t milliseconds, std::chrono::milliseconds step, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}
