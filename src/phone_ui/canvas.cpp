#include "phone_ui/canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "phone_ui/canvas_internal.h"

// ---- FrameBuffer ------------------------------------------------------------

FrameBuffer::FrameBuffer(size_t size, uint8_t fill) {
  if (size == 0) return;
  data_.reset(static_cast<uint8_t*>(::operator new[](size, std::align_val_t{kAlignment})));
  size_ = size;
  std::memset(data_.get(), fill, size);
}

FrameBuffer::FrameBuffer(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  data_.reset(static_cast<uint8_t*>(::operator new[](bytes.size(), std::align_val_t{kAlignment})));
  size_ = bytes.size();
  std::memcpy(data_.get(), bytes.data(), size_);
}

FrameBuffer::FrameBuffer(const FrameBuffer& other) {
  if (other.size_ == 0) return;
  data_.reset(static_cast<uint8_t*>(::operator new[](other.size_, std::align_val_t{kAlignment})));
  size_ = other.size_;
  std::memcpy(data_.get(), other.data_.get(), size_);
}

FrameBuffer& FrameBuffer::operator=(const FrameBuffer& other) {
  if (this != &other) *this = FrameBuffer(other);
  return *this;
}

FrameBuffer::FrameBuffer(FrameBuffer&& other) noexcept
    : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}

FrameBuffer& FrameBuffer::operator=(FrameBuffer&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

uint32_t PhoneCanvas::PixelAt(int32_t x, int32_t y) const {
  if (empty() || x < 0 || y < 0 || x >= kCanvasWidth || y >= kCanvasHeight) return 0;
  uint32_t word;
  std::memcpy(&word, data() + canvas_detail::PixelOffset(x, y), 4);
  return word;
}

namespace canvas_detail {

int64_t IntegerSqrt(int64_t value) {
  if (value <= 0) return 0;
  auto root = static_cast<int64_t>(std::sqrt(static_cast<double>(value)));
  while (root > 0 && root * root > value) --root;
  while ((root + 1) * (root + 1) <= value) ++root;
  return root;
}

// Canvas storage comes untyped from operator new and is only ever copied
// bytewise, so its pixels may be written as 32-bit words.
// Wide stores where the processor has them: the bytes are the same. Not in a
// ThreadSanitizer build: the clone's resolver runs while the program is
// still being relocated, before that runtime is up, and would crash there.
#if defined(__SANITIZE_THREAD__)
#define QUORIX_FILL_CLONES
#else
#define QUORIX_FILL_CLONES __attribute__((target_clones("avx2", "default")))
#endif
QUORIX_FILL_CLONES
void FillWords(uint8_t* first, int64_t count, uint32_t colour) {
  uint32_t* p = reinterpret_cast<uint32_t*>(first);
  std::fill(p, p + count, colour);
}

void FillSpan(uint8_t* row, int64_t x0, int64_t x1, uint32_t colour) {
  x0 = std::max<int64_t>(x0, 0);
  x1 = std::min<int64_t>(x1, kCanvasWidth);
  if (x0 < x1) FillWords(row + x0 * 4, x1 - x0, colour);
}

void FillRect64(PhoneCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                uint32_t colour) {
  if (canvas.empty()) return;
  x0 = std::max<int64_t>(x0, 0);
  y0 = std::max<int64_t>(y0, 0);
  x1 = std::min<int64_t>(x1, kCanvasWidth);
  y1 = std::min<int64_t>(y1, kCanvasHeight);
  if (x0 >= x1 || y0 >= y1) return;
  if (x0 == 0 && x1 == kCanvasWidth) {  // whole rows are one span
    FillWords(canvas.data() + y0 * kCanvasStride, (y1 - y0) * kCanvasWidth, colour);
    return;
  }
  for (int64_t y = y0; y < y1; ++y) FillSpan(canvas.data() + y * kCanvasStride, x0, x1, colour);
}

}  // namespace canvas_detail

using canvas_detail::FillRect64;
using canvas_detail::FillSpan;
using canvas_detail::IntegerSqrt;

// ---- Shapes -----------------------------------------------------------------

void FillCanvasRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                    uint32_t colour) {
  FillRect64(canvas, x0, y0, x1, y1, colour);
}

void StrokeCanvasRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      int32_t thickness, uint32_t colour) {
  const int64_t t = thickness;
  FillRect64(canvas, x0, y0, x1, int64_t{y0} + t, colour);
  FillRect64(canvas, x0, int64_t{y1} - t, x1, y1, colour);
  FillRect64(canvas, x0, y0, int64_t{x0} + t, y1, colour);
  FillRect64(canvas, int64_t{x1} - t, y0, x1, y1, colour);
}

// Row by row: the pixels with (x − cx)² + (y − cy)² ≤ r², where (cx, cy) is
// the nearest point of the inner rectangle [x0 + r, x1 − r − 1] ×
// [y0 + r, y1 − r − 1], form one span per row reaching isqrt(r² − dy²) beyond
// the inner rectangle's columns.
void FillRoundedRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     int32_t radius, uint32_t colour) {
  if (canvas.empty() || x1 <= x0 || y1 <= y0) return;
  const int64_t left = x0, top = y0, right = x1, bottom = y1;
  const int64_t r = std::max<int64_t>(
      0, std::min({(bottom - top) / 2, (right - left) / 2, int64_t{radius}}));
  const int64_t inner_left = left + r;
  const int64_t inner_right = std::max(left + r, right - r - 1);
  const int64_t inner_top = top + r;
  const int64_t inner_bottom = std::max(top + r, bottom - r - 1);
  const int64_t row_begin = std::max<int64_t>(top, 0);
  const int64_t row_end = std::min<int64_t>(bottom, kCanvasHeight);
  const int64_t col_begin = std::max<int64_t>(left, 0);
  const int64_t col_end = std::min<int64_t>(right, kCanvasWidth);
  if (col_begin >= col_end) return;
  for (int64_t y = row_begin; y < row_end; ++y) {
    const int64_t cy = std::clamp(y, inner_top, inner_bottom);
    const int64_t dy = y - cy;
    const int64_t reach = dy == 0 ? r : IntegerSqrt(r * r - dy * dy);
    const int64_t span_begin = std::max(inner_left - reach, col_begin);
    const int64_t span_end = std::min(inner_right + reach + 1, col_end);
    if (span_begin < span_end) {
      FillSpan(canvas.data() + y * kCanvasStride, span_begin, span_end, colour);
    }
  }
}

void FillCircle(PhoneCanvas& canvas, int32_t cx, int32_t cy, int32_t r, uint32_t colour) {
  if (canvas.empty() || r < 0) return;
  const int64_t radius = r, centre_x = cx, centre_y = cy;
  const int64_t row_begin = std::max<int64_t>(centre_y - radius, 0);
  const int64_t row_end = std::min<int64_t>(centre_y + radius + 1, kCanvasHeight);
  for (int64_t y = row_begin; y < row_end; ++y) {
    const int64_t dy = y - centre_y;
    const int64_t reach = IntegerSqrt(radius * radius - dy * dy);
    FillSpan(canvas.data() + y * kCanvasStride, centre_x - reach, centre_x + reach + 1, colour);
  }
}

// ---- Bitmap font ------------------------------------------------------------

namespace {

struct BitmapGlyph {
  char character;
  std::array<uint8_t, 7> rows;  // 0x10 is the leftmost of five columns
};

constexpr std::array<BitmapGlyph, 42> kBitmapFont = {{
    {'A', {0b01110, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'B', {0b11110, 0b10001, 0b10001, 0b11110, 0b10001, 0b10001, 0b11110}},
    {'C', {0b01111, 0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b01111}},
    {'D', {0b11110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b11110}},
    {'E', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b11111}},
    {'F', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b10000}},
    {'G', {0b01111, 0b10000, 0b10000, 0b10111, 0b10001, 0b10001, 0b01111}},
    {'H', {0b10001, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'I', {0b11111, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b11111}},
    {'J', {0b00111, 0b00010, 0b00010, 0b00010, 0b10010, 0b10010, 0b01100}},
    {'K', {0b10001, 0b10010, 0b10100, 0b11000, 0b10100, 0b10010, 0b10001}},
    {'L', {0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b11111}},
    {'M', {0b10001, 0b11011, 0b10101, 0b10101, 0b10001, 0b10001, 0b10001}},
    {'N', {0b10001, 0b11001, 0b10101, 0b10011, 0b10001, 0b10001, 0b10001}},
    {'O', {0b01110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'P', {0b11110, 0b10001, 0b10001, 0b11110, 0b10000, 0b10000, 0b10000}},
    {'Q', {0b01110, 0b10001, 0b10001, 0b10001, 0b10101, 0b10010, 0b01101}},
    {'R', {0b11110, 0b10001, 0b10001, 0b11110, 0b10100, 0b10010, 0b10001}},
    {'S', {0b01111, 0b10000, 0b10000, 0b01110, 0b00001, 0b00001, 0b11110}},
    {'T', {0b11111, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100}},
    {'U', {0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'V', {0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01010, 0b00100}},
    {'W', {0b10001, 0b10001, 0b10001, 0b10101, 0b10101, 0b11011, 0b10001}},
    {'X', {0b10001, 0b10001, 0b01010, 0b00100, 0b01010, 0b10001, 0b10001}},
    {'Y', {0b10001, 0b10001, 0b01010, 0b00100, 0b00100, 0b00100, 0b00100}},
    {'Z', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b10000, 0b11111}},
    {'0', {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {'1', {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'2', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {'3', {0b11110, 0b00001, 0b00001, 0b01110, 0b00001, 0b00001, 0b11110}},
    {'4', {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {'5', {0b11111, 0b10000, 0b10000, 0b11110, 0b00001, 0b00001, 0b11110}},
    {'6', {0b01110, 0b10000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {'7', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {'8', {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {'9', {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00001, 0b01110}},
    {'-', {0b00000, 0b00000, 0b00000, 0b11111, 0b00000, 0b00000, 0b00000}},
    {':', {0b00000, 0b00100, 0b00100, 0b00000, 0b00100, 0b00100, 0b00000}},
    {'.', {0b00000, 0b00000, 0b00000, 0b00000, 0b00000, 0b00100, 0b00100}},
    {'/', {0b00001, 0b00010, 0b00010, 0b00100, 0b01000, 0b01000, 0b10000}},
    {'<', {0b00010, 0b00100, 0b01000, 0b10000, 0b01000, 0b00100, 0b00010}},
    {'>', {0b01000, 0b00100, 0b00010, 0b00001, 0b00010, 0b00100, 0b01000}},
}};

constexpr std::array<uint8_t, 7> kBlankGlyph{};

const std::array<uint8_t, 7>& FindGlyph(char byte) {
  for (const BitmapGlyph& glyph : kBitmapFont) {
    if (glyph.character == byte) return glyph.rows;
  }
  return kBlankGlyph;
}

}  // namespace

void DrawBitmapText(PhoneCanvas& canvas, int32_t x, int32_t y, std::string_view text,
                    int32_t scale, uint32_t colour, int32_t max_width) {
  if (canvas.empty()) return;
  const int64_t s = scale;
  int64_t pen = x;
  for (char byte : text) {
    if (byte == ' ') {
      pen += 4 * s;
      continue;
    }
    if (byte >= 'a' && byte <= 'z') byte = static_cast<char>(byte - 'a' + 'A');
    const std::array<uint8_t, 7>& rows = FindGlyph(byte);
    for (int64_t r = 0; r < 7; ++r) {
      for (int64_t c = 0; c < 5; ++c) {
        if ((rows[r] & (0x10 >> c)) == 0) continue;
        FillRect64(canvas, pen + c * s, int64_t{y} + r * s, pen + (c + 1) * s,
                   int64_t{y} + (r + 1) * s, colour);
      }
    }
    pen += 6 * s;
    if (pen - x > max_width) break;
  }
}

// ---- Corner mask and veil ---------------------------------------------------

void ApplyCornerMask(std::span<uint8_t> pixels, uint32_t width, uint32_t height,
                     uint32_t radius) {
  // The products are taken in 64 bits: in 32 they wrap and let a wrong-sized
  // frame or a huge radius through.
  const uint64_t pixel_count = uint64_t{width} * height;
  if (pixels.size() % 4 != 0 || pixels.size() / 4 != pixel_count) return;
  if (radius == 0 || 2 * uint64_t{radius} > width || 2 * uint64_t{radius} > height) return;
  const size_t stride = size_t{width} * 4;
  const float rf = static_cast<float>(radius);
  for (uint32_t r = 0; r < radius; ++r) {
    const float dy = rf - static_cast<float>(r) - 0.5f;
    uint8_t* top = pixels.data() + size_t{r} * stride;
    uint8_t* bottom = pixels.data() + size_t{height - 1 - r} * stride;
    for (uint32_t c = 0; c < radius; ++c) {
      const float dx = rf - static_cast<float>(c) - 0.5f;
      const float d = std::sqrt(dx * dx + dy * dy);
      const float coverage = std::clamp(rf + 0.5f - d, 0.0f, 1.0f);
      const size_t left = size_t{c} * 4 + 3;
      const size_t right = size_t{width - 1 - c} * 4 + 3;
      for (uint8_t* alpha : {top + left, top + right, bottom + left, bottom + right}) {
        *alpha = static_cast<uint8_t>(static_cast<float>(*alpha) * coverage);
      }
    }
  }
}

namespace {

// old × keep + add per byte, truncated. The alpha lane keeps 1 and adds 0, so
// it comes back unchanged. Every lane does the same single-precision
// operations as the one-pixel form, four pixels at a time where SSE2 is there.
void BlendRow(uint8_t* p, int64_t pixels, const float* keep4, const float* add4) {
  int64_t x = 0;
#if defined(__SSE2__)
  const __m128 keep = _mm_loadu_ps(keep4);
  const __m128 add = _mm_loadu_ps(add4);
  const __m128i zero = _mm_setzero_si128();
  auto mix = [&](__m128i words) {
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(words), keep), add));
  };
  for (; x + 4 <= pixels; x += 4, p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    const __m128i first = _mm_packs_epi32(mix(_mm_unpacklo_epi16(low, zero)),
                                          mix(_mm_unpackhi_epi16(low, zero)));
    const __m128i second = _mm_packs_epi32(mix(_mm_unpacklo_epi16(high, zero)),
                                           mix(_mm_unpackhi_epi16(high, zero)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(first, second));
  }
#endif
  for (; x < pixels; ++x, p += 4) {
    for (int k = 0; k < 3; ++k) {
      p[k] = static_cast<uint8_t>(static_cast<float>(p[k]) * keep4[k] + add4[k]);
    }
  }
}

}  // namespace

void BlendCanvasRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     uint32_t colour, float alpha) {
  if (canvas.empty() || std::isnan(alpha)) return;
  const float a = std::clamp(alpha, 0.0f, 1.0f);
  if (a == 0.0f) return;  // old × 1 + c × 0 is old
  const int64_t col_begin = std::max<int64_t>(x0, 0);
  const int64_t col_end = std::min<int64_t>(x1, kCanvasWidth);
  const int64_t row_begin = std::max<int64_t>(y0, 0);
  const int64_t row_end = std::min<int64_t>(y1, kCanvasHeight);
  if (col_begin >= col_end || row_begin >= row_end) return;
  const float keep[4] = {1.0f - a, 1.0f - a, 1.0f - a, 1.0f};
  float add[4] = {0, 0, 0, 0};
  for (int k = 0; k < 3; ++k) add[k] = static_cast<float>((colour >> (8 * k)) & 0xFF) * a;
  for (int64_t y = row_begin; y < row_end; ++y) {
    BlendRow(canvas.data() + y * kCanvasStride + col_begin * 4, col_end - col_begin, keep, add);
  }
}
