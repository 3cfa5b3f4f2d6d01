#pragma once
// The keyboard picture: a 540 × 508 frame, rows 297..804 of a transparent
// 540 × 960 work canvas on which the keyboard panel (and, while another
// component's field is edited, the editor bar) is drawn in keyboard-layout
// coordinates, with its corners rounded (radius 27).
#include <cstdint>
#include <string>

#include "phone_ui/canvas.h"
#include "text_input/tsf_draft_bridge.h"
#include "text_input/vr_keyboard.h"

inline constexpr int32_t kKeyboardFrameTop = 297;
inline constexpr int32_t kKeyboardFrameHeight = 508;
inline constexpr size_t kKeyboardFrameBytes = kCanvasStride * kKeyboardFrameHeight;
static_assert(kKeyboardFrameBytes == 1'097'280);

// What another component's field being edited shows in the editor bar.
struct KeyboardEditorView {
  const QuorixVrKeyboard* keyboard = nullptr;  // the editor's copy
  std::u16string label;
  bool commit_pending = false;  // a refused commit waits for a choice or a retry
  bool retry_armed = false;
};

struct KeyboardFrameInputs {
  bool english = false;  // stored into ui_render_english first
  bool dark = false;     // stored into ui_render_dark first
  const QuorixVrKeyboard* keyboard = nullptr;                  // the model's own; required
  const QuorixTsfDraftBridge::State* bridge_state = nullptr;  // none without a bridge
  uint64_t candidate_page = 0;
  const KeyboardEditorView* editor = nullptr;  // none unless an external editor is open
};

// Draws the keyboard panel of `keyboard` on `canvas` (layout coordinates).
// `hide_own_candidates` is set while an external editor is open.
void DrawKeyboardPanel(PhoneCanvas& canvas, const QuorixVrKeyboard& keyboard,
                       const QuorixTsfDraftBridge::State* state, uint64_t requested_page, bool hide_own_candidates);

// The whole picture: the editor's keyboard when one is open, else the model's.
FrameBuffer ComposeKeyboardFrame(const KeyboardFrameInputs& inputs);
