#pragma once
// Random (version 4) GUIDs, the form CoCreateGuid hands out.
#include <array>
#include <cstdint>
#include <optional>

namespace platform {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
};

// 16 bytes from getrandom(2) with the version-4 and variant bits set;
// nothing when the kernel's random source fails.
std::optional<Guid> CreateGuid();

}  // namespace platform
