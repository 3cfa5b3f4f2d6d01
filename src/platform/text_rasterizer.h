#pragma once
// Rasterising one line of text into a coverage mask, in place of GDI text
// drawn into a DIB section. One rasteriser belongs to one thread: its objects
// never cross threads. The default is Pango + Cairo; tests install their own
// through the process-wide factory.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The UI face: Japanese first, DejaVu for the arrows and symbols the CJK face
// lacks; fontconfig falls back beyond these. The desktop entry uses it too.
inline constexpr const char* kTextFamilies = "Noto Sans CJK JP, DejaVu Sans";

// A font made by a rasteriser for one text height and weight.
class TextFont {
 public:
  virtual ~TextFont() = default;
};

// What a caller asked to draw where; rasterisers that record calls keep it
// (with an owned text).
template <typename Text>
struct BasicTextDraw {
  Text text;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t colour = 0;
  bool centred = false;
};
using TextDrawRequest = BasicTextDraw<std::u16string_view>;

class TextRasterizer {
 public:
  virtual ~TextRasterizer() = default;

  // The font for a box of `height` pixels; centred labels are set heavier.
  // May be null, and a null font still rasterises in the last font used.
  virtual std::unique_ptr<TextFont> CreateFont(int32_t height, bool centred) = 0;

  // The coverage of `text` on one line in a width × height box, vertically
  // centred, left-aligned or centred, cut with an ellipsis when too long:
  // width × height bytes, row by row, 0 no ink to 255 full ink. None when it
  // cannot rasterise. The caller keeps width in 1..540 and height in 1..128.
  virtual std::optional<std::vector<uint8_t>> Rasterize(const TextFont* font,
                                                        std::u16string_view text,
                                                        int32_t width, int32_t height,
                                                        bool centred) = 0;

  // How many characters of `text` no installed font can show.
  virtual int32_t CountMissingGlyphs(std::u16string_view text) = 0;

  // Told of every draw request before its mask is looked up.
  virtual void NoteDraw(const TextDrawRequest& request) { (void)request; }
};

using TextRasterizerFactory = std::function<std::unique_ptr<TextRasterizer>()>;

// Replaces the process-wide factory; an empty one restores Pango + Cairo.
void SetTextRasterizerFactory(TextRasterizerFactory factory);

// A rasteriser for the calling thread from the current factory; null when the
// backend cannot be built.
std::unique_ptr<TextRasterizer> MakeTextRasterizer();

// The Pango + Cairo rasteriser; null when its objects cannot be made.
std::unique_ptr<TextRasterizer> MakePangoTextRasterizer();

// The largest box the Pango rasteriser draws into.
inline constexpr int32_t kTextBoxMaxWidth = 540;
inline constexpr int32_t kTextBoxMaxHeight = 128;

}  // namespace platform
