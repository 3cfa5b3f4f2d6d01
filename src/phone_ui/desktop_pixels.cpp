#include "phone_ui/desktop_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace desktop_pixels {
namespace {

constexpr uint32_t kGripPixel = 0xFF5B7DA5u;

struct Tap {
  int i0;
  int i1;
  uint32_t f;  // weight of i1, 0..256
};

// One bilinear tap along an axis of `from` source pixels shown as `to`.
Tap TapAt(int d, int from, int to) {
  double s = (d + 0.5) * from / to - 0.5;
  s = std::clamp(s, 0.0, static_cast<double>(from - 1));
  const int i0 = static_cast<int>(s);
  const int i1 = std::min(i0 + 1, from - 1);
  const auto f = static_cast<uint32_t>((s - i0) * 256 + 0.5);
  return {i0, i1, f};
}

}  // namespace

void PremultiplySwap(const uint8_t* src, uint8_t* dst, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) {
    const uint32_t a = src[3];
    dst[0] = static_cast<uint8_t>((src[2] * a + 127) / 255);
    dst[1] = static_cast<uint8_t>((src[1] * a + 127) / 255);
    dst[2] = static_cast<uint8_t>((src[0] * a + 127) / 255);
    dst[3] = static_cast<uint8_t>(a);
    src += 4;
    dst += 4;
  }
}

void ScaleSurface(const uint8_t* src, int src_height, uint8_t* dst, int width, int height) {
  if (width == kFrameWidth && height == src_height) {
    std::memcpy(dst, src, static_cast<size_t>(width) * height * 4);
    return;
  }
  std::vector<Tap> columns(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) columns[static_cast<size_t>(x)] = TapAt(x, kFrameWidth, width);
  const size_t src_stride = static_cast<size_t>(kFrameWidth) * 4;
  for (int y = 0; y < height; ++y) {
    const Tap row = TapAt(y, src_height, height);
    const uint8_t* r0 = src + static_cast<size_t>(row.i0) * src_stride;
    const uint8_t* r1 = src + static_cast<size_t>(row.i1) * src_stride;
    const uint32_t fy = row.f;
    uint8_t* out = dst + static_cast<size_t>(y) * width * 4;
    for (const Tap& col : columns) {
      const uint32_t fx = col.f;
      const uint8_t* p00 = r0 + col.i0 * 4;
      const uint8_t* p01 = r0 + col.i1 * 4;
      const uint8_t* p10 = r1 + col.i0 * 4;
      const uint8_t* p11 = r1 + col.i1 * 4;
      for (int c = 0; c < 4; ++c) {
        const uint32_t top = p00[c] * (256 - fx) + p01[c] * fx;
        const uint32_t bottom = p10[c] * (256 - fx) + p11[c] * fx;
        out[c] = static_cast<uint8_t>((top * (256 - fy) + bottom * fy + 32768) >> 16);
      }
      out += 4;
    }
  }
}

void DrawResizeGrip(uint8_t* dst, int width, int height) {
  const int step = std::max(width * 6 / kFrameWidth, 4);
  const int margin = std::max(width * 11 / kFrameWidth, 6);
  for (int line = 1; line <= 3; ++line) {
    const int length = step * line;
    for (int i = 0; i < length; ++i) {
      const int row = height - length - margin + i;
      const int column = width - i - margin;
      if (row < 0 || row >= height || column < 0 || column >= width) continue;
      uint8_t* pixel = dst + (static_cast<size_t>(row) * width + column) * 4;
      if (pixel[3] < 128) continue;
      std::memcpy(pixel, &kGripPixel, 4);
    }
  }
}

bool InResizeGrip(int width, int height, int x, int y) {
  const int grip = std::max(width * 30 / kFrameWidth, 18);
  return x >= width - grip && x < width && y >= height - grip && y < height;
}

int PhoneColumn(int x, int scaled_width) { return x * kFrameWidth / std::max(scaled_width, 1); }

int PhoneRow(int y, int phone_height, int scaled_height) { return y * phone_height / std::max(scaled_height, 1); }

std::vector<Rect> HitRuns(const std::vector<uint8_t>& frame, int kind, int scaled_width, int scaled_height) {
  std::vector<Rect> runs;
  const int phone_height = kPanelHeights[static_cast<size_t>(kind)];
  if (frame.size() != static_cast<size_t>(kFrameWidth) * phone_height * 4) {
    runs.push_back({0, 0, scaled_width, scaled_height});
    return runs;
  }
  std::vector<int> columns(static_cast<size_t>(scaled_width));
  for (int x = 0; x < scaled_width; ++x) columns[static_cast<size_t>(x)] = PhoneColumn(x, scaled_width);
  for (int y = 0; y < scaled_height; ++y) {
    const int phone_row = std::min(PhoneRow(y, phone_height, scaled_height), phone_height - 1);
    const uint8_t* row = frame.data() + static_cast<size_t>(phone_row) * kFrameWidth * 4;
    int start = -1;
    for (int x = 0; x <= scaled_width; ++x) {
      const bool solid =
          x < scaled_width && row[std::min(columns[static_cast<size_t>(x)], kFrameWidth - 1) * 4 + 3] >= kHitAlpha;
      if (solid && start < 0) start = x;
      if (!solid && start >= 0) {
        runs.push_back({start, y, x - start, 1});
        start = -1;
      }
    }
  }
  if (kind == 0) {
    const int grip = std::max(scaled_width * 30 / kFrameWidth, 18);
    runs.push_back({scaled_width - grip, scaled_height - grip, grip, grip});
  }
  return runs;
}

Rect ClampToWorkArea(Rect rect, const WorkArea& area) {
  rect.x = std::max(area.left, std::min(rect.x, area.right - rect.width));
  rect.y = std::max(area.top, std::min(rect.y, area.bottom - rect.height));
  return rect;
}

CreateLayout LayoutForCreate(const WorkArea& area) {
  CreateLayout layout;
  const float scale = std::clamp(static_cast<float>(area.Height() - 70) / 960.0f, kMinScale, 0.9f);
  layout.scale = scale;
  const auto truncated = [scale](int pixels) { return static_cast<int>(scale * static_cast<float>(pixels)); };
  for (int kind = 0; kind < kPanelCount; ++kind) {
    Rect& r = layout.panels[static_cast<size_t>(kind)];
    r.width = truncated(kFrameWidth);
    r.height = truncated(kPanelHeights[static_cast<size_t>(kind)]);
    r.x = area.right - r.width - 24;
    r.y = area.top + 20;
    if (kind == 1) r.y = area.top + 20 + truncated(960) + 8;
    if (kind >= 2) {
      r.x = area.right - (2 * r.width + 42);
      const int base = area.bottom - truncated(624) - 24;
      if (kind == 2) {
        r.y = base - truncated(312);
      } else if (kind == 6) {
        r.y = base - truncated(524);
      } else {
        r.y = base + truncated(212) * (kind - 3);
      }
      r = ClampToWorkArea(r, area);
    }
  }
  return layout;
}

std::optional<float> LimitScale(float requested, const WorkArea& area) {
  if (!std::isfinite(requested)) return std::nullopt;
  const float largest = std::min({kMaxScale, static_cast<float>(area.Height() - 16) / 960.0f,
                                  static_cast<float>(area.Width() - 16) / 540.0f});
  return std::max(std::min(requested, largest), kMinScale);
}

int RoundedScaled(int phone_pixels, float scale) {
  return std::max(static_cast<int>(static_cast<float>(phone_pixels) * scale + 0.5f), 1);
}

}  // namespace desktop_pixels
