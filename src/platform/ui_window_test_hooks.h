#pragma once
// For tests only: failures of the window layer and the apartment calls that
// a test asks for. Included only by tests and the code behind them.
#include <cstdint>

namespace platform::ui::testing {

// The next RegisterWindowClass fails (kErrorNotEnoughMemory).
void FailNextClassRegistration();
// The next CreateWindowRecord fails.
void FailNextWindowCreation();

}  // namespace platform::ui::testing

namespace platform::testing {

// The calling thread's next InitializeApartment returns `result` without
// entering the apartment.
void SetNextApartmentResult(int32_t result);

}  // namespace platform::testing
