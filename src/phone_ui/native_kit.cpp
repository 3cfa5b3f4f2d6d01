#include "phone_ui/native_kit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "chat/avatar_cache.h"
#include "core/environment.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/native_kit_test_hooks.h"
#include "platform/png_codec.h"

namespace {

std::filesystem::path& IconFolderOverride() {
  static std::filesystem::path folder;
  return folder;
}

void StampDisc(PhoneCanvas& canvas, int64_t px, int64_t py, int64_t radius, uint32_t colour) {
  uint8_t* const pixels = canvas.data();
  if (pixels == nullptr) return;
  for (int64_t dy = -radius; dy <= radius; ++dy) {
    const int64_t y = py + dy;
    if (y < 0 || y >= kCanvasHeight) continue;
    for (int64_t dx = -radius; dx <= radius; ++dx) {
      const int64_t x = px + dx;
      if (x < 0 || x >= kCanvasWidth || dx * dx + dy * dy > radius * radius) continue;
      uint8_t* p = pixels + static_cast<size_t>(y) * kCanvasStride + static_cast<size_t>(x) * 4;
      p[0] = static_cast<uint8_t>(colour);
      p[1] = static_cast<uint8_t>(colour >> 8);
      p[2] = static_cast<uint8_t>(colour >> 16);
      p[3] = static_cast<uint8_t>(colour >> 24);
    }
  }
}

}  // namespace

namespace native_kit_test_hooks {
void SetAppIconFolder(const std::filesystem::path& folder) { IconFolderOverride() = folder; }
}  // namespace native_kit_test_hooks

const NativePalette& GetNativePalette(bool dark) { return dark ? kNativePaletteDark : kNativePaletteLight; }

void DrawPillButton(PhoneCanvas& canvas, int32_t x, int32_t y, int32_t w, int32_t h, std::u16string_view text,
                    const NativePalette& palette, bool primary, bool danger, int32_t text_height, bool enabled) {
  uint32_t fill = palette.subtle;
  uint32_t ink = palette.secondary;
  if (enabled) {
    fill = danger ? kNativeDangerRed : primary ? palette.accent : palette.accent_soft;
    ink = primary || danger ? kNativeWhite : palette.accent_text;
  }
  FillRoundedRect(canvas, x, y, x + w, y + h, 15, fill);
  DrawTextCentered(canvas, x + 8, x + w - 8, y - 2 + (h - text_height) / 2, text, text_height, ink);
}

void DrawLabeledField(PhoneCanvas& canvas, const NativePalette& palette, int32_t y, std::u16string_view label,
                      std::u16string_view value, bool focused) {
  if (!label.empty()) DrawCanvasText(canvas, 34, y, label, 465, 18, palette.text, false);
  FillRoundedRect(canvas, 30, y + 29, 510, y + 94, 16, focused ? palette.accent_soft : palette.surface);
  if (!value.empty()) DrawCanvasText(canvas, 50, y + 48, value, 440, 24, palette.text, false);
}

void DrawThickLine(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                   int32_t radius) {
  int64_t x = x0;
  int64_t y = y0;
  const int64_t dx = std::llabs(int64_t{x1} - x0);
  const int64_t dy = -std::llabs(int64_t{y1} - y0);
  const int64_t sx = x0 < x1 ? 1 : -1;
  const int64_t sy = y0 < y1 ? 1 : -1;
  int64_t err = dx + dy;
  for (;;) {
    StampDisc(canvas, x, y, radius, colour);
    if (x == x1 && y == y1) break;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void DrawGlyphIcon(PhoneCanvas& canvas, int32_t cx, int32_t cy, int32_t kind, uint32_t colour) {
  const auto line = [&](int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t radius = 2) {
    DrawThickLine(canvas, cx + ax, cy + ay, cx + bx, cy + by, colour, radius);
  };
  switch (kind) {
    case kGlyphHouse:
      line(-12, 0, 0, -11);
      line(0, -11, 12, 0);
      line(-9, -1, -9, 12);
      line(9, -1, 9, 12);
      line(-9, 12, 9, 12);
      line(0, 5, 0, 12);
      return;
    case kGlyphBubble:
      StrokeCanvasRect(canvas, cx - 12, cy - 9, cx + 13, cy + 10, 2, colour);
      line(-11, 9, -11, 15);
      line(-11, 15, -4, 10);
      line(-5, -3, 5, -3, 1);
      line(-5, 3, 2, 3, 1);
      return;
    case kGlyphPersonPlus:
      FillCircle(canvas, cx - 5, cy - 5, 5, colour);
      line(-14, 12, -13, 5);
      line(-13, 5, -5, 2);
      line(-5, 2, 3, 5);
      line(3, 5, 4, 12);
      line(6, -5, 14, -5);
      line(10, -9, 10, -1);
      return;
    default:
      for (int32_t k = 0; k < 8; ++k) {
        const float a = static_cast<float>(k) * 0.25f * 3.1415927f;
        const float c = std::cos(a);
        const float s = std::sin(a);
        line(static_cast<int32_t>(9.0f * c), static_cast<int32_t>(9.0f * s), static_cast<int32_t>(13.0f * c),
             static_cast<int32_t>(13.0f * s));
      }
      FillCircle(canvas, cx, cy, 9, colour);
      FillCircle(canvas, cx, cy, 5, kNativeWhite);
      return;
  }
}

std::vector<uint8_t> LoadAppIconFile(const std::filesystem::path& path) {
  platform::PngImage image;
  if (platform::DecodePngFile(path, uint64_t{1} << 24, kAppIconSide, kAppIconSide, &image) != platform::PngStatus::kOk ||
      image.width != kAppIconSide || image.height != kAppIconSide || image.rgba.size() != kAppIconBytes) {
    return {};
  }
  return std::move(image.rgba);
}

std::span<const uint8_t> GetAppIconPixels() {
  static std::once_flag once;
  static std::vector<uint8_t> icon;
  std::call_once(once, [] {
    // An exception leaving call_once would make the next caller try again;
    // a failure here is final.
    try {
      const std::filesystem::path& folder = IconFolderOverride();
      icon = LoadAppIconFile((folder.empty() ? GetExecutableDirectory() : folder) / "assets" / "quorix-icon-256.png");
    } catch (...) {
      icon.clear();
    }
  });
  return icon;
}

void BlendAppIcon(PhoneCanvas& canvas, int32_t x, int32_t y, int64_t size, std::span<const uint8_t> icon) {
  if (icon.size() != kAppIconBytes || size < 1 || canvas.data() == nullptr) return;
  const int64_t first_row = std::max<int64_t>(0, -int64_t{y});
  const int64_t end_row = std::min<int64_t>(size, int64_t{kCanvasHeight} - y);
  const int64_t first_column = std::max<int64_t>(0, -int64_t{x});
  const int64_t end_column = std::min<int64_t>(size, int64_t{kCanvasWidth} - x);
  for (int64_t i = first_row; i < end_row; ++i) {
    const auto source_row = static_cast<size_t>(i * kAppIconSide / size);
    uint8_t* row = canvas.data() + static_cast<size_t>(y + i) * kCanvasStride;
    for (int64_t j = first_column; j < end_column; ++j) {
      const uint8_t* s = icon.data() + (source_row * kAppIconSide + static_cast<size_t>(j * kAppIconSide / size)) * 4;
      uint8_t* p = row + static_cast<size_t>(x + j) * 4;
      const uint32_t a = s[3];
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((s[c] * a + p[c] * (255 - a)) / 255);
      p[3] = 255;
    }
  }
}

void DrawAppIcon(PhoneCanvas& canvas, int32_t x, int32_t y, int32_t size) {
  if (size < 1) return;
  BlendAppIcon(canvas, x, y, size, GetAppIconPixels());
}

void DrawAvatar(PhoneCanvas& canvas, int32_t x, int32_t y, int32_t size, const std::string& user_id) {
  quorix_avatar::Draw(canvas.bytes(), kCanvasWidth, x, y, size, quorix_avatar::Find(user_id));
}

void DrawAvatarWithPresence(PhoneCanvas& canvas, quorix_native::Ui* owner, const NativePalette& palette, int32_t x,
                            int32_t y, int32_t size, const std::string& user_id) {
  DrawAvatar(canvas, x, y, size, user_id);
  if (owner == nullptr || owner->GetFriendPresence(user_id) != 2) return;
  const int32_t r = std::max(5, size / 8);
  FillCircle(canvas, x + size - r, y + size - r, r + 2, palette.surface);
  FillCircle(canvas, x + size - r, y + size - r, r, kNativePresenceGreen);
}

std::vector<std::u16string> SplitTextLines(std::u16string_view text, size_t max_lines, size_t max_units) {
  std::vector<std::u16string> lines;
  size_t pos = 0;
  while (lines.size() < max_lines && pos < text.size()) {
    const size_t left = text.size() - pos;
    size_t cut = std::min(left, max_units);
    if (cut < left && cut > 0 && text[pos + cut - 1] >= 0xD800 && text[pos + cut - 1] <= 0xDBFF) --cut;
    if (cut == 0) break;
    lines.emplace_back(text.substr(pos, cut));
    pos += cut;
  }
  if (pos < text.size() && !lines.empty()) lines.back() += u"…";
  return lines;
}
