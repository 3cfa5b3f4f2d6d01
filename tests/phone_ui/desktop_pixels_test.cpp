#include "phone_ui/desktop_pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace dp = desktop_pixels;

namespace {

std::vector<uint8_t> RandomSurface(int height, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(static_cast<size_t>(dp::kFrameWidth) * height * 4);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// The bilinear rule evaluated for one destination byte on its own.
uint8_t ScaledByte(const std::vector<uint8_t>& src, int h0, int w, int h, int x, int y, int c) {
  const auto axis = [](int d, int from, int to, int* i0, int* i1, uint32_t* f) {
    double s = (d + 0.5) * from / to - 0.5;
    if (s > from - 1) s = from - 1;
    if (s < 0) s = 0;
    *i0 = static_cast<int>(s);
    *i1 = *i0 + 1 < from ? *i0 + 1 : from - 1;
    *f = static_cast<uint32_t>((s - *i0) * 256 + 0.5);
  };
  int x0, x1, y0, y1;
  uint32_t fx, fy;
  axis(x, dp::kFrameWidth, w, &x0, &x1, &fx);
  axis(y, h0, h, &y0, &y1, &fy);
  const auto p = [&](int yy, int xx) -> uint32_t { return src[(static_cast<size_t>(yy) * dp::kFrameWidth + xx) * 4 + c]; };
  return static_cast<uint8_t>(
      (((p(y0, x0) * (256 - fx) + p(y0, x1) * fx) * (256 - fy) + (p(y1, x0) * (256 - fx) + p(y1, x1) * fx) * fy + 32768) >> 16));
}

TEST(DesktopPixelsTest, PremultipliesAndSwapsRedAndBlue) {
  struct Case {
    std::array<uint8_t, 4> in, out;
  } cases[] = {
      {{10, 20, 30, 128}, {15, 10, 5, 128}},
      {{200, 100, 50, 0}, {0, 0, 0, 0}},
      {{1, 2, 255, 255}, {255, 2, 1, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    std::array<uint8_t, 4> out{};
    dp::PremultiplySwap(c.in.data(), out.data(), 1);
    EXPECT_EQ(out, c.out);
  }
}

TEST(DesktopPixelsTest, ScalingMatchesThePerPixelRule) {
  const std::vector<uint8_t> src = RandomSurface(960, 7);
  for (auto [w, h] : {std::pair{486, 864}, std::pair{1080, 1920}}) {
    SCOPED_TRACE(w);
    std::vector<uint8_t> dst(static_cast<size_t>(w) * h * 4);
    dp::ScaleSurface(src.data(), 960, dst.data(), w, h);
    size_t mismatches = 0;
    for (int y = 0; y < h; y += 7) {
      for (int x = 0; x < w; ++x) {
        for (int c = 0; c < 4; ++c) {
          mismatches += dst[(static_cast<size_t>(y) * w + x) * 4 + c] != ScaledByte(src, 960, w, h, x, y, c);
        }
      }
    }
    // The last row and column clamp their second tap.
    for (int x = 0; x < w; ++x) mismatches += dst[(static_cast<size_t>(h - 1) * w + x) * 4] != ScaledByte(src, 960, w, h, x, h - 1, 0);
    EXPECT_EQ(mismatches, 0u);
  }
  std::vector<uint8_t> same(src.size());
  dp::ScaleSurface(src.data(), 960, same.data(), 540, 960);
  EXPECT_EQ(same, src);
}

TEST(DesktopPixelsTest, GripOnlyOverOpaquePixels) {
  const int w = 486, h = 864;
  std::vector<uint8_t> surface(static_cast<size_t>(w) * h * 4, 0);
  // Left half of the surface opaque, right half transparent but for a band.
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) surface[(static_cast<size_t>(y) * w + x) * 4 + 3] = x >= w - 12 ? 200 : 127;
  }
  dp::DrawResizeGrip(surface.data(), w, h);
  const uint8_t grip[4] = {0xA5, 0x7D, 0x5B, 0xFF};
  int drawn = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &surface[(static_cast<size_t>(y) * w + x) * 4];
      if (std::memcmp(p, grip, 4) != 0) continue;
      ++drawn;
      EXPECT_GE(x, w - 12) << "grip over a pixel below alpha 128 at " << x << "," << y;
    }
  }
  EXPECT_GT(drawn, 0);
}

TEST(DesktopPixelsTest, HitRunsFollowTheAlphaThreshold) {
  // A popup frame (slot 1): column 0..99 alpha 19, the rest alpha 20.
  std::vector<uint8_t> frame(static_cast<size_t>(dp::kFrameWidth) * 200 * 4, 0);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < dp::kFrameWidth; ++x) frame[(static_cast<size_t>(y) * dp::kFrameWidth + x) * 4 + 3] = x < 100 ? 19 : 20;
  }
  const auto runs = dp::HitRuns(frame, 3, 540, 200);
  ASSERT_EQ(runs.size(), 200u);  // one run a row, no grip on a popup
  EXPECT_EQ(runs[0], (dp::Rect{100, 0, 440, 1}));
  EXPECT_EQ(dp::HitRuns({}, 0, 486, 864), std::vector<dp::Rect>{(dp::Rect{0, 0, 486, 864})});
  const auto phone = dp::HitRuns(std::vector<uint8_t>(static_cast<size_t>(540) * 960 * 4, 0), 0, 486, 864);
  EXPECT_EQ(phone, std::vector<dp::Rect>{(dp::Rect{486 - 27, 864 - 27, 27, 27})});
}

TEST(DesktopPixelsTest, CreateLayoutOnAWorkArea) {
  const dp::CreateLayout layout = dp::LayoutForCreate({0, 0, 1920, 1040});
  EXPECT_FLOAT_EQ(layout.scale, 0.9f);
  EXPECT_EQ(layout.panels[0], (dp::Rect{1410, 20, 486, 864}));
  EXPECT_EQ(layout.panels[1], (dp::Rect{1410, 892, 486, 457}));
  EXPECT_EQ(layout.panels[2], (dp::Rect{906, 175, 486, 270}));
  EXPECT_EQ(layout.panels[6].x, 906);
  EXPECT_EQ(layout.panels[6].y, 0);  // above the work area, clamped in
  EXPECT_FLOAT_EQ(dp::LayoutForCreate({0, 0, 800, 400}).scale, 0.4f);
}

TEST(DesktopPixelsTest, ScaleLimits) {
  const dp::WorkArea area{0, 0, 1920, 1080};
  struct Case {
    float requested;
    std::optional<float> stored;
  } cases[] = {
      {5.0f, 1064.0f / 960.0f},
      {0.1f, 0.4f},
      {0.75f, 0.75f},
      {std::numeric_limits<float>::quiet_NaN(), std::nullopt},
      {std::numeric_limits<float>::infinity(), std::nullopt},
      {-std::numeric_limits<float>::infinity(), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested);
    const std::optional<float> got = dp::LimitScale(c.requested, area);
    ASSERT_EQ(got.has_value(), c.stored.has_value());
    if (got) {
      EXPECT_FLOAT_EQ(*got, *c.stored);
    }
  }
  const float largest = *dp::LimitScale(5.0f, area);
  EXPECT_EQ(dp::RoundedScaled(540, largest), 599);
  EXPECT_EQ(dp::RoundedScaled(960, largest), 1064);
}

}  // namespace
