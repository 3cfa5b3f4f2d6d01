#pragma once
// The phone's Japanese UI texts and their English counterparts, and the two
// process-wide render flags every frame renderer sets at the start of a frame.
#include <span>
#include <string>
#include <string_view>

// Set from the settings record's `english` and `dark` flags by each renderer
// (both false without settings). Main thread only.
extern bool ui_render_english;
extern bool ui_render_dark;

// The English text for `text` while `ui_render_english` is set, else a copy.
// Unknown texts come back unchanged, except the wrist-calibration countdown
// ("<n>秒：...") which becomes "<n>s: face your hand toward you".
std::u16string LocalizeUiText(const std::u16string& text);

struct UiTextEntry {
  std::u16string_view japanese;
  std::u16string_view english;
};

// The table's rows in order.
std::span<const UiTextEntry> UiTextEntries();
