#pragma once
// The drawing kit of the native screens and the popup cards: the palette in
// its light and dark variants, pill buttons, labelled fields, glyph icons
// drawn with thick lines, the application icon and the avatar discs. Every
// call clips to the 540 × 960 canvas. Main thread, inside a frame render.
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "phone_ui/canvas.h"
#include "session_owner/owner_ui.h"

// Colour words 0xAABBGGRR by role.
struct NativePalette {
  uint32_t background;
  uint32_t surface;        // cards, bottom bar
  uint32_t text;
  uint32_t secondary;      // secondary text
  uint32_t subtle;         // disabled buttons, divider
  uint32_t accent;         // primary buttons, badges
  uint32_t accent_text;    // links, secondary button text, selected tab
  uint32_t accent_soft;    // secondary buttons, focused fields, icon tiles
};

inline constexpr NativePalette kNativePaletteLight = {0xFFFDF9F7, 0xFFFFFFFF, 0xFF422819, 0xFF8C7465,
                                                      0xFFF5ECE7, 0xFFED6823, 0xFFED6823, 0xFFFFF1EA};
inline constexpr NativePalette kNativePaletteDark = {0xFF23140C, 0xFF342014, 0xFFFFF3ED, 0xFFC1AA9B,
                                                     0xFF4A3325, 0xFFDE6928, 0xFFFFAC7E, 0xFF4E2F1B};

inline constexpr uint32_t kNativeWhite = 0xFFFFFFFF;
inline constexpr uint32_t kNativeErrorRed = 0xFF634DD8;
inline constexpr uint32_t kNativeDangerRed = 0xFF644AE7;
inline constexpr uint32_t kNativePresenceGreen = 0xFF70BE20;
inline constexpr uint32_t kNativeBlack = 0xFF000000;

// Glyph kinds; any other value draws the gear.
inline constexpr int32_t kGlyphHouse = 0;
inline constexpr int32_t kGlyphBubble = 1;
inline constexpr int32_t kGlyphPersonPlus = 2;
inline constexpr int32_t kGlyphGear = 3;

const NativePalette& GetNativePalette(bool dark);

// A rounded button with centred text: red when danger, the accent when
// primary, accent soft otherwise; the subtle fill and secondary text when
// disabled, whatever primary and danger say.
void DrawPillButton(PhoneCanvas& canvas, int32_t x, int32_t y, int32_t w, int32_t h, std::u16string_view text,
                    const NativePalette& palette, bool primary, bool danger, int32_t text_height, bool enabled);

// A label at `y` over a rounded input box holding `value`.
void DrawLabeledField(PhoneCanvas& canvas, const NativePalette& palette, int32_t y, std::u16string_view label,
                      std::u16string_view value, bool focused);

// A Bresenham line from (x0, y0) to (x1, y1), ends included, stamped at every
// point with a disc of `radius` (no blending).
void DrawThickLine(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                   int32_t radius);

// Kind 0 house, 1 talk bubble, 2 person with a plus, else a gear, around
// (cx, cy).
void DrawGlyphIcon(PhoneCanvas& canvas, int32_t cx, int32_t cy, int32_t kind, uint32_t colour);

// The application icon scaled into the square (x, y, size, size).
void DrawAppIcon(PhoneCanvas& canvas, int32_t x, int32_t y, int32_t size);

inline constexpr uint32_t kAppIconSide = 256;
inline constexpr size_t kAppIconBytes = size_t{kAppIconSide} * kAppIconSide * 4;

// The straight-RGBA pixels of a 256 × 256 PNG file; empty when the file is
// missing, not a PNG or of another size.
std::vector<uint8_t> LoadAppIconFile(const std::filesystem::path& path);

// The process's icon, loaded on first use from "assets/quorix-icon-256.png"
// beside the executable and never retried; empty when it could not be read.
std::span<const uint8_t> GetAppIconPixels();

// Blends `icon` (kAppIconBytes, else nothing) into the square by nearest
// neighbour and its alpha; the canvas alpha becomes 255. Only the pixels that
// land on the canvas are visited.
void BlendAppIcon(PhoneCanvas& canvas, int32_t x, int32_t y, int64_t size, std::span<const uint8_t> icon);

// The avatar of `user_id` as a disc of diameter `size`.
void DrawAvatar(PhoneCanvas& canvas, int32_t x, int32_t y, int32_t size, const std::string& user_id);

// The avatar with a green dot at its lower right when the owner reports the
// user online.
void DrawAvatarWithPresence(PhoneCanvas& canvas, quorix_native::Ui* owner, const NativePalette& palette, int32_t x,
                            int32_t y, int32_t size, const std::string& user_id);

// `text` cut into at most `max_lines` lines of at most `max_units` UTF-16
// units, never between the halves of a surrogate pair; "…" ends the last
// line when text remains.
std::vector<std::u16string> SplitTextLines(std::u16string_view text, size_t max_lines, size_t max_units);
