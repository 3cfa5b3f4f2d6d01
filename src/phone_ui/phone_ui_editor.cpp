// Editing of the phone's text fields and of other components' fields (the
// external editor), and the mirroring of the message into the draft bridge.
#include <algorithm>
#include <iostream>

#include "core/secret_text.h"
#include "core/text.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "text_input/tsf_draft_bridge.h"

namespace {

constexpr uint64_t kEditorRetryMs = 200;

// Room for the longest field, so a copy never sits in the inline buffer or
// grows into a new one.
SecretWideText FieldCopy(std::u16string_view text) { return SecretWideText(text, kMessageLimit); }

bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

bool PhoneUi::OpenExternalEditor(uint64_t id, std::u16string text, bool secret, std::u16string label,
                                 EditorCallback callback, uint64_t start, uint64_t end) {
  // The offered text may be a password: it is zero-filled however this ends.
  const SecretWideText offered(std::move(text));
  const std::u16string& value = offered.text();
  if (id == 0 || !callback || value.size() > (secret ? kPasswordLimit : kMessageLimit) || !IsWellFormedText(value)) {
    return false;
  }
  if (start == kNoSelection) start = value.size();
  if (end == kNoSelection) end = start;
  if (start > end || !IsUtf16Boundary(value, start) || !IsUtf16Boundary(value, end)) return false;
  if (external_editor != nullptr) {
    if (external_editor_id == id) return true;
    CloseExternalEditor(external_editor_id);
  }
  DetachTsfBridge();

  auto editor = std::make_unique<QuorixVrKeyboard>(keyboard);
  editor->WipePassword();
  editor->id.clear();
  editor->message.clear();
  editor->caret = 0;
  editor->active_field = secret ? kFieldPassword : kFieldMessage;
  editor->SetActiveFieldText(value);
  external_editor = std::move(editor);
  external_editor_id = id;
  external_editor_label = std::move(label);
  external_editor_callback = std::move(callback);
  selection_start = start;
  selection_end = end;
  changed_from = start;
  caret_base = end;
  editor_retry_armed = editor_retry_commit = editor_commit_held = editor_attention = 0;
  editor_retry_deadline = 0;
  desktop_repaint_request = 1;
  dirty = 1;
  return true;
}

void PhoneUi::CloseExternalEditor(uint64_t editor_id) {
  if (external_editor == nullptr || external_editor_id != editor_id) return;
  DetachTsfBridge();
  external_editor->WipePassword();
  external_editor.reset();
  external_editor_id = 0;
  external_editor_label.clear();
  external_editor_callback = nullptr;
  editor_retry_armed = editor_retry_commit = editor_commit_held = editor_attention = 0;
  editor_retry_deadline = 0;
  desktop_repaint_request = 1;
  dirty = 1;
}

bool PhoneUi::SetExternalEditorSelection(uint64_t id, uint64_t start, uint64_t end) {
  if (external_editor == nullptr || external_editor_id != id) return false;
  const std::u16string& text = external_editor->GetActiveFieldText();
  if (start > end || end > text.size() || !IsUtf16Boundary(text, start) || !IsUtf16Boundary(text, end)) return false;
  if (start != selection_start || end != selection_end) {
    if (tsf_bridge != nullptr) tsf_bridge->CancelComposition();
    selection_start = start;
    selection_end = end;
    changed_from = std::min(changed_from, start);
    candidate_page = 0;
    dirty = 1;
  }
  return true;
}

bool PhoneUi::ApplyEditorEdit(const std::function<void(QuorixVrKeyboard&)>& operation, bool backspace, bool clear) {
  if (external_editor == nullptr) return false;
  QuorixVrKeyboard& editor = *external_editor;
  const SecretWideText old_text = FieldCopy(editor.GetActiveFieldText());
  const std::u16string& text = old_text.text();
  uint64_t s = selection_start;
  const uint64_t e = selection_end;
  // A selection beyond the text (it was shortened under it) is refused as
  // well as one inside a surrogate pair.
  if (s > e || e > text.size() || !IsUtf16Boundary(text, s) || !IsUtf16Boundary(text, e)) return false;

  SecretWideText new_text = FieldCopy(u"");
  uint64_t caret = s;
  // The scratch keyboard takes the edit; it replaces the editor's state.
  QuorixVrKeyboard scratch(editor);
  if (clear) {
    caret = 0;
  } else if (backspace) {
    if (s == e && s > 0) {
      --s;
      if (s > 0 && IsLowSurrogate(text[s]) && IsHighSurrogate(text[s - 1])) --s;
    }
    new_text.mutable_text().assign(text, 0, s);
    new_text.mutable_text().append(text, e);
    caret = s;
  } else {
    const SecretWideText prefix = FieldCopy(std::u16string_view(text).substr(0, s));
    scratch.SetActiveFieldText(prefix.text());
    if (operation) operation(scratch);
    const std::u16string& edited = scratch.GetActiveFieldText();
    if (edited == prefix.text()) {
      new_text.mutable_text().assign(text);
      caret = selection_start;
    } else {
      new_text.mutable_text().assign(edited);
      new_text.mutable_text().append(text, e);
      caret = edited.size();
    }
  }
  const std::u16string& result = new_text.text();
  if (result.size() > editor.ActiveFieldLimit() || !IsWellFormedText(result)) {
    editor_attention = 1;
    dirty = 1;
    return false;
  }
  const bool changed = result != text;
  editor = scratch;
  editor.SetActiveFieldText(result);
  if (changed) {
    const auto common = std::mismatch(text.begin(), text.end(), result.begin(), result.end());
    changed_from = std::min<uint64_t>(changed_from, static_cast<uint64_t>(common.first - text.begin()));
    selection_start = selection_end = caret;
    editor_retry_commit = editor_commit_held = 0;
  }
  return changed;
}

bool PhoneUi::SetFocusedFieldText(const std::u16string& text) {
  if (!IsTextInputActive() || !IsWellFormedText(text)) return false;
  if (external_editor != nullptr && external_editor->GetActiveFieldText() == text) return true;
  QuorixVrKeyboard& active = ActiveKeyboard();
  const std::u16string before = active.message;
  const bool ok = active.SetActiveFieldText(text);
  if (ok) {
    const bool message = active.active_field == kFieldMessage;
    if (external_editor != nullptr) {
      selection_start = selection_end = text.size();
      changed_from = 0;
      editor_retry_commit = editor_commit_held = 0;
      if (message) SyncDraftToBridge(before);
      FinishExternalEditor(false);
    } else if (message) {
      SyncDraftToBridge(before);
    }
    dirty = 1;
  }
  return ok;
}

bool PhoneUi::FinishExternalEditor(bool commit) {
  if (external_editor == nullptr || !external_editor_callback) return false;
  const SecretWideText text = FieldCopy(external_editor->GetActiveFieldText());
  const uint64_t id = external_editor_id;
  // The callback may close or replace this editor, which empties the stored
  // callback: call a copy of it.
  const EditorCallback callback = external_editor_callback;
  bool accepted = false;
  try {
    accepted = callback(text.text(), commit);
  } catch (...) {
    accepted = false;
  }
  if (external_editor != nullptr && external_editor_id == id) {
    editor_retry_armed = accepted ? 0 : 1;
    editor_attention = accepted ? 0 : 1;
    editor_retry_deadline = platform::TickCount64() + kEditorRetryMs;
    editor_retry_commit = commit && !accepted ? 1 : 0;
    if (commit && accepted) CloseExternalEditor(id);
    dirty = 1;
  }
  return accepted;
}

bool PhoneUi::SyncDraftToBridge(const std::u16string& text_before) {
  if (tsf_bridge == nullptr) return true;
  QuorixVrKeyboard& active = ActiveKeyboard();
  if (active.message == text_before) return true;
  if (!tsf_bridge->SyncDraft(active.message)) {
    active.SetMessageText(text_before);
    std::cout << "MVP02C3D_VR_EDIT=REJECTED_SAFE_NO_TEXT_LOG\n";
    return false;
  }
  bridge_revision = tsf_bridge->GetState()->revision;
  return true;
}

int32_t PhoneUi::CommitExternalEditor() {
  if (external_editor == nullptr) return 0;
  if (tsf_bridge != nullptr && tsf_bridge->IsBusy()) {
    // The update commits once the conversion is over.
    editor_commit_held = 1;
    dirty = 1;
    return 0;
  }
  return FinishExternalEditor(true) ? 1 : 0;
}

bool PhoneUi::ConversionSettled() const {
  // The bridge's last change must be in the editor too: the result of the
  // conversion is what is committed.
  return tsf_bridge == nullptr || (!tsf_bridge->IsBusy() && tsf_bridge->GetState()->revision == bridge_revision);
}
