#include "phone_ui/keyboard_frame.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "phone_ui/canvas_text.h"
#include "phone_ui/ui_text.h"

namespace {

struct KeyboardPalette {
  uint32_t text;
  uint32_t secondary;
  uint32_t panel;
  uint32_t character_key;
  uint32_t function_key;
  uint32_t highlighted_key;  // the control row's space key
  uint32_t active;           // active tab, shift on
  uint32_t candidate_bar;
  uint32_t other_candidate;
};

constexpr KeyboardPalette kLightKeyboard = {0xFF422819, 0xFF8C7465, 0xFFFDF9F7, 0xFFFFFFFF, 0xFFF5ECE7,
                                            0xFFFFE5D6, 0xFFFFD7BE, 0xFFFFF1EA, 0xFF8F4F24};
constexpr KeyboardPalette kDarkKeyboard = {0xFFFFF3ED, 0xFFC1AA9B, 0xFF23140C, 0xFF49301F, 0xFF4A3325,
                                           0xFF693C1B, 0xFF8A5127, 0xFF342014, 0xFFFFCFB9};

const KeyboardPalette& Palette() { return ui_render_dark ? kDarkKeyboard : kLightKeyboard; }

std::u16string L(const char16_t* text) { return LocalizeUiText(text); }

void DrawTabs(PhoneCanvas& c, const QuorixVrKeyboard& kb, const KeyboardPalette& p) {
  struct Tab {
    int32_t x0, x1;
    const char16_t* label;
    uint32_t layout;
  } tabs[] = {{22, 184, u"かな", kFlickKana}, {190, 369, u"英字", kFlickAlphabet}, {375, 518, u"数字・記号", kFlickDigits}};
  for (const Tab& t : tabs) {
    const bool active = kb.keyboard_kind == kKeyboardFlick && kb.flick_layout == t.layout;
    FillRoundedRect(c, t.x0, 353, t.x1, 400, 12, active ? p.active : p.function_key);
    DrawTextCentered(c, t.x0 + 5, t.x1 - 5, 363, L(t.label), 25, p.text);
  }
}

void DrawCandidates(PhoneCanvas& c, const QuorixVrKeyboard& kb, const QuorixTsfDraftBridge::State* state,
                    uint64_t requested_page, bool hide_own, const KeyboardPalette& p) {
  std::vector<std::u16string> list;
  std::optional<size_t> current;
  if (state != nullptr && state->candidates_present && (state->focused || state->background_candidates)) {
    list = state->candidates;
    if (state->selection_valid) current = state->selected_index;
  } else if (!hide_own) {
    list = kb.GetCandidates();
    current = 0;
  }
  const uint64_t pages = (list.size() + 2) / 3;
  const uint64_t page = pages == 0 ? 0 : std::min(pages - 1, requested_page);
  FillRoundedRect(c, 19, 409, 68, 453, 8, p.function_key);
  FillRoundedRect(c, 470, 409, 519, 453, 8, p.function_key);
  DrawTextCentered(c, 23, 64, 415, u"◀", 25, p.text);
  DrawCanvasText(c, 474, 415, u"▶", 41, 25, p.text, true);
  for (int32_t i = 0; i < 3; ++i) {
    const uint64_t index = 3 * page + static_cast<uint64_t>(i);
    if (index >= list.size()) break;
    const int32_t x = 132 * i;
    if (i > 0) FillCanvasRect(c, x + 72, 414, x + 73, 449, p.function_key);
    DrawTextCentered(c, x + 74, x + 198, 418, list[index], 25, current == index ? p.text : p.other_candidate);
  }
  if (pages > 1) {
    const std::string indicator = std::to_string(page + 1) + "/" + std::to_string(pages);
    DrawTextCentered(c, 437, 470, 455, std::u16string(indicator.begin(), indicator.end()), 14, p.secondary);
  }
}

void DrawQwertyKeys(PhoneCanvas& c, const QuorixVrKeyboard& kb, const KeyboardPalette& p) {
  const bool letters = !kb.qwerty_symbols;
  for (uint32_t key = 0; key < 26; ++key) {
    const std::u16string label = kb.GetKeyLabel(key);
    if (label.empty()) continue;
    const int32_t row = key < 10 ? 0 : key < 19 ? 1 : 2;
    int32_t column = static_cast<int32_t>(key) - (row == 0 ? 0 : row == 1 ? 10 : 19);
    if (row == 2 && letters) ++column;
    const int32_t x = 50 * column;
    const int32_t y = 465 + 88 * row;
    FillRoundedRect(c, x + 20, y, x + 66, y + 77, 10, p.character_key);
    DrawTextCentered(c, x + 22, x + 64, y + 19, label, 30, p.text);
  }
  if (letters) {
    FillRoundedRect(c, 20, 641, 66, 718, 10, kb.shift ? p.active : p.function_key);
    DrawCanvasText(c, 23, 659, kb.shift ? u"⇪" : u"⇧", 40, 30, p.text, true);
    FillRoundedRect(c, 420, 641, 466, 718, 10, p.function_key);
    DrawCanvasText(c, 423, 659, u"⌫", 40, 30, p.text, true);
  }
}

void DrawFlickKeys(PhoneCanvas& c, const QuorixVrKeyboard& kb, bool vr_conversion, const KeyboardPalette& p) {
  for (int32_t row = 0; row < 4; ++row) {
    for (int32_t column = 0; column < 5; ++column) {
      const int32_t x = 100 * column;
      const int32_t y = 465 + 66 * row;
      const bool side = column == 0 || column == 4;
      int32_t bottom = y + 60;
      if (column == 4 && !vr_conversion) {
        if (row == 3) continue;
        if (row == 2) bottom = y + 126;
      }
      FillRoundedRect(c, x + 20, y, x + 114, bottom, 12, side ? p.function_key : p.character_key);
      if (column == 0) {
        static const char16_t* const kThird[3] = {u"ABC", u"☆123", u"あいう"};
        const char16_t* label = row == 0   ? (kb.flick_layout == kFlickDigits ? u"↻" : u"→")
                                : row == 1 ? u"↶"
                                : row == 2 ? kThird[std::min<uint32_t>(kb.flick_layout, 2)]
                                           : u"◎";
        DrawTextCentered(c, x + 23, x + 109, y + 16, L(label), 27, p.text);
      } else if (column == 4) {
        if (row == 0) {
          DrawTextCentered(c, x + 23, x + 109, y + 16, L(u"⌫"), 34, p.text);
        } else if (row == 1) {
          DrawTextCentered(c, x + 23, x + 109, y + 16, L(u"空白"), 27, p.text);
        } else if (vr_conversion) {
          DrawTextCentered(c, x + 23, x + 109, y + 16, L(row == 2 ? u"変換" : u"確定"), 27, p.text);
        } else {
          DrawTextCentered(c, x + 23, x + 109, y + 43, L(u"↵"), 34, p.text);
        }
      } else {
        const uint32_t key = static_cast<uint32_t>(3 * row + column - 1);
        const std::u16string label = kb.GetKeyLabel(key);
        const std::u16string hint = kb.GetKeyHint(key);
        if (!hint.empty()) {
          DrawCanvasText(c, x + 25, y + 7, label, 84, 32, p.text, true);
          DrawCanvasText(c, x + 23, y + 42, hint, 88, 13, p.text, true);
        } else {
          const int32_t size = kb.flick_layout == kFlickAlphabet              ? 25
                               : label == u"小文字" || label == u"゛/゜" ? 23
                               : label.size() < 4                             ? 37
                                                                              : 22;
          DrawCanvasText(c, x + 24, y + 13, label, 86, size, p.text, true);
        }
      }
    }
  }
}

void DrawControlRow(PhoneCanvas& c, const QuorixVrKeyboard& kb, bool vr_conversion, const KeyboardPalette& p) {
  struct Button {
    int32_t x0, x1;
    const char16_t* label;
    int32_t size;
  };
  const char16_t* mode = kb.qwerty_symbols ? u"ABC" : u"123";
  std::vector<Button> buttons;
  int32_t inset = 2;
  int32_t label_y = 754;
  if (kb.keyboard_kind == kKeyboardQwerty && vr_conversion) {
    buttons = {{18, 101, mode, 23},   {104, 177, u"◎", 23}, {181, 334, u"空白", 23},
               {337, 397, u"⌫", 23}, {400, 459, u"確定", 18}, {462, 519, u"変換", 18}};
    label_y = 757;
  } else if (kb.keyboard_kind == kKeyboardQwerty) {
    buttons = {{18, 117, mode, 24}, {120, 230, u"◎", 24}, {234, 358, u"空白", 24}, {362, 436, u"⌫", 24}, {440, 519, u"↵", 24}};
  } else {
    buttons = {{18, 117, u"切替", 24}, {120, 230, u"削除", 24}, {234, 358, u"空白", 24}, {362, 519, u"消去", 24}};
    inset = 4;
  }
  for (size_t i = 0; i < buttons.size(); ++i) {
    const Button& b = buttons[i];
    FillRoundedRect(c, b.x0, 741, b.x1, 793, 10, i == 2 ? p.highlighted_key : p.function_key);
    DrawTextCentered(c, b.x0 + inset, b.x1 - inset, label_y, L(b.label), b.size, p.text);
  }
}

void DrawEditorBar(PhoneCanvas& c, const KeyboardEditorView& editor, const KeyboardPalette& p) {
  FillRoundedRect(c, 18, 304, 116, 346, 9, p.function_key);
  DrawCanvasText(c, 20, 314, ui_render_english ? u"Clear" : u"消去", 94, 19, p.text, true);
  FillRoundedRect(c, 330, 304, 424, 346, 9, p.function_key);
  DrawCanvasText(c, 332, 314, ui_render_english ? u"Apply" : u"適用", 90, 19, p.text, true);
  if (editor.keyboard != nullptr) {
    std::u16string shown = editor.keyboard->GetDisplayText(editor.keyboard->active_field);
    if (shown.size() > 12) {
      size_t from = shown.size() - 12;
      if (shown[from] >= 0xDC00 && shown[from] <= 0xDFFF) ++from;  // keep whole pairs
      shown = u"…" + shown.substr(from);
    }
    if (!shown.empty()) DrawCanvasText(c, 125, 323, shown, 197, 18, p.text, false);
  }
  std::u16string title = editor.label;
  if (editor.commit_pending) {
    title = editor.retry_armed ? (ui_render_english ? u"Retrying…" : u"再試行中…")
                               : (ui_render_english ? u"Choose candidate / retry" : u"候補を選択・再試行");
  }
  if (!title.empty()) DrawCanvasText(c, 125, 304, title, 197, 12, p.text, false);
}

}  // namespace

void DrawKeyboardPanel(PhoneCanvas& canvas, const QuorixVrKeyboard& keyboard,
                       const QuorixTsfDraftBridge::State* state, uint64_t requested_page, bool hide_own_candidates) {
  const KeyboardPalette& p = Palette();
  FillRoundedRect(canvas, 12, 299, 528, 803, 27, p.panel);
  DrawTabs(canvas, keyboard, p);
  FillRoundedRect(canvas, 18, 405, 520, 458, 10, p.candidate_bar);
  FillRoundedRect(canvas, 431, 304, 519, 346, 11, p.function_key);
  DrawTextCentered(canvas, 435, 515, 309, L(u"閉じる"), 20, p.text);
  const bool message = keyboard.active_field == kFieldMessage;
  if (message) DrawCandidates(canvas, keyboard, state, requested_page, hide_own_candidates, p);
  const bool vr_conversion = message && state != nullptr && state->vr_conversion_enabled != 0;
  if (keyboard.keyboard_kind == kKeyboardQwerty) {
    DrawQwertyKeys(canvas, keyboard, p);
  } else {
    DrawFlickKeys(canvas, keyboard, vr_conversion, p);
  }
  DrawControlRow(canvas, keyboard, vr_conversion, p);
}

FrameBuffer ComposeKeyboardFrame(const KeyboardFrameInputs& in) {
  ui_render_english = in.english;
  ui_render_dark = in.dark;
  PhoneCanvas work(0);
  const QuorixVrKeyboard& keyboard =
      in.editor != nullptr && in.editor->keyboard != nullptr ? *in.editor->keyboard : *in.keyboard;
  DrawKeyboardPanel(work, keyboard, in.bridge_state, in.candidate_page, in.editor != nullptr);
  if (in.editor != nullptr) DrawEditorBar(work, *in.editor, Palette());
  FrameBuffer frame(kKeyboardFrameBytes, 0);
  std::memcpy(frame.data(), work.data() + kCanvasStride * kKeyboardFrameTop, kKeyboardFrameBytes);
  ApplyCornerMask(frame.bytes(), kCanvasWidth, kKeyboardFrameHeight, 27);
  return frame;
}
