// The bitmap font, the corner mask and the veil.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "phone_ui/canvas.h"

namespace {

constexpr uint32_t kInk = 0xFF00FF00;

// Columns of the canvas row band [y, y + h) holding at least one ink pixel.
std::vector<bool> InkColumns(const PhoneCanvas& canvas, int y, int h) {
  std::vector<bool> ink(kCanvasWidth, false);
  for (int row = y; row < y + h; ++row)
    for (int x = 0; x < kCanvasWidth; ++x)
      if (canvas.PixelAt(x, row) == kInk) ink[x] = true;
  return ink;
}

bool AnyInk(const std::vector<bool>& ink, int from, int to) {
  for (int x = from; x < to; ++x)
    if (ink[x]) return true;
  return false;
}

TEST(BitmapTextTest, AdvancesAndCapitals) {
  PhoneCanvas canvas(0);
  DrawBitmapText(canvas, 10, 20, "ab 1", 2, kInk, 500);
  const std::vector<bool> ink = InkColumns(canvas, 20, 14);
  EXPECT_TRUE(AnyInk(ink, 10, 20));   // A
  EXPECT_TRUE(AnyInk(ink, 22, 32));   // B at x + 12
  EXPECT_FALSE(AnyInk(ink, 32, 42));  // the space and the gap after it
  EXPECT_TRUE(AnyInk(ink, 42, 52));   // 1 at x + 32
  EXPECT_FALSE(AnyInk(ink, 52, kCanvasWidth));

  PhoneCanvas gap(0);
  DrawBitmapText(gap, 0, 0, "A#A", 1, kInk, 500);
  const std::vector<bool> gap_ink = InkColumns(gap, 0, 7);
  EXPECT_FALSE(AnyInk(gap_ink, 5, 12));  // '#' is a blank 6-pixel glyph
  EXPECT_TRUE(AnyInk(gap_ink, 12, 17));
}

TEST(BitmapTextTest, GlyphsCellByCell) {
  const char* const a_rows[7] = {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"};
  const char* const zero_rows[7] = {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."};
  for (const auto& [text, rows] : {std::pair{"A", a_rows}, std::pair{"0", zero_rows}}) {
    PhoneCanvas canvas(0);
    DrawBitmapText(canvas, 100, 200, text, 3, kInk, 100);
    for (int r = 0; r < 7; ++r) {
      for (int c = 0; c < 5; ++c) {
        const bool want = rows[r][c] == '#';
        for (int dy = 0; dy < 3; ++dy)
          for (int dx = 0; dx < 3; ++dx)
            ASSERT_EQ(canvas.PixelAt(100 + c * 3 + dx, 200 + r * 3 + dy) == kInk, want)
                << text << " row " << r << " column " << c;
      }
    }
  }
}

TEST(BitmapTextTest, StopsAfterTheGlyphThatCrossesTheWidth) {
  PhoneCanvas canvas(0);
  // Advances of 6: after the second glyph the pen is 12 > 10 from x.
  DrawBitmapText(canvas, 0, 0, "HHHH", 1, kInk, 10);
  const std::vector<bool> ink = InkColumns(canvas, 0, 7);
  EXPECT_TRUE(AnyInk(ink, 6, 11));
  EXPECT_FALSE(AnyInk(ink, 12, 30));

  PhoneCanvas nothing(0);
  DrawBitmapText(nothing, 0, 0, "HELLO", 0, kInk, 10);
  EXPECT_FALSE(AnyInk(InkColumns(nothing, 0, 10), 0, kCanvasWidth));
}

std::vector<uint8_t> OpaqueFrame(uint32_t width, uint32_t height) {
  std::vector<uint8_t> frame(size_t{width} * height * 4);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(i * 7);
  return frame;
}

TEST(CornerMaskTest, RoundsTheFourCornersOnly) {
  std::vector<uint8_t> frame = OpaqueFrame(540, 960);
  const std::vector<uint8_t> before = frame;
  ApplyCornerMask(frame, 540, 960, 28);
  auto alpha = [&](int x, int y) { return frame[(size_t(y) * 540 + x) * 4 + 3]; };
  EXPECT_EQ(alpha(0, 0), 0);
  EXPECT_EQ(alpha(539, 959), 0);
  EXPECT_EQ(alpha(539, 0), 0);
  EXPECT_EQ(alpha(0, 959), 0);
  EXPECT_EQ(alpha(27, 27), 255);
  EXPECT_EQ(alpha(512, 932), 255);
  bool partial = false;
  for (int y = 0; y < 960; ++y) {
    for (int x = 0; x < 540; ++x) {
      const size_t at = (size_t(y) * 540 + x) * 4;
      for (int k = 0; k < 3; ++k) ASSERT_EQ(frame[at + k], before[at + k]);
      const bool in_corner = (x < 28 || x >= 512) && (y < 28 || y >= 932);
      if (!in_corner) {
        ASSERT_EQ(frame[at + 3], 255) << x << "," << y;
      }
      partial = partial || (frame[at + 3] > 0 && frame[at + 3] < 255);
    }
  }
  EXPECT_TRUE(partial);  // the edge is anti-aliased
  // Mirror symmetry.
  EXPECT_EQ(alpha(5, 9), alpha(534, 9));
  EXPECT_EQ(alpha(5, 9), alpha(5, 950));
}

TEST(CornerMaskTest, RejectsFramesThatDoNotFit) {
  std::vector<uint8_t> frame = OpaqueFrame(540, 20);
  const std::vector<uint8_t> before = frame;
  ApplyCornerMask(frame, 540, 20, 0);
  ApplyCornerMask(frame, 540, 20, 11);  // 22 > 20
  ApplyCornerMask(frame, 540, 21, 5);   // wrong size
  ApplyCornerMask(frame, 540, 20, 0x80000000u);  // doubles to 0 in 32 bits
  EXPECT_EQ(frame, before);

  std::vector<uint8_t> tall = OpaqueFrame(540, 960);
  const std::vector<uint8_t> tall_before = tall;
  ApplyCornerMask(tall, 540, 960, 271);
  EXPECT_EQ(tall, tall_before);

  // 65,536 × 16,384 × 4 wraps to 0 in 32 bits and would match an empty frame.
  std::vector<uint8_t> empty;
  ApplyCornerMask(empty, 65536, 16384, 28);
  EXPECT_TRUE(empty.empty());
  std::vector<uint8_t> odd(7, 255);
  ApplyCornerMask(odd, 1, 1, 0);
  EXPECT_EQ(odd, std::vector<uint8_t>(7, 255));
}

PhoneCanvas Patterned() {
  PhoneCanvas canvas(0);
  uint8_t* p = canvas.data();
  for (size_t i = 0; i < kCanvasBytes; ++i) p[i] = static_cast<uint8_t>((i * 31) ^ (i >> 9));
  return canvas;
}

TEST(VeilTest, BlendsTheColourByTheFormula) {
  const uint32_t colour = 0xFF2D1F1C;
  struct Case { int x0, y0, x1, y1; float alpha; };
  // The veil itself, and a narrow rectangle whose width is no multiple of four.
  for (const Case& v : {Case{0, 64, 540, 900, 0.3f}, Case{3, 5, 10, 9, 0.7f}}) {
    PhoneCanvas canvas = Patterned();
    const PhoneCanvas before = canvas;
    BlendCanvasRect(canvas, v.x0, v.y0, v.x1, v.y1, colour, v.alpha);
    for (int y = 0; y < 960; ++y) {
      for (int x = 0; x < 540; ++x) {
        const size_t at = (size_t(y) * 540 + x) * 4;
        const bool inside = y >= v.y0 && y < v.y1 && x >= v.x0 && x < v.x1;
        for (int k = 0; k < 3; ++k) {
          const float old = before.data()[at + k];
          const float c = static_cast<float>((colour >> (8 * k)) & 0xFF);
          const float mixed = old * (1.0f - v.alpha) + c * v.alpha;
          const auto want = inside ? static_cast<uint8_t>(mixed) : before.data()[at + k];
          ASSERT_EQ(canvas.data()[at + k], want) << x << "," << y;
        }
        ASSERT_EQ(canvas.data()[at + 3], before.data()[at + 3]);
      }
    }
  }
}

TEST(VeilTest, OpacityLimitsAndClipping) {
  const uint32_t colour = 0x80332211;
  PhoneCanvas opaque = Patterned();
  BlendCanvasRect(opaque, 10, 10, 600, 20, colour, 1.5f);
  EXPECT_EQ(opaque.PixelAt(539, 15) & 0xFFFFFF, 0x332211u);
  EXPECT_EQ(opaque.PixelAt(10, 10) & 0xFFFFFF, 0x332211u);
  EXPECT_NE(opaque.PixelAt(9, 10) & 0xFFFFFF, 0x332211u);

  const PhoneCanvas before = Patterned();
  for (float alpha : {-1.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(),
                      -std::numeric_limits<float>::infinity()}) {
    PhoneCanvas canvas = Patterned();
    BlendCanvasRect(canvas, 0, 0, 540, 960, colour, alpha);
    EXPECT_EQ(std::memcmp(canvas.data(), before.data(), kCanvasBytes), 0) << alpha;
  }
  PhoneCanvas infinite = Patterned();
  BlendCanvasRect(infinite, 0, 0, 1, 1, colour, std::numeric_limits<float>::infinity());
  EXPECT_EQ(infinite.PixelAt(0, 0) & 0xFFFFFF, 0x332211u);
  EXPECT_EQ(infinite.PixelAt(0, 0) >> 24, before.PixelAt(0, 0) >> 24);
}

}  // namespace
