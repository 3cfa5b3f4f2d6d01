#include "vr/overlay/overlay_images.h"

#include <algorithm>
#include <cmath>

namespace {

uint8_t Truncate(float value) { return static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f)); }

float Distance(int c, int r, int centre) {
  const float dx = static_cast<float>(c - centre);
  const float dy = static_cast<float>(r - centre);
  return std::sqrt(dx * dx + dy * dy);
}

void Put(std::vector<uint8_t>& image, size_t index, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  image[index * 4 + 0] = r;
  image[index * 4 + 1] = g;
  image[index * 4 + 2] = b;
  image[index * 4 + 3] = a;
}

}  // namespace

std::vector<uint8_t> MakePointerDotImage(bool blue) {
  constexpr int kSize = 128;
  std::vector<uint8_t> image(size_t{kSize} * kSize * 4);
  for (int r = 0; r < kSize; ++r) {
    for (int c = 0; c < kSize; ++c) {
      const float dist = Distance(c, r, 64);
      const uint8_t alpha = Truncate(255.0f * std::clamp(33.0f - dist, 0.0f, 1.0f));
      const size_t index = static_cast<size_t>(r) * kSize + c;
      if (blue) {
        const float i = std::clamp(30.0f - dist, 0.0f, 1.0f);
        Put(image, index, Truncate(32.0f * i), Truncate(128.0f * i), Truncate(255.0f * i), alpha);
      } else {
        Put(image, index, 255, 32, 32, alpha);
      }
    }
  }
  return image;
}

std::vector<uint8_t> MakeLaserImage(bool blue) {
  constexpr int kWidth = 64, kHeight = 8;
  std::vector<uint8_t> image(size_t{kWidth} * kHeight * 4);
  for (int r = 0; r < kHeight; ++r) {
    const uint8_t alpha = Truncate(96.0f * std::min(0.5f * static_cast<float>(std::min(r, 7 - r)), 1.0f));
    for (int c = 0; c < kWidth; ++c) {
      const size_t index = static_cast<size_t>(r) * kWidth + c;
      if (blue) {
        Put(image, index, 32, 128, 255, alpha);
      } else {
        Put(image, index, 255, 32, 32, alpha);
      }
    }
  }
  return image;
}

std::vector<uint8_t> BuildWristRingImage(bool black) {
  constexpr int kSize = 128;
  const uint8_t colour = black ? 0 : 255;
  std::vector<uint8_t> image(size_t{kSize} * kSize * 4);
  for (int r = 0; r < kSize; ++r) {
    for (int c = 0; c < kSize; ++c) {
      const float d = Distance(c, r, 64);
      const uint8_t alpha = Truncate(255.0f * std::clamp(2.5f - std::fabs(d - 53.0f), 0.0f, 1.0f));
      Put(image, static_cast<size_t>(r) * kSize + c, colour, colour, colour, alpha);
    }
  }
  return image;
}
