#pragma once
// The phone's pixel buffer and its shape primitives.
//
// A canvas is 540 × 960 pixels, rows top first, 4 bytes a pixel: red, green,
// blue, alpha, straight alpha. Colours are words 0xAABBGGRR, so that a word
// stored little-endian gives the pixel's bytes. Every primitive clips to
// 0 ≤ x < 540, 0 ≤ y < 960 and leaves a moved-from (empty) canvas alone.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>

static_assert(std::endian::native == std::endian::little,
              "a colour word 0xAABBGGRR must store as the bytes R, G, B, A");

inline constexpr int32_t kCanvasWidth = 540;
inline constexpr int32_t kCanvasHeight = 960;
inline constexpr size_t kCanvasStride = static_cast<size_t>(kCanvasWidth) * 4;
inline constexpr size_t kCanvasBytes = kCanvasStride * kCanvasHeight;
static_assert(kCanvasBytes == 2'073'600);

// A fixed-size byte buffer whose storage is aligned to 32 bytes. It is never
// resized; a move leaves the source empty. Frames of other heights (the
// keyboard's 540 × 508, the popups' 540 × 300 and 540 × 200) use it as is.
class FrameBuffer {
 public:
  static constexpr size_t kAlignment = 32;

  FrameBuffer() = default;
  FrameBuffer(size_t size, uint8_t fill);
  // A copy of `bytes`, written once.
  explicit FrameBuffer(std::span<const uint8_t> bytes);
  FrameBuffer(const FrameBuffer& other);
  FrameBuffer& operator=(const FrameBuffer& other);
  FrameBuffer(FrameBuffer&& other) noexcept;
  FrameBuffer& operator=(FrameBuffer&& other) noexcept;
  ~FrameBuffer() = default;

  uint8_t* data() { return data_.get(); }
  const uint8_t* data() const { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<uint8_t> bytes() { return {data_.get(), size_}; }
  std::span<const uint8_t> bytes() const { return {data_.get(), size_}; }

 private:
  struct AlignedDelete {
    void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
  };
  std::unique_ptr<uint8_t[], AlignedDelete> data_;
  size_t size_ = 0;
};

// Exactly 540 × 960 × 4 bytes, created with one fill byte in every byte
// (255 for the phone screen, 0 for the keyboard and popups).
class PhoneCanvas {
 public:
  explicit PhoneCanvas(uint8_t fill) : pixels_(kCanvasBytes, fill) {}

  uint8_t* data() { return pixels_.data(); }
  const uint8_t* data() const { return pixels_.data(); }
  size_t size() const { return pixels_.size(); }
  bool empty() const { return pixels_.empty(); }
  std::span<uint8_t> bytes() { return pixels_.bytes(); }
  std::span<const uint8_t> bytes() const { return pixels_.bytes(); }

  // The four bytes of pixel (x, y) as a colour word; 0 outside or when empty.
  uint32_t PixelAt(int32_t x, int32_t y) const;

  // Hands the pixels over without a copy; the canvas is left empty.
  FrameBuffer TakePixels() { return std::move(pixels_); }

 private:
  FrameBuffer pixels_;
};

// [x0, x1) × [y0, y1) after clipping; every covered pixel becomes `colour`.
void FillCanvasRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                    uint32_t colour);

// Four bands of thickness t: top, bottom, left, right, in that order.
void StrokeCanvasRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      int32_t thickness, uint32_t colour);

// A filled rectangle with circular corners of radius
// max(0, min(height / 2, width / 2, radius)); nothing when empty or inverted.
void FillRoundedRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     int32_t radius, uint32_t colour);

// A hard-edged disc: every pixel with (x − cx)² + (y − cy)² ≤ r².
void FillCircle(PhoneCanvas& canvas, int32_t cx, int32_t cy, int32_t r, uint32_t colour);

// The built-in 5 × 7 font (capitals, digits and - : . / < >), each font pixel
// a scale × scale square, 6 × scale a glyph, 4 × scale a space. Lower-case
// letters draw as capitals, other bytes as a blank glyph. Drawing stops after
// the first glyph that takes the pen more than `max_width` right of x.
void DrawBitmapText(PhoneCanvas& canvas, int32_t x, int32_t y, std::string_view text,
                    int32_t scale, uint32_t colour, int32_t max_width);

// Makes the four corners of a width × height frame transparent along a
// quarter circle of `radius`, scaling their alpha bytes. Does nothing unless
// the frame holds exactly width × height × 4 bytes, radius > 0 and
// 2 × radius fits in both width and height.
void ApplyCornerMask(std::span<uint8_t> pixels, uint32_t width, uint32_t height, uint32_t radius);

// Lays `colour` with opacity alpha (clamped to [0, 1]) over the red, green and
// blue bytes of [x0, x1) × [y0, y1); the alpha bytes stay. A NaN opacity
// changes nothing.
void BlendCanvasRect(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     uint32_t colour, float alpha);
