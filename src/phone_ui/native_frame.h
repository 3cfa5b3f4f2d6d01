#pragma once
// What every native screen of one frame draws with, and the drawers of the
// screens kept in files of their own. Main thread, inside a frame render.
#include <cstdint>
#include <string>
#include <string_view>

#include "phone_ui/canvas_text.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/native_texts.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_text.h"

// What every screen of one frame draws with.
struct NativeFrame {
  PhoneCanvas& canvas;
  const PhoneUi& ui;
  const NativePalette& p;
  quorix_native::Ui::Status status;

  std::u16string_view T(const NativeText& text) const { return ui_render_english ? text.en : text.ja; }
  void Text(int32_t x, int32_t y, std::u16string_view text, int32_t w, int32_t h, uint32_t colour,
            bool centred = false) const {
    DrawCanvasText(canvas, x, y, text, w, h, colour, centred);
  }
  void Clipped(int32_t x, int32_t y, std::u16string_view text, int32_t h, int32_t max, uint32_t colour) const {
    DrawTextClipped(canvas, x, y, text, h, colour, max);
  }
  void Centred(int32_t x0, int32_t x1, int32_t y, std::u16string_view text, int32_t h, uint32_t colour) const {
    DrawTextCentered(canvas, x0, x1, y, text, h, colour);
  }
  void Pill(int32_t x, int32_t y, int32_t w, int32_t h, const NativeText& text, int32_t th, bool primary = false,
            bool enabled = true) const {
    DrawPillButton(canvas, x, y, w, h, T(text), p, primary, false, th, enabled);
  }
  int32_t Presence(const std::string& id) const { return ui.owner != nullptr ? ui.owner->GetFriendPresence(id) : 0; }
};

// Friend requests, friend notifications, settings, pointer and history files.
void DrawFriendRequestsScreen(const NativeFrame& f);
void DrawFriendNotificationsScreen(const NativeFrame& f);
void DrawSettingsScreen(const NativeFrame& f);
void DrawPointerScreen(const NativeFrame& f);
void DrawHistoryFilesScreen(const NativeFrame& f);

// Truncated toward zero (truncate) or rounded halves away from zero, NaN as
// 0, clamped to the int32 range.
int32_t FloatToInt(float value, bool round);
// `value` in decimal with a leading "-" when negative.
std::u16string SignedDecimal(int64_t value);

// A rounded option of the wrist settings page: the accent when selected,
// else the unselected fill, with `japanese` localized and centred.
void DrawOptionButton(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      const std::u16string& japanese, bool selected);
