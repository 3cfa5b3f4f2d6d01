#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "phone_ui/canvas.h"

namespace {

constexpr uint32_t kRed = 0xFF0000FF;

// The plain per-pixel rules the span fills must match, written with 64-bit
// sums so the reference itself stays defined.
void ReferenceRoundedRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                          int32_t radius, uint32_t colour) {
  if (x1 <= x0 || y1 <= y0) return;
  int64_t r = std::min({(int64_t{y1} - y0) / 2, (int64_t{x1} - x0) / 2, int64_t{radius}});
  if (r < 0) r = 0;
  // Pixels off the canvas are never written, so the loops may skip them.
  for (int64_t y = std::max<int64_t>(y0, 0); y < std::min<int64_t>(y1, kCanvasHeight); ++y) {
    for (int64_t x = std::max<int64_t>(x0, 0); x < std::min<int64_t>(x1, kCanvasWidth); ++x) {
      const int64_t cx = std::max(x0 + r, std::min(x1 - r - 1, x));
      const int64_t cy = std::max(y0 + r, std::min(y1 - r - 1, y));
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r && x >= 0 && y >= 0 &&
          x < kCanvasWidth && y < kCanvasHeight) {
        std::memcpy(canvas.data() + (y * kCanvasWidth + x) * 4, &colour, 4);
      }
    }
  }
}

void ReferenceCircle(PhoneCanvas& canvas, int32_t cx, int32_t cy, int32_t r, uint32_t colour) {
  const int64_t r64 = r;
  if (cy - r64 > cy + r64) return;
  for (int64_t y = std::max<int64_t>(cy - r64, 0); y <= std::min<int64_t>(cy + r64, kCanvasHeight - 1); ++y) {
    for (int64_t x = std::max<int64_t>(cx - r64, 0); x <= std::min<int64_t>(cx + r64, kCanvasWidth - 1); ++x) {
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r64 * r64 && x >= 0 && y >= 0 &&
          x < kCanvasWidth && y < kCanvasHeight) {
        std::memcpy(canvas.data() + (y * kCanvasWidth + x) * 4, &colour, 4);
      }
    }
  }
}

bool SameBytes(const PhoneCanvas& a, const PhoneCanvas& b) {
  return std::memcmp(a.data(), b.data(), kCanvasBytes) == 0;
}

int CountPixels(const PhoneCanvas& canvas, uint32_t colour) {
  int n = 0;
  for (int y = 0; y < kCanvasHeight; ++y)
    for (int x = 0; x < kCanvasWidth; ++x) n += canvas.PixelAt(x, y) == colour;
  return n;
}

TEST(PhoneCanvasTest, LayoutFillAlignmentAndMoves) {
  PhoneCanvas white(255);
  ASSERT_EQ(white.size(), 2'073'600u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(white.data()) % 32, 0u);
  EXPECT_EQ(white.PixelAt(539, 959), 0xFFFFFFFFu);
  PhoneCanvas clear(0);
  FillCanvasRect(clear, 3, 2, 4, 3, 0x44332211);
  const size_t at = (2 * 540 + 3) * 4;
  EXPECT_EQ(clear.data()[at], 0x11);
  EXPECT_EQ(clear.data()[at + 1], 0x22);
  EXPECT_EQ(clear.data()[at + 2], 0x33);
  EXPECT_EQ(clear.data()[at + 3], 0x44);

  PhoneCanvas moved(std::move(clear));
  EXPECT_TRUE(clear.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.PixelAt(3, 2), 0x44332211u);
  // Every primitive leaves the moved-from canvas alone (ASan watches).
  FillCanvasRect(clear, 0, 0, 540, 960, kRed);
  StrokeCanvasRect(clear, 0, 0, 540, 960, 3, kRed);
  FillRoundedRect(clear, 0, 0, 540, 960, 20, kRed);
  FillCircle(clear, 10, 10, 10, kRed);
  DrawBitmapText(clear, 0, 0, "A", 2, kRed, 100);
  BlendCanvasRect(clear, 0, 0, 540, 960, kRed, 0.5f);

  FrameBuffer keyboard(540 * 508 * 4, 0);
  EXPECT_EQ(keyboard.size(), 540u * 508 * 4);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(keyboard.data()) % 32, 0u);
}

TEST(CanvasRectTest, ClipsToTheCanvas) {
  PhoneCanvas canvas(0);
  FillCanvasRect(canvas, -10, -10, 10, 10, kRed);
  EXPECT_EQ(CountPixels(canvas, kRed), 100);
  EXPECT_EQ(canvas.PixelAt(9, 9), kRed);
  EXPECT_EQ(canvas.PixelAt(10, 9), 0u);

  PhoneCanvas wide(0);
  FillCanvasRect(wide, 530, 0, 600, 1, kRed);
  EXPECT_EQ(CountPixels(wide, kRed), 10);
  EXPECT_EQ(wide.PixelAt(539, 0), kRed);

  PhoneCanvas inverted(0);
  FillCanvasRect(inverted, 10, 10, 5, 20, kRed);
  FillCanvasRect(inverted, INT_MIN, INT_MIN, INT_MIN + 1, INT_MAX, kRed);
  EXPECT_EQ(CountPixels(inverted, kRed), 0);
}

TEST(CanvasRectTest, StrokeIsARingOrAFill) {
  PhoneCanvas ring(0);
  StrokeCanvasRect(ring, 10, 10, 30, 40, 3, kRed);
  EXPECT_EQ(ring.PixelAt(10, 10), kRed);
  EXPECT_EQ(ring.PixelAt(12, 20), kRed);
  EXPECT_EQ(ring.PixelAt(13, 20), 0u);
  EXPECT_EQ(ring.PixelAt(27, 20), kRed);
  EXPECT_EQ(ring.PixelAt(20, 37), kRed);
  EXPECT_EQ(ring.PixelAt(20, 36), 0u);
  EXPECT_EQ(CountPixels(ring, kRed), 20 * 30 - 14 * 24);

  PhoneCanvas full(0);
  StrokeCanvasRect(full, 10, 10, 30, 40, 11, kRed);
  EXPECT_EQ(CountPixels(full, kRed), 20 * 30);

  // The band sums would wrap in 32 bits.
  PhoneCanvas extreme(0);
  StrokeCanvasRect(extreme, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, kRed);
  EXPECT_EQ(CountPixels(extreme, kRed), 540 * 960);
}

TEST(CanvasRoundShapesTest, MatchThePerPixelRuleOnRandomInput) {
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int32_t> coordinate(-100, 1060);
  std::uniform_int_distribution<int32_t> radius(-5, 300);
  PhoneCanvas ours(0), reference(0);
  for (int i = 0; i < 10'000; ++i) {
    const uint32_t colour = 0xFF000000u | static_cast<uint32_t>(i);
    if (i % 2 == 0) {
      const int32_t x0 = coordinate(random), y0 = coordinate(random);
      const int32_t x1 = coordinate(random), y1 = coordinate(random);
      const int32_t r = radius(random);
      FillRoundedRect(ours, x0, y0, x1, y1, r, colour);
      ReferenceRoundedRect(reference, x0, y0, x1, y1, r, colour);
    } else {
      const int32_t cx = coordinate(random), cy = coordinate(random), r = radius(random);
      FillCircle(ours, cx, cy, r, colour);
      ReferenceCircle(reference, cx, cy, r, colour);
    }
    if (i % 500 == 499) {
      ASSERT_TRUE(SameBytes(ours, reference)) << "after shape " << i;
    }
  }
  ASSERT_TRUE(SameBytes(ours, reference));
}

TEST(CanvasRoundShapesTest, SmallAndDegenerateCases) {
  // Radius 100 on 40 × 20 becomes 10: the corner pixel stays, edge midpoints fill.
  PhoneCanvas rounded(0);
  FillRoundedRect(rounded, 100, 100, 140, 120, 100, kRed);
  EXPECT_EQ(rounded.PixelAt(100, 100), 0u);
  EXPECT_EQ(rounded.PixelAt(139, 119), 0u);
  EXPECT_EQ(rounded.PixelAt(100, 110), kRed);
  EXPECT_EQ(rounded.PixelAt(120, 100), kRed);
  EXPECT_EQ(rounded.PixelAt(120, 119), kRed);

  PhoneCanvas square(0);
  FillRoundedRect(square, 5, 5, 15, 25, 0, kRed);
  EXPECT_EQ(CountPixels(square, kRed), 200);

  PhoneCanvas dot(0);
  FillCircle(dot, 7, 8, 0, kRed);
  EXPECT_EQ(CountPixels(dot, kRed), 1);
  EXPECT_EQ(dot.PixelAt(7, 8), kRed);

  PhoneCanvas none(0);
  FillCircle(none, 7, 8, -1, kRed);
  FillCircle(none, 7, 8, INT_MIN, kRed);
  FillRoundedRect(none, 10, 10, 10, 20, 3, kRed);
  EXPECT_EQ(CountPixels(none, kRed), 0);
}

TEST(CanvasRoundShapesTest, HugeShapesFillTheCanvasAndReturn) {
  PhoneCanvas disc(0);
  FillCircle(disc, 270, 480, 1'000'000, kRed);
  EXPECT_EQ(CountPixels(disc, kRed), 540 * 960);

  PhoneCanvas rect(0);
  FillRoundedRect(rect, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 50, kRed);
  EXPECT_EQ(CountPixels(rect, kRed), 540 * 960);

  PhoneCanvas far(0);
  FillCircle(far, INT_MAX, INT_MIN, INT_MAX, kRed);
  FillRoundedRect(far, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, kRed);
  EXPECT_GT(CountPixels(far, kRed), 0);
}

}  // namespace
