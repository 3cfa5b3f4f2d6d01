// Writes the sample chat frame, drawn with the real text rasteriser, to a PNG.
//
//   dump_canvas_frame <output.png>
#include <cstdio>

#include "platform/png_codec.h"
#include "sample_chat_frame.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dump_canvas_frame <output.png>\n");
    return 2;
  }
  PhoneCanvas canvas(255);
  sample_frame::DrawChatFrame(canvas);
  if (platform::WritePngFile(argv[1], kCanvasWidth, kCanvasHeight, canvas.bytes()) !=
      platform::PngStatus::kOk) {
    std::fprintf(stderr, "dump_canvas_frame: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
