#include "canvas_probes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorix_test {

PhoneCanvas SentinelCanvas() { return PhoneCanvas(0x11); }

void ExpectBitmapLabel(const PhoneCanvas& canvas, const std::string& text, int32_t x, int32_t y, int32_t scale,
                       uint32_t colour) {
  PhoneCanvas scratch(0);
  DrawBitmapText(scratch, x, y, text, scale, 0xFFFFFFFF, 10000);
  int32_t width = 0;
  for (char c : text) width += (c == ' ' ? 4 : 6) * scale;
  int32_t wrong = 0;
  int32_t inked = 0;
  for (int32_t py = std::max(y, 0); py < std::min(y + 7 * scale, kCanvasHeight); ++py) {
    for (int32_t px = std::max(x, 0); px < std::min(x + width, kCanvasWidth); ++px) {
      const bool ink = scratch.PixelAt(px, py) != 0;
      inked += ink ? 1 : 0;
      if (ink != (canvas.PixelAt(px, py) == colour)) {
        if (++wrong <= 3) {
          ADD_FAILURE() << "label \"" << text << "\" at (" << x << ", " << y << "): pixel (" << px << ", " << py
                        << ") is 0x" << std::hex << canvas.PixelAt(px, py) << std::dec
                        << (ink ? ", expected the ink colour" : ", ink where the font has none");
        }
      }
    }
  }
  if (inked == 0) ADD_FAILURE() << "label \"" << text << "\" inks no pixel inside the canvas";
  if (wrong > 3) ADD_FAILURE() << "label \"" << text << "\": " << wrong << " wrong pixels in all";
}

}  // namespace quorix_test
