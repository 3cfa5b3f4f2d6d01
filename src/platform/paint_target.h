#pragma once
// What a window's paint handler draws on: 32-bit pixel memory in Cairo's
// ARGB32 layout (bytes B G R A on little-endian), rows `stride` bytes apart.
#include <cstdint>

namespace platform::ui {

struct PaintTarget {
  uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes per row, at least width * 4
};

// Copies a top-down width x height buffer of 32-bit pixels (bytes B G R x,
// a BI_RGB bitmap's order) to (x, y), opaque, clipped to the target. Returns
// the number of rows copied.
int32_t SetDIBitsToDevice(PaintTarget& target, int32_t x, int32_t y, int32_t width, int32_t height,
                          const uint8_t* pixels);

}  // namespace platform::ui
