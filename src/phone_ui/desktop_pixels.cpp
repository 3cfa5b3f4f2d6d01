#include "phone_ui/desktop_pixels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  size_t i = 0;
#if defined(__SSE2__)
  // Four pixels at a time in 16-bit lanes: (x + 127) / 255 is x / 255
  // rounded half up, which is (t + (t >> 8)) >> 8 with t = x + 128 (every
  // step below 2^16).
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i alpha_mask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const auto premultiply = [&](__m128i v) {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
    v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 0, 1, 2)), _MM_SHUFFLE(3, 0, 1, 2));
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(v, a), bias);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  for (; i + 4 <= pixels; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
    __m128i out = _mm_packus_epi16(premultiply(_mm_unpacklo_epi8(p, zero)), premultiply(_mm_unpackhi_epi8(p, zero)));
    out = _mm_or_si128(_mm_andnot_si128(alpha_mask, out), _mm_and_si128(alpha_mask, p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), out);
  }
#endif
  for (; i < pixels; ++i) {
    const uint8_t* s = src + i * 4;
    uint8_t* d = dst + i * 4;
    const uint32_t a = s[3];
    d[0] = static_cast<uint8_t>((s[2] * a + 127) / 255);
    d[1] = static_cast<uint8_t>((s[1] * a + 127) / 255);
    d[2] = static_cast<uint8_t>((s[0] * a + 127) / 255);
    d[3] = static_cast<uint8_t>(a);
  }
}

void ScaleSurface(const uint8_t* src, int src_height, uint8_t* dst, int width, int height) {
  if (width == kFrameWidth && height == src_height) {
    std::memcpy(dst, src, static_cast<size_t>(width) * height * 4);
    return;
  }
  // Separable: each source row is weighted horizontally once (16-bit sums,
  // at most 255 × 256), then each destination row blends two of them; the
  // result equals the four-tap formula bit for bit.
  std::vector<Tap> columns(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) columns[static_cast<size_t>(x)] = TapAt(x, kFrameWidth, width);
  const size_t row_values = static_cast<size_t>(width) * 4;
  std::vector<uint16_t> rows(row_values * 2);
  std::array<int, 2> cached = {-1, -1};
  const size_t src_stride = static_cast<size_t>(kFrameWidth) * 4;
  const auto horizontal = [&](int source_row) -> const uint16_t* {
    for (size_t k = 0; k < 2; ++k) {
      if (cached[k] == source_row) return rows.data() + k * row_values;
    }
    // Replace the row the next destination rows no longer need.
    const size_t k = cached[0] < cached[1] ? 0 : 1;
    cached[k] = source_row;
    uint16_t* out = rows.data() + k * row_values;
    const uint8_t* line = src + static_cast<size_t>(source_row) * src_stride;
    for (const Tap& col : columns) {
      const uint32_t fx = col.f;
      const uint8_t* p0 = line + col.i0 * 4;
      const uint8_t* p1 = line + col.i1 * 4;
#if defined(__SSE2__)
      // Both taps' four channels in 16-bit lanes, times their weights
      // (products at most 255 × 256), the halves added.
      int32_t w0, w1;
      std::memcpy(&w0, p0, 4);
      std::memcpy(&w1, p1, 4);
      const __m128i taps =
          _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(w0), _mm_cvtsi32_si128(w1)), _mm_setzero_si128());
      const __m128i weights = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<int16_t>(256 - fx)),
                                                 _mm_set1_epi16(static_cast<int16_t>(fx)));
      const __m128i products = _mm_mullo_epi16(taps, weights);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_add_epi16(products, _mm_srli_si128(products, 8)));
#else
      for (int c = 0; c < 4; ++c) out[c] = static_cast<uint16_t>(p0[c] * (256 - fx) + p1[c] * fx);
#endif
      out += 4;
    }
    return rows.data() + k * row_values;
  };
  for (int y = 0; y < height; ++y) {
    const Tap row = TapAt(y, src_height, height);
    const uint16_t* top = horizontal(row.i0);
    const uint16_t* bottom = horizontal(row.i1);
    const uint32_t fy = row.f;
    uint8_t* out = dst + static_cast<size_t>(y) * row_values;
    size_t k = 0;
#if defined(__SSE2__)
    // 16 values at a time with pmaddwd, which multiplies signed 16-bit lanes:
    // the sums (at most 65280) go in biased by −32768, and the bias comes
    // back as 32768 × 256 with the rounding term.
    const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    const __m128i weights = _mm_set1_epi32(static_cast<int32_t>(fy << 16 | (256 - fy)));
    const __m128i round = _mm_set1_epi32(32768 * 256 + 32768);
    const auto blend = [&](__m128i t, __m128i b) {
      t = _mm_xor_si128(t, flip);
      b = _mm_xor_si128(b, flip);
      const __m128i lo = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(t, b), weights), round), 16);
      const __m128i hi = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(t, b), weights), round), 16);
      return _mm_packs_epi32(lo, hi);
    };
    for (; k + 16 <= row_values; k += 16) {
      const __m128i first = blend(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + k)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + k)));
      const __m128i second = blend(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + k + 8)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + k + 8)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(first, second));
    }
#endif
    for (; k < row_values; ++k) {
      out[k] = static_cast<uint8_t>((top[k] * (256 - fy) + bottom[k] * fy + 32768) >> 16);
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
