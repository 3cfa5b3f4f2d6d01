// Fuzz entry point of the span fills and the thick lines: the input is a list
// of 11-byte shapes, a kind byte (by its value modulo 3) and five little-endian
// int16: x0 y0 x1 y1 radius for a rounded rectangle, cx cy - - r for a circle,
// x0 y0 x1 y1 r for a line (r taken modulo 4). Each is drawn by FillRoundedRect,
// FillCircle or DrawThickLine and by the plain rule below; the canvases must
// stay byte for byte equal.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "phone_ui/canvas.h"
#include "phone_ui/native_kit.h"

namespace {

void Put(PhoneCanvas& canvas, int64_t x, int64_t y, uint32_t colour) {
  std::memcpy(canvas.data() + (y * kCanvasWidth + x) * 4, &colour, 4);
}

// The rules with 64-bit sums, so the reference itself stays defined; pixels
// off the canvas are never written, so the loops skip them.
void ReferenceRoundedRect(PhoneCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t radius,
                          uint32_t colour) {
  if (x1 <= x0 || y1 <= y0) return;
  const int64_t r = std::max<int64_t>(0, std::min({(y1 - y0) / 2, (x1 - x0) / 2, radius}));
  for (int64_t y = std::max<int64_t>(y0, 0); y < std::min<int64_t>(y1, kCanvasHeight); ++y) {
    for (int64_t x = std::max<int64_t>(x0, 0); x < std::min<int64_t>(x1, kCanvasWidth); ++x) {
      const int64_t cx = std::max(x0 + r, std::min(x1 - r - 1, x));
      const int64_t cy = std::max(y0 + r, std::min(y1 - r - 1, y));
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Put(canvas, x, y, colour);
    }
  }
}

void ReferenceCircle(PhoneCanvas& canvas, int64_t cx, int64_t cy, int64_t r, uint32_t colour) {
  for (int64_t y = std::max<int64_t>(cy - r, 0); y <= std::min<int64_t>(cy + r, kCanvasHeight - 1); ++y) {
    for (int64_t x = std::max<int64_t>(cx - r, 0); x <= std::min<int64_t>(cx + r, kCanvasWidth - 1); ++x) {
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Put(canvas, x, y, colour);
    }
  }
}

// The closed form of the integer line: step k of the major axis moves the
// minor axis by k × minor / major rounded half up; a disc of radius r at each.
void ReferenceLine(PhoneCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t r, uint32_t colour) {
  const int64_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0), major = std::max(dx, dy), minor = std::min(dx, dy);
  for (int64_t k = 0; k <= major; ++k) {
    const int64_t m = major == 0 ? 0 : (2 * k * minor + major) / (2 * major);
    const int64_t x = x0 + (x1 >= x0 ? 1 : -1) * (dy > dx ? m : k), y = y0 + (y1 >= y0 ? 1 : -1) * (dy > dx ? k : m);
    for (int64_t v = -r; v <= r; ++v) {
      for (int64_t u = -r; u <= r; ++u) {
        if (u * u + v * v <= r * r && x + u >= 0 && x + u < kCanvasWidth && y + v >= 0 && y + v < kCanvasHeight) {
          Put(canvas, x + u, y + v, colour);
        }
      }
    }
  }
}

int16_t Field(const uint8_t* at, int i) { return static_cast<int16_t>(at[1 + 2 * i] | (at[2 + 2 * i] << 8)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kShape = 11;
  PhoneCanvas ours(0), reference(0);
  for (size_t n = 0; n < size / kShape && n < 4096; ++n) {
    const uint8_t* s = data + n * kShape;
    const uint32_t colour = 0xFF000000u | static_cast<uint32_t>(n + 1);
    if (s[0] % 3 == 0) {
      FillRoundedRect(ours, Field(s, 0), Field(s, 1), Field(s, 2), Field(s, 3), Field(s, 4), colour);
      ReferenceRoundedRect(reference, Field(s, 0), Field(s, 1), Field(s, 2), Field(s, 3), Field(s, 4), colour);
    } else if (s[0] % 3 == 1) {
      FillCircle(ours, Field(s, 0), Field(s, 1), Field(s, 4), colour);
      ReferenceCircle(reference, Field(s, 0), Field(s, 1), Field(s, 4), colour);
    } else {
      const int32_t r = Field(s, 4) & 3;
      DrawThickLine(ours, Field(s, 0), Field(s, 1), Field(s, 2), Field(s, 3), colour, r);
      ReferenceLine(reference, Field(s, 0), Field(s, 1), Field(s, 2), Field(s, 3), r, colour);
    }
    if (std::memcmp(ours.data(), reference.data(), kCanvasBytes) != 0) {
      std::fprintf(stderr, "canvas shapes fuzz: shape %zu differs from the plain rule\n", n);
      std::abort();
    }
  }
  return 0;
}
