#pragma once
// The launcher's pieces: two home pages of app tiles, the dock, the page
// dots, the status and navigation bars, and the page of an opened app. Each
// renderer draws into the 540 × 960 canvas with the bitmap font and the
// canvas primitives, keeps no state and takes a horizontal offset where the
// 180 ms page slide moves it. Main thread, inside the frame render.
#include <array>
#include <cstdint>
#include <string_view>

#include "phone_ui/canvas.h"

class PhoneUi;
struct PhoneAppLifecycle;

struct LauncherTile {
  const char* label;
  const char* short_label;
  uint32_t colour;  // 0xRRGGBB; drawn as the colour word 0xFF000000 | colour
};

// In app catalog order.
inline constexpr std::array<LauncherTile, 12> kLauncherTiles = {{
    {"QUORIX", "CHAT", 0xF6585E},
    {"BROWSER", "WEB", 0xE19124},
    {"DESKTOP", "PC", 0x70982C},
    {"NOTES", "NOTE", 0x3F9CEF},
    {"GALLERY", "PHOTO", 0x7D52DB},
    {"TIMER", "TIME", 0xE65C7A},
    {"CALENDAR", "CAL", 0xF08038},
    {"CONTEXT", "VRC", 0xA7A723},
    {"CARDS", "CARD", 0x876F61},
    {"SETTINGS", "SET", 0x70625C},
    {"FOCUS", "FOCUS", 0xF26558},
    {"ABOUT", "INFO", 0x68554B},
}};

// The tile of `app` clamped to 0..11.
const LauncherTile& LauncherTileOf(int64_t app);

// Width of `text` in the bitmap font: 4 for a space, 6 for any other byte,
// times `scale`.
int64_t BitmapTextWidth(std::string_view text, int32_t scale);

// Bitmap text whose centre is at `centre_x` (x = centre − width / 2).
void DrawCenteredBitmapText(PhoneCanvas& canvas, int32_t centre_x, int32_t y, std::string_view text,
                            int32_t scale, uint32_t colour);

// Rows 0..63: the local time as HH:MM, `title` centred, two decorations.
void DrawStatusBar(PhoneCanvas& canvas, std::string_view title);
// Rows 900..959: the back glyph (dim unless `back_enabled`) and the home bar.
void DrawNavigationBar(PhoneCanvas& canvas, bool back_enabled);
// The two dots under the tiles; `current_page` gets the large one.
void DrawPageDots(PhoneCanvas& canvas, uint32_t current_page);
// A 112 × 112 tile with its short label and its label below. Positions are
// signed and summed in 64 bits, so a tile of a page slid off to the left is
// clipped rather than lost.
void DrawAppTile(PhoneCanvas& canvas, int32_t x, int32_t y, const LauncherTile& tile);
// Home page `page` (0 or 1) shifted right by `offset` (−540..540 during a
// slide; a page wholly outside draws nothing).
void RenderLauncherHomePage(PhoneCanvas& canvas, uint32_t page, int32_t offset);
// The dock panel with HOME and the colours of the two given tiles.
void RenderLauncherDock(PhoneCanvas& canvas, const LauncherTile& first, const LauncherTile& second);
// The page of an opened app (an index above 11 shows app 0) with its state
// from `lifecycle`, "-" for each value without one.
void RenderAppShell(PhoneCanvas& canvas, uint32_t app, const PhoneAppLifecycle* lifecycle);

// One launcher page as the frame composer draws it for one side of a slide:
// the page of `app` when `app_page`, else home page `page`, with the bars.
void ComposeLauncherPage(PhoneCanvas& canvas, const PhoneUi& model, bool app_page, uint32_t page, int32_t app);

// t of a launcher transition begun at tick `start`, at tick `now`: the
// elapsed milliseconds (negative as 0) over the slide's length, at most 1.
float LauncherTransitionProgress(uint64_t start, uint64_t now);

// The launcher frame: the current page, a page slide (the new page comes in
// from the right going forward) or an app transition under a veil that
// peaks at the switch, then the call panel of drawing target 0. Leaves the
// render flags as they are.
void RenderLauncherFrame(const PhoneUi& ui, PhoneCanvas& canvas);
