// Premultiplying is exact for every channel and alpha, in every lane of the
// four-pixel path and in the scalar tail.
#include <gtest/gtest.h>

#include "phone_ui/desktop_pixels.h"

namespace {

TEST(DesktopPixelsExactTest, PremultiplyMatchesTheFormulaForEveryChannelAndAlpha) {
  // Pixel (c, 255 − c, c ^ 0x5A, a) for every c and a, plus three more so
  // the last ones take the scalar path.
  std::vector<uint8_t> src;
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t c = 0; c < 256; ++c) {
      src.insert(src.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(255 - c), static_cast<uint8_t>(c ^ 0x5A),
                             static_cast<uint8_t>(a)});
    }
  }
  src.insert(src.end(), {200, 100, 50, 77, 1, 2, 3, 254, 255, 255, 255, 128});
  std::vector<uint8_t> dst(src.size());
  desktop_pixels::PremultiplySwap(src.data(), dst.data(), src.size() / 4);
  size_t wrong = 0;
  for (size_t i = 0; i < src.size(); i += 4) {
    const uint32_t a = src[i + 3];
    const uint8_t want[4] = {static_cast<uint8_t>((src[i + 2] * a + 127) / 255),
                             static_cast<uint8_t>((src[i + 1] * a + 127) / 255),
                             static_cast<uint8_t>((src[i] * a + 127) / 255), static_cast<uint8_t>(a)};
    for (int k = 0; k < 4; ++k) wrong += dst[i + k] != want[k] ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0u);
}

}  // namespace
