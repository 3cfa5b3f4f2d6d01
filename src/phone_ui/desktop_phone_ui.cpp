#include "phone_ui/desktop_phone_ui.h"

#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"

namespace {

// The external editor's keyboard when one is open, else the phone's own.
const QuorixVrKeyboard& ActiveKeyboard(const PhoneUi& ui) {
  return ui.external_editor ? *ui.external_editor : ui.keyboard;
}

}  // namespace

bool PhoneUiDesktopAdapter::TakePositionResetRequest() {
  const bool requested = ui_->desktop_position_reset_request != 0;
  ui_->desktop_position_reset_request = 0;
  return requested;
}

std::array<uint64_t, 3> PhoneUiDesktopAdapter::GetOwnerRevisions() const { return ui_->GetOwnerRevisions(0); }

FrameBuffer PhoneUiDesktopAdapter::RenderPhoneFrame() const { return ui_->RenderPhoneFrame(); }

void PhoneUiDesktopAdapter::SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) {
  ui_->drawn_friend_request_revision = friend_request_revision;
  ui_->drawn_status_revision = status_revision;
}

uint64_t PhoneUiDesktopAdapter::GetPopupItemKey(uint32_t slot) const { return ui_->GetPopupItemKey(slot); }

std::array<uint64_t, 5> PhoneUiDesktopAdapter::GetPopupRenderKey(uint32_t slot) const {
  return ui_->GetPopupRenderKey(slot);
}

std::array<uint64_t, 3> PhoneUiDesktopAdapter::GetPopupIdentity(uint32_t slot) const {
  return ui_->GetPopupIdentity(slot);
}

FrameBuffer PhoneUiDesktopAdapter::RenderPopupFrame(uint32_t slot) const { return ui_->RenderPopupFrame(slot); }

void PhoneUiDesktopAdapter::Tap(float x, float y) { ui_->Tap(x, y); }

bool PhoneUiDesktopAdapter::TapKeyboard(float x, float y) { return ui_->TapKeyboard(x, y); }

bool PhoneUiDesktopAdapter::SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) {
  return ui_->SwipeKeyboard(x, y, dx, dy);
}

bool PhoneUiDesktopAdapter::IsKeyboardSwipeArea(float x, float y) const { return ui_->IsKeyboardSwipeArea(x, y); }

bool PhoneUiDesktopAdapter::PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity,
                                       bool open) {
  return ui_->PressPopup(slot, x, y, identity, open);
}

void PhoneUiDesktopAdapter::ClearShowDesktopRequest() { ui_->show_desktop_request = 0; }

bool PhoneUiDesktopAdapter::IsTextInputActive() const { return ui_->IsTextInputActive(); }

DesktopField PhoneUiDesktopAdapter::ActiveField() const {
  DesktopField field;
  field.kind = ActiveKeyboard(*ui_).active_field;
  field.editor_id = ui_->external_editor ? ui_->external_editor_id : 0;
  field.native_screen = ui_->native_screen;
  field.dark = ui_->settings != nullptr && ui_->settings->dark;
  return field;
}

std::u16string PhoneUiDesktopAdapter::ActiveFieldText() const {
  const QuorixVrKeyboard& keyboard = ActiveKeyboard(*ui_);
  switch (keyboard.active_field) {
    case kFieldId:
      return keyboard.id;
    case kFieldPassword:
      return keyboard.password;
    default:
      return keyboard.message;
  }
}

bool PhoneUiDesktopAdapter::SetFocusedFieldText(const std::u16string& text) { return ui_->SetFocusedFieldText(text); }

int32_t PhoneUiDesktopAdapter::CommitExternalEditor() { return ui_->CommitExternalEditor(); }

void PhoneUiDesktopAdapter::AttachTsfBridge(QuorixTsfDraftBridge* bridge) { ui_->AttachTsfBridge(bridge); }
