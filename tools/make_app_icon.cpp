// Draws the application icon from shape primitives alone (no text, so no
// font is involved) and writes it as a 256 × 256 PNG with rounded corners.
// The same program gives the same bytes on every run.
//
//   make_app_icon <output.png>
#include <cstdio>
#include <cstring>
#include <vector>

#include "phone_ui/canvas.h"
#include "platform/png_codec.h"

namespace {

constexpr uint32_t kAccentBlue = 0xFFED6823;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr int32_t kSize = 256;
constexpr uint32_t kCornerRadius = 56;

int32_t IntegerSqrt(int32_t value) {
  int32_t root = 0;
  while ((root + 1) * (root + 1) <= value) ++root;
  return root;
}

void DrawChatBubble(PhoneCanvas& canvas) {
  FillRoundedRect(canvas, 96, 44, 216, 128, 34, kWhite);
  // The tail: rows narrowing towards the lower left.
  for (int32_t row = 0; row < 22; ++row) {
    FillCanvasRect(canvas, 112 - row / 2, 120 + row, 146 - row, 121 + row, kWhite);
  }
  for (int32_t dot = 0; dot < 3; ++dot) FillCircle(canvas, 128 + dot * 28, 86, 9, kAccentBlue);
}

void DrawHandset(PhoneCanvas& canvas) {
  // The grip follows a quarter circle around (150, 118) of radius 86, drawn
  // as a chain of discs; an earpiece and a mouthpiece close its ends.
  constexpr int32_t cx = 150, cy = 118, radius = 86;
  for (int32_t x = 64; x <= 150; x += 2) {
    const int32_t y = cy + IntegerSqrt(radius * radius - (x - cx) * (x - cx));
    FillCircle(canvas, x, y, 20, kWhite);
  }
  FillRoundedRect(canvas, 36, 96, 96, 146, 18, kWhite);   // earpiece
  FillRoundedRect(canvas, 126, 180, 176, 238, 18, kWhite);  // mouthpiece
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_app_icon <output.png>\n");
    return 2;
  }
  PhoneCanvas canvas(0);
  FillCanvasRect(canvas, 0, 0, kSize, kSize, kAccentBlue);
  DrawChatBubble(canvas);
  DrawHandset(canvas);

  std::vector<uint8_t> icon(size_t{kSize} * kSize * 4);
  for (int32_t row = 0; row < kSize; ++row) {
    std::memcpy(icon.data() + size_t(row) * kSize * 4, canvas.data() + size_t(row) * kCanvasStride,
                size_t{kSize} * 4);
  }
  ApplyCornerMask(icon, kSize, kSize, kCornerRadius);
  if (platform::WritePngFile(argv[1], kSize, kSize, icon) != platform::PngStatus::kOk) {
    std::fprintf(stderr, "make_app_icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
