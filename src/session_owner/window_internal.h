#pragma once
// Helpers the owner's source files share.
#include <chrono>
#include <future>

namespace two_pc {

// A task is collected only when it is valid and finished; polling never waits.
template <typename T>
bool IsReady(const std::future<T>& task) {
  return task.valid() && task.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Waits for a task and drops its result; a task's exception is swallowed.
template <typename T>
void WaitAndDrop(std::future<T>& task) {
  if (!task.valid()) return;
  try {
    task.get();
  } catch (...) {
  }
}

}  // namespace two_pc
