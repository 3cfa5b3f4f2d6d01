#pragma once
// Per-thread apartment set-up and display scaling awareness have no
// counterpart here; the calls exist so the start-up reads the same, and they
// report success.
namespace platform {

[[nodiscard]] bool InitializeApartment();
void UninitializeApartment();
[[nodiscard]] bool SetPerMonitorDpiAwareness();

}  // namespace platform
