#pragma once
// Per-thread apartment set-up and display scaling awareness have no
// counterpart here; the calls exist so the start-up reads the same. The
// apartment calls keep a per-thread count, so every successful
// InitializeApartment is balanced by one UninitializeApartment.
#include <cstdint>

namespace platform {

inline constexpr int32_t kApartmentOk = 0;             // S_OK: the thread's first entry
inline constexpr int32_t kApartmentAlreadyEntered = 1;  // S_FALSE: entered again
inline constexpr int32_t kApartmentChangedMode = static_cast<int32_t>(0x80010106);  // RPC_E_CHANGED_MODE
inline constexpr int32_t kApartmentFailed = static_cast<int32_t>(0x80004005);       // E_FAIL

// kApartmentOk or kApartmentAlreadyEntered (both count and need an
// UninitializeApartment); a test may make it return another result.
[[nodiscard]] int32_t InitializeApartment();
inline bool ApartmentEntered(int32_t result) {
  return result == kApartmentOk || result == kApartmentAlreadyEntered;
}
// Leaves one entry of the calling thread; nothing when it has none.
void UninitializeApartment();
// The calling thread's entry count.
uint32_t ApartmentDepth();
[[nodiscard]] bool SetPerMonitorDpiAwareness();

}  // namespace platform
