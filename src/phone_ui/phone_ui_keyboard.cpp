// The phone UI model's keyboard picture and the lending of the draft bridge.
#include "core/ui_settings.h"
#include "phone_ui/keyboard_frame.h"
#include "phone_ui/phone_ui.h"
#include "text_input/tsf_draft_bridge.h"

FrameBuffer PhoneUi::RenderKeyboardFrame() {
  KeyboardFrameInputs in;
  in.english = settings != nullptr && settings->english;
  in.dark = settings != nullptr && settings->dark;
  in.keyboard = &keyboard;
  in.bridge_state = tsf_bridge != nullptr ? tsf_bridge->GetState() : nullptr;
  in.candidate_page = candidate_page;
  KeyboardEditorView editor;
  if (external_editor != nullptr) {
    editor.keyboard = external_editor.get();
    editor.label = external_editor_label;
    editor.commit_pending = editor_retry_commit != 0 || editor_commit_held != 0;
    editor.retry_armed = editor_retry_armed != 0;
    in.editor = &editor;
  }
  return ComposeKeyboardFrame(in);
}

void PhoneUi::AttachTsfBridge(QuorixTsfDraftBridge* bridge) {
  tsf_bridge = bridge;
  bridge_revision = 0;
  if (bridge != nullptr) {
    const QuorixVrKeyboard& active = external_editor != nullptr ? *external_editor : keyboard;
    if (active.active_field == kFieldPassword) {
      tsf_bridge = nullptr;
      return;
    }
    bridge->SyncDraft(active.message);
    bridge_revision = bridge->GetState()->revision;
  }
  dirty = 1;
}

void PhoneUi::DetachTsfBridge() {
  if (tsf_bridge != nullptr) tsf_bridge->CancelComposition();
  tsf_bridge = nullptr;
  bridge_revision = 0;
  candidate_page = 0;
  cached_candidate_count = 0;
  cached_candidate_flag = 0;
}
