#include "platform/paint_target.h"

#include <algorithm>
#include <cstring>

namespace platform::ui {

int32_t SetDIBitsToDevice(PaintTarget& target, int32_t x, int32_t y, int32_t width, int32_t height,
                          const uint8_t* pixels) {
  if (target.pixels == nullptr || pixels == nullptr || width <= 0 || height <= 0 ||
      target.stride < target.width * 4) {
    return 0;
  }
  const int32_t left = std::max(x, 0);
  const int32_t right = std::min<int64_t>(int64_t{x} + width, target.width);
  if (left >= right) return 0;
  int32_t copied = 0;
  for (int32_t row = 0; row < height; ++row) {
    const int64_t ty = int64_t{y} + row;
    if (ty < 0 || ty >= target.height) continue;
    uint8_t* out = target.pixels + ty * target.stride + int64_t{left} * 4;
    const uint8_t* in = pixels + (int64_t{row} * width + (left - x)) * 4;
    for (int32_t col = left; col < right; ++col, out += 4, in += 4) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = 0xFF;
    }
    ++copied;
  }
  return copied;
}

}  // namespace platform::ui
