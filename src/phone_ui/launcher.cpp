#include "phone_ui/launcher.h"

#include <algorithm>
#include <cstring>

#include "phone_ui/app_lifecycle.h"
#include "phone_ui/chat_app.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"

namespace {

constexpr int32_t kNoWidthLimit = 10000;

struct Bytes {
  uint8_t r, g, b, a;
};

// Background fills: the first row of the clipped span is written pixel by
// pixel, the others are copies of it.
void FillRows(PhoneCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, Bytes colour) {
  if (canvas.empty()) return;
  x0 = std::max<int64_t>(x0, 0);
  y0 = std::max<int64_t>(y0, 0);
  x1 = std::min<int64_t>(x1, kCanvasWidth);
  y1 = std::min<int64_t>(y1, kCanvasHeight);
  if (x0 >= x1 || y0 >= y1) return;
  uint8_t* first = canvas.data() + static_cast<size_t>(y0) * kCanvasStride + static_cast<size_t>(x0) * 4;
  for (int64_t x = x0; x < x1; ++x) {
    uint8_t* p = first + static_cast<size_t>(x - x0) * 4;
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
    p[3] = colour.a;
  }
  const size_t span = static_cast<size_t>(x1 - x0) * 4;
  if (span == kCanvasStride) {
    // Whole rows lie back to back: copy the rows done so far onto the next
    // ones, doubling each time, so the copies are few and long.
    const size_t total = static_cast<size_t>(y1 - y0) * kCanvasStride;
    for (size_t done = kCanvasStride; done < total; done *= 2) {
      std::memcpy(first + done, first, std::min(done, total - done));
    }
    return;
  }
  for (int64_t y = y0 + 1; y < y1; ++y) {
    std::memcpy(first + static_cast<size_t>(y - y0) * kCanvasStride, first, span);
  }
}

constexpr uint32_t Word(Bytes b) {
  return uint32_t{b.r} | uint32_t{b.g} << 8 | uint32_t{b.b} << 16 | uint32_t{b.a} << 24;
}

uint32_t TileColour(const LauncherTile& tile) { return 0xFF000000u | tile.colour; }

// Positions past the i32 range lie far outside the canvas; clamping keeps
// them there without wrapping back in.
int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -(int64_t{1} << 30), int64_t{1} << 30));
}

void DrawText(PhoneCanvas& canvas, int64_t x, int64_t y, std::string_view text, int32_t scale, uint32_t colour,
              int32_t max_width = kNoWidthLimit) {
  DrawBitmapText(canvas, Clamp32(x), Clamp32(y), text, scale, colour, max_width);
}

void DrawCentered64(PhoneCanvas& canvas, int64_t centre_x, int64_t y, std::string_view text, int32_t scale,
                    uint32_t colour) {
  DrawText(canvas, centre_x - BitmapTextWidth(text, scale) / 2, y, text, scale, colour);
}

void FillRect(PhoneCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour) {
  FillCanvasRect(canvas, Clamp32(x0), Clamp32(y0), Clamp32(x1), Clamp32(y1), colour);
}

constexpr Bytes kPageBackground{247, 248, 253, 255};
constexpr Bytes kButtonDisabled{176, 180, 194, 255};

}  // namespace

const LauncherTile& LauncherTileOf(int64_t app) {
  return kLauncherTiles[static_cast<size_t>(std::clamp<int64_t>(app, 0, 11))];
}

int64_t BitmapTextWidth(std::string_view text, int32_t scale) {
  int64_t width = 0;
  for (char c : text) width += c == ' ' ? 4 : 6;
  return width * scale;
}

void DrawCenteredBitmapText(PhoneCanvas& canvas, int32_t centre_x, int32_t y, std::string_view text,
                            int32_t scale, uint32_t colour) {
  DrawCentered64(canvas, centre_x, y, text, scale, colour);
}

void DrawStatusBar(PhoneCanvas& canvas, std::string_view title) {
  FillRows(canvas, 0, 0, kCanvasWidth, 64, {21, 24, 36, 255});
  const platform::WallTime now = platform::LocalTimeNow();
  const char clock[6] = {static_cast<char>('0' + now.hour / 10 % 10), static_cast<char>('0' + now.hour % 10), ':',
                         static_cast<char>('0' + now.minute / 10 % 10), static_cast<char>('0' + now.minute % 10),
                         0};
  DrawBitmapText(canvas, 20, 20, std::string_view(clock, 5), 3, 0xFFFFF7F5, kNoWidthLimit);
  DrawCenteredBitmapText(canvas, 270, 20, title, 2, 0xFFF0DDD7);
  FillCircle(canvas, 474, 31, 6, 0xFF8CD64F);
  constexpr uint32_t kBattery = Word({225, 230, 242, 255});
  FillCanvasRect(canvas, 492, 22, 520, 40, kBattery);
  FillCanvasRect(canvas, 520, 27, 525, 35, kBattery);
}

void DrawNavigationBar(PhoneCanvas& canvas, bool back_enabled) {
  FillRows(canvas, 0, 900, kCanvasWidth, 960, {20, 23, 33, 255});
  DrawBitmapText(canvas, 44, 922, "<", 3, back_enabled ? 0xFFFFF5F2 : 0xFF73605B, kNoWidthLimit);
  FillCanvasRect(canvas, 230, 931, 310, 937, Word({242, 245, 255, 255}));
}

void DrawPageDots(PhoneCanvas& canvas, uint32_t current_page) {
  constexpr uint32_t kCurrent = Word({89, 118, 255, 255});
  constexpr uint32_t kOther = Word({155, 162, 183, 255});
  FillCircle(canvas, 255, 752, current_page == 0 ? 7 : 4, current_page == 0 ? kCurrent : kOther);
  FillCircle(canvas, 285, 752, current_page == 1 ? 7 : 4, current_page == 1 ? kCurrent : kOther);
}

void DrawAppTile(PhoneCanvas& canvas, int32_t x, int32_t y, const LauncherTile& tile) {
  const int64_t x0 = x;
  const int64_t y0 = y;
  FillRect(canvas, x0, y0, x0 + 112, y0 + 112, TileColour(tile));
  StrokeCanvasRect(canvas, Clamp32(x0), Clamp32(y0), Clamp32(x0 + 112), Clamp32(y0 + 112), 3, 0x5FFFFFFF);
  DrawCentered64(canvas, x0 + 56, y0 + 42, tile.short_label, 2, 0xFFFFFFFF);
  DrawCentered64(canvas, x0 + 56, y0 + 124, tile.label, 1, 0xFF362622);
}

void RenderLauncherHomePage(PhoneCanvas& canvas, uint32_t page, int32_t offset) {
  const int64_t o = offset;
  if (o >= kCanvasWidth || o <= -kCanvasWidth) return;
  const bool first = page == 0;
  FillRows(canvas, std::max<int64_t>(o, 0), 64, std::min<int64_t>(o + kCanvasWidth, kCanvasWidth), 900,
           kPageBackground);
  DrawText(canvas, o + 32, 94, first ? "HOME" : "TOOLS", 4, 0xFF34231F);
  DrawText(canvas, o + 34, 132, first ? "SPATIAL WORKSPACE" : "SYSTEM SHORTCUTS", 1, 0xFF8F766E);
  constexpr int64_t kRows[2] = {190, 440};
  constexpr int64_t kColumns[3] = {42, 214, 386};
  for (int64_t row = 0; row < 2; ++row) {
    for (int64_t column = 0; column < 3; ++column) {
      const int64_t index = int64_t{page} * 6 + row * 3 + column;
      DrawAppTile(canvas, Clamp32(o + kColumns[column]), Clamp32(kRows[row]), LauncherTileOf(index));
    }
  }
  DrawCentered64(canvas, o + 270, 714, first ? "SWIPE LEFT" : "SWIPE RIGHT", 1, 0xFF9E8882);
}

void RenderLauncherDock(PhoneCanvas& canvas, const LauncherTile& first, const LauncherTile& second) {
  FillCanvasRect(canvas, 52, 786, 488, 888, Word({238, 241, 250, 235}));
  StrokeCanvasRect(canvas, 52, 786, 488, 888, 2, 0xFFE5D3CD);
  FillCanvasRect(canvas, 82, 805, 162, 865, Word({78, 94, 235, 255}));
  FillCanvasRect(canvas, 230, 805, 310, 865, TileColour(first));
  FillCanvasRect(canvas, 378, 805, 458, 865, TileColour(second));
  DrawCenteredBitmapText(canvas, 122, 826, "HOME", 1, 0xFFFFFFFF);
  DrawCenteredBitmapText(canvas, 270, 826, "WEB", 1, 0xFFFFFFFF);
  DrawCenteredBitmapText(canvas, 418, 826, "DESK", 1, 0xFFFFFFFF);
}

void RenderAppShell(PhoneCanvas& canvas, uint32_t app, const PhoneAppLifecycle* lifecycle) {
  const uint32_t index = app > 11 ? 0 : app;
  const LauncherTile& tile = kLauncherTiles[index];
  FillRows(canvas, 0, 64, kCanvasWidth, 900, kPageBackground);
  FillCanvasRect(canvas, 38, 106, 502, 206, TileColour(tile));
  DrawBitmapText(canvas, 66, 138, tile.label, 4, 0xFFFFFFFF, kNoWidthLimit);
  FillCanvasRect(canvas, 38, 238, 502, 706, Word({235, 238, 248, 255}));
  StrokeCanvasRect(canvas, 38, 238, 502, 706, 2, 0xFFE7D5CF);
  DrawCenteredBitmapText(canvas, 270, 340, "APP SHELL", 4, 0xFF442F2A);

  struct Line {
    int32_t y;
    std::string_view prefix;
    const char* value;
    uint32_t colour;
  };
  const bool known = lifecycle != nullptr;
  const Line lines[4] = {
      {392, "MANIFEST ", known ? GetAppCatalogEntry(index).id : "-", 0xFF7E635B},
      {438, "STATE ", known ? AppStateName(*lifecycle, index) : "-", 0xFF986852},
      {484, "SURFACE ", known ? AppSurfaceName(index) : "-", 0xFF986852},
      {530, "PLACE ", known ? AppPlacementName(*lifecycle, index) : "-", 0xFF986852},
  };
  for (const Line& line : lines) {
    // Prefix and value are one text: the width limit counts from the prefix.
    char text[64];
    const std::string_view value(line.value);
    const size_t n = std::min(line.prefix.size() + value.size(), sizeof text);
    std::memcpy(text, line.prefix.data(), line.prefix.size());
    std::memcpy(text + line.prefix.size(), value.data(), n - line.prefix.size());
    DrawBitmapText(canvas, 76, line.y, std::string_view(text, n), 2, line.colour, 390);
  }
  DrawCenteredBitmapText(canvas, 270, 582, "CONTENT LATER", 2, 0xFF9E867E);

  const bool can_detach = known && CanDetachApp(*lifecycle, index);
  const bool can_uninstall = known && CanUninstallApp(*lifecycle, index);
  FillCanvasRect(canvas, 58, 630, 205, 692, can_detach ? Word({102, 112, 226, 255}) : Word(kButtonDisabled));
  FillCanvasRect(canvas, 217, 630, 363, 692, Word({82, 91, 123, 255}));
  FillCanvasRect(canvas, 375, 630, 522, 692, can_uninstall ? Word({190, 78, 96, 255}) : Word(kButtonDisabled));
  DrawCenteredBitmapText(canvas, 132, 652, "DETACH", 1, 0xFFFFFFFF);
  DrawCenteredBitmapText(canvas, 290, 652, "CLOSE", 1, 0xFFFFFFFF);
  DrawCenteredBitmapText(canvas, 448, 652, "UNINSTALL", 1, 0xFFFFFFFF);
}

void ComposeLauncherPage(PhoneCanvas& canvas, const PhoneUi& model, bool app_page, uint32_t page, int32_t app) {
  if (app_page) {
    // An index above 11 shows app 0's page, as the shell does.
    RenderAppShell(canvas, static_cast<uint32_t>(app), model.app_lifecycle);
    if (app == 0 || static_cast<uint32_t>(app) > 11) RenderChatAppPage(model, canvas);
    DrawStatusBar(canvas, app < 0 ? "APP" : LauncherTileOf(app).label);
    DrawNavigationBar(canvas, true);
    return;
  }
  RenderLauncherHomePage(canvas, page, 0);
  RenderLauncherDock(canvas, kLauncherTiles[1], kLauncherTiles[2]);
  DrawPageDots(canvas, page);
  DrawStatusBar(canvas, "QUORIXPHONE");
  DrawNavigationBar(canvas, page >= 1);
}
