#include "platform/com.h"

#include <optional>

#include "platform/ui_window_test_hooks.h"

namespace platform {
namespace {

thread_local uint32_t depth = 0;
thread_local std::optional<int32_t> next_result;

}  // namespace

int32_t InitializeApartment() {
  if (next_result) {
    const int32_t result = *next_result;
    next_result.reset();
    return result;
  }
  return depth++ == 0 ? kApartmentOk : kApartmentAlreadyEntered;
}

void UninitializeApartment() {
  if (depth > 0) --depth;
}

uint32_t ApartmentDepth() { return depth; }

bool SetPerMonitorDpiAwareness() { return true; }

namespace testing {

void SetNextApartmentResult(int32_t result) { next_result = result; }

}  // namespace testing

}  // namespace platform
