#pragma once
// Proportional text on the canvas: a per-thread rasteriser with a cache of
// coverage masks, the blend into the canvas, and the two text helpers of the
// renderers.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "phone_ui/canvas.h"
#include "platform/text_rasterizer.h"

// Equal keys mean equal masks.
struct TextKey {
  uint8_t centred = 0;
  int32_t height = 0;
  int32_t width = 0;
  std::u16string text;

  friend auto operator<=>(const TextKey&, const TextKey&) = default;
};

struct TextEntry {
  std::vector<uint8_t> mask;  // width × height bytes, row by row
  uint64_t stamp = 0;         // use counter at its last use
};

inline constexpr size_t kTextCacheCapacity = 128;

// One per thread, made by the first GetTextRasterContext on that thread and
// destroyed at its exit: the cache first, then the fonts, then the backend.
struct TextRasterContext {
  std::unique_ptr<platform::TextRasterizer> backend;  // null: nothing is drawn
  std::map<int64_t, std::unique_ptr<platform::TextFont>> fonts;  // height × 2 + centred
  std::map<TextKey, TextEntry, std::less<>> texts;
  uint64_t use_counter = 0;

  TextRasterContext() = default;
  TextRasterContext(const TextRasterContext&) = delete;
  TextRasterContext& operator=(const TextRasterContext&) = delete;
  ~TextRasterContext();
};

// The calling thread's context.
TextRasterContext& GetTextRasterContext();

// Empties the calling thread's text cache; its fonts stay.
void ClearTextCache();

// Destroys the calling thread's context, so the next use builds one from the
// current rasteriser factory. For tests.
void ResetTextRasterContextForTesting();

// The font of (height, centred), made on first request; may be null.
const platform::TextFont* GetTextFont(TextRasterContext& context, int32_t height, bool centred);

// The coverage mask of `text` in a width × height box, from the cache or
// freshly rasterised; null when height is outside 1..128, width outside
// 1..540 or the backend cannot draw. The pointer holds until the next call
// that changes the cache.
const std::vector<uint8_t>* RasterizeText(TextRasterContext& context, std::u16string_view text,
                                          int32_t width, int32_t height, bool centred);

// Blends `colour` through `mask` (width × height) into the canvas at (x, y):
// no ink leaves a pixel, full ink stores the colour, partial ink mixes; alpha
// bytes are never touched and pixels outside the canvas are skipped.
void BlendTextMask(PhoneCanvas& canvas, int32_t x, int32_t y, const uint8_t* mask,
                   int32_t width, int32_t height, uint32_t colour);

// One line of text in the box (x, y, width, height), vertically centred,
// left-aligned or centred, cut with an ellipsis when too long.
void DrawCanvasText(PhoneCanvas& canvas, int32_t x, int32_t y, std::u16string_view text,
                    int32_t width, int32_t height, uint32_t colour, bool centred);

// Left-aligned text in a box max(min(540 − x, max_width), 20) wide.
void DrawTextClipped(PhoneCanvas& canvas, int32_t x, int32_t y, std::u16string_view text,
                     int32_t height, uint32_t colour, int32_t max_width);

// Text centred between x0 and x1; nothing when x1 ≤ x0 or height ≤ 0.
void DrawTextCentered(PhoneCanvas& canvas, int32_t x0, int32_t x1, int32_t y,
                      std::u16string_view text, int32_t height, uint32_t colour);

// UTF-8 message text for drawing; text that is not valid UTF-8 becomes
// "[invalid text]". Empty stays empty.
std::u16string Utf8ToCanvasText(const std::string& text);

// The time label of a message sent at `seconds` (since the epoch), seen at
// `now`: "HH:MM" the same day, "M/D HH:MM" the same year, else
// "YYYY/M/D HH:MM", in local time. Empty for times that are not finite,
// ≤ 0, from year 10000 on, or that cannot be turned into local time.
std::u16string FormatMessageTime(double seconds, int64_t now);
