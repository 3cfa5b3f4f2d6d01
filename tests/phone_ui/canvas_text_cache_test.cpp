// The text cache, the box rules of the drawing calls and the mask blend,
// against the recording rasteriser.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "phone_ui/canvas_text.h"
#include "support/fake_text_rasterizer.h"

namespace {

using test_support::FailingMask;
using test_support::ScopedFakeTextRasterizer;
using test_support::SolidMask;

std::u16string Label(int i) { return u"label " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + std::u16string(i / 26 + 1, u'x'); }

size_t RasterizedCount(ScopedFakeTextRasterizer& fake, const std::u16string& text) {
  size_t n = 0;
  for (const auto& call : fake.log().rasterizations) n += call.text == text;
  return n;
}

TEST(TextCacheTest, HitsEvictionAndClearing) {
  ScopedFakeTextRasterizer fake;
  PhoneCanvas canvas(255);
  DrawCanvasText(canvas, 0, 0, u"Hello", 100, 20, 0xFF000000, false);
  DrawCanvasText(canvas, 0, 40, u"Hello", 100, 20, 0xFF000000, false);
  EXPECT_EQ(fake.rasterize_count(), 1u);
  ASSERT_EQ(fake.log().draws.size(), 2u);
  EXPECT_EQ(fake.log().draws[1].y, 40);

  ClearTextCache();
  DrawCanvasText(canvas, 0, 0, u"Hello", 100, 20, 0xFF000000, false);
  EXPECT_EQ(fake.rasterize_count(), 2u);
  EXPECT_EQ(fake.log().fonts_created, 1);  // fonts outlive the clear

  // 128 labels fill the cache; touching the first makes the second the
  // least recently used, and the 129th label evicts it.
  ClearTextCache();
  TextRasterContext& context = GetTextRasterContext();
  for (int i = 0; i < 128; ++i) ASSERT_NE(RasterizeText(context, Label(i), 50, 20, false), nullptr);
  EXPECT_EQ(context.texts.size(), 128u);
  RasterizeText(context, Label(0), 50, 20, false);
  RasterizeText(context, Label(128), 50, 20, false);
  EXPECT_EQ(context.texts.size(), 128u);
  RasterizeText(context, Label(0), 50, 20, false);
  EXPECT_EQ(RasterizedCount(fake, Label(0)), 1u);
  RasterizeText(context, Label(2), 50, 20, false);
  EXPECT_EQ(RasterizedCount(fake, Label(2)), 1u);
  RasterizeText(context, Label(1), 50, 20, false);
  EXPECT_EQ(RasterizedCount(fake, Label(1)), 2u);
}

TEST(TextCacheTest, EveryKeyPartCounts) {
  ScopedFakeTextRasterizer fake;
  TextRasterContext& context = GetTextRasterContext();
  RasterizeText(context, u"key", 100, 20, false);
  RasterizeText(context, u"key", 100, 20, true);
  RasterizeText(context, u"key", 100, 21, false);
  RasterizeText(context, u"key", 101, 20, false);
  RasterizeText(context, u"key", 100, 20, false);
  EXPECT_EQ(fake.rasterize_count(), 4u);
  EXPECT_EQ(fake.log().fonts_created, 3);  // (20, left), (20, centred), (21, left)
}

TEST(TextCacheTest, BoxLimitsReachNoBackend) {
  ScopedFakeTextRasterizer fake;
  TextRasterContext& context = GetTextRasterContext();
  EXPECT_EQ(RasterizeText(context, u"x", 100, 0, false), nullptr);
  EXPECT_EQ(RasterizeText(context, u"x", 100, 129, false), nullptr);
  EXPECT_EQ(RasterizeText(context, u"x", 0, 20, false), nullptr);
  EXPECT_EQ(RasterizeText(context, u"x", 541, 20, false), nullptr);
  EXPECT_EQ(fake.rasterize_count(), 0u);
  EXPECT_NE(RasterizeText(context, u"x", 540, 128, false), nullptr);
  EXPECT_NE(RasterizeText(context, u"x", 1, 1, false), nullptr);
  EXPECT_EQ(fake.rasterize_count(), 2u);
}

TEST(TextCacheTest, BoxesOfTheClippedAndCentredCalls) {
  ScopedFakeTextRasterizer fake;
  PhoneCanvas canvas(255);
  DrawTextClipped(canvas, 530, 5, u"right edge", 20, 0xFF000000, 300);
  DrawTextClipped(canvas, -50, 5, u"left edge", 20, 0xFF000000, 300);
  DrawTextClipped(canvas, 10, 5, u"", 20, 0xFF000000, 300);
  ASSERT_EQ(fake.log().draws.size(), 2u);
  EXPECT_EQ(fake.log().draws[0].width, 20);
  EXPECT_FALSE(fake.log().draws[0].centred);
  EXPECT_EQ(fake.log().draws[1].width, 300);
  EXPECT_EQ(fake.log().draws[1].x, -50);

  DrawTextCentered(canvas, 100, 100, 5, u"a", 20, 0xFF000000);
  DrawTextCentered(canvas, 100, 50, 5, u"a", 20, 0xFF000000);
  DrawTextCentered(canvas, 0, 100, 5, u"a", 0, 0xFF000000);
  DrawTextCentered(canvas, 0, 100, 5, u"", 20, 0xFF000000);
  EXPECT_EQ(fake.log().draws.size(), 2u);
  DrawTextCentered(canvas, 20, 220, 7, u"title", 18, 0xFF112233);
  ASSERT_EQ(fake.log().draws.size(), 3u);
  const auto& centred = fake.log().draws[2];
  EXPECT_EQ(centred.text, u"title");
  EXPECT_EQ(centred.x, 20);
  EXPECT_EQ(centred.y, 7);
  EXPECT_EQ(centred.width, 200);
  EXPECT_EQ(centred.height, 18);
  EXPECT_EQ(centred.colour, 0xFF112233u);
  EXPECT_TRUE(centred.centred);
}

TEST(TextBlendTest, CoverageValuesFollowTheFormula) {
  const uint8_t values[] = {0, 1, 128, 254, 255};
  ScopedFakeTextRasterizer fake([&](std::u16string_view, int32_t width, int32_t height, bool) {
    std::vector<uint8_t> mask(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = values[i % 5];
    return std::optional(mask);
  });
  const uint32_t colour = 0x7F20C0F0;
  PhoneCanvas canvas(0);
  for (size_t i = 0; i < kCanvasBytes; ++i) canvas.data()[i] = static_cast<uint8_t>(i * 13);
  const PhoneCanvas before = canvas;
  DrawCanvasText(canvas, 3, 4, u"blend", 5, 2, colour, false);
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 5; ++col) {
      const uint8_t m = values[(row * 5 + col) % 5];
      const size_t at = ((size_t(4 + row)) * 540 + 3 + col) * 4;
      for (int k = 0; k < 3; ++k) {
        const uint8_t old = before.data()[at + k];
        const auto c = static_cast<uint8_t>(colour >> (8 * k));
        uint8_t want = old;
        if (m != 0) {
          const float a = m / 255.0f;
          want = static_cast<uint8_t>(c * a + old * (1.0f - a));
        }
        EXPECT_EQ(canvas.data()[at + k], want) << "m=" << int(m) << " k=" << k;
      }
      EXPECT_EQ(canvas.data()[at + 3], before.data()[at + 3]);
    }
  }
}

TEST(TextBlendTest, BoxesHalfOffTheCanvasAndFailingBackends) {
  ScopedFakeTextRasterizer fake(SolidMask(255));
  const uint32_t colour = 0xFF0000FF;
  for (const auto& [x, y] : {std::pair{-10, 100}, std::pair{530, 100}, std::pair{100, -10},
                             std::pair{100, 950}}) {
    PhoneCanvas canvas(0);
    DrawCanvasText(canvas, x, y, u"edge", 20, 20, colour, false);
    int painted = 0;
    for (int py = 0; py < kCanvasHeight; ++py) {
      for (int px = 0; px < kCanvasWidth; ++px) {
        const bool inside = px >= x && px < x + 20 && py >= y && py < y + 20;
        const uint32_t pixel = canvas.PixelAt(px, py);
        ASSERT_EQ(pixel, inside ? 0x000000FFu : 0u) << px << "," << py;
        painted += inside;
      }
    }
    EXPECT_EQ(painted, 200);
  }

  fake.SetScript(FailingMask());
  ClearTextCache();
  PhoneCanvas canvas(0);
  DrawCanvasText(canvas, 0, 0, u"nothing", 100, 20, colour, false);
  EXPECT_EQ(canvas.PixelAt(5, 10), 0u);
}

TEST(TextBlendTest, NoBackendDrawsNothing) {
  platform::SetTextRasterizerFactory([] { return std::unique_ptr<platform::TextRasterizer>(); });
  ResetTextRasterContextForTesting();
  PhoneCanvas canvas(0);
  DrawCanvasText(canvas, 0, 0, u"nothing", 100, 20, 0xFFFFFFFF, false);
  EXPECT_EQ(RasterizeText(GetTextRasterContext(), u"nothing", 100, 20, false), nullptr);
  EXPECT_EQ(canvas.PixelAt(5, 10), 0u);
  ResetTextRasterContextForTesting();
  platform::SetTextRasterizerFactory(nullptr);
}

}  // namespace
