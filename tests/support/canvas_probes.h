#pragma once
// Checks of drawn phone pictures without stored images.
#include <cstdint>
#include <string>

#include "phone_ui/canvas.h"

namespace quorix_test {

// Every byte 0x11, so that any pixel a renderer writes stands out.
inline constexpr uint32_t kSentinelPixel = 0x11111111;
PhoneCanvas SentinelCanvas();

// `text` drawn with DrawBitmapText at (x, y) and `scale` on a blank canvas
// gives the inked pixels: each must hold `colour` in `canvas`, and no other
// pixel of the label's box may. Reports through ADD_FAILURE.
void ExpectBitmapLabel(const PhoneCanvas& canvas, const std::string& text, int32_t x, int32_t y, int32_t scale,
                       uint32_t colour);

}  // namespace quorix_test
