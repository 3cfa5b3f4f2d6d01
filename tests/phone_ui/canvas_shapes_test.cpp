#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "phone_ui/canvas.h"

namespace {

constexpr uint32_t kRed = 0xFF0000FF;

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

// The small and degenerate round shapes are in canvas_shapes_fuzz's edges
// corpus, compared there with the plain rule; here only what 16 bits cannot say.
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
