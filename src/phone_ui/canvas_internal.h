#pragma once
// Helpers shared by the canvas sources; not for the renderers.
#include <cstddef>
#include <cstdint>

#include "phone_ui/canvas.h"

namespace canvas_detail {

constexpr size_t PixelOffset(int64_t x, int64_t y) {
  return static_cast<size_t>(y) * kCanvasStride + static_cast<size_t>(x) * 4;
}

// The largest s with s² ≤ value; 0 for value ≤ 0.
int64_t IntegerSqrt(int64_t value);

// Writes `colour` to columns [x0, x1) of one canvas row, clipped to the row.
void FillSpan(uint8_t* row, int64_t x0, int64_t x1, uint32_t colour);

// FillCanvasRect on 64-bit coordinates, so that callers' sums cannot wrap.
void FillRect64(PhoneCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                uint32_t colour);

}  // namespace canvas_detail
