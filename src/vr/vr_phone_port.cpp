#include "vr/vr_phone_port.h"

#include <utility>

#include "phone_ui/phone_ui.h"

namespace {

bool TakeFlag(uint8_t& flag) { return std::exchange(flag, uint8_t{0}) != 0; }

}  // namespace

std::array<uint64_t, 3> PhoneUiPort::GetOwnerRevisions(uint64_t tag) const { return ui_->GetOwnerRevisions(tag); }
bool PhoneUiPort::TakeDirty() { return ui_->TakeDirty(); }
void PhoneUiPort::RequestDesktopRepaint() { ui_->desktop_repaint_request = 1; }
bool PhoneUiPort::IsTextInputActive() const { return ui_->IsTextInputActive(); }
bool PhoneUiPort::IsKeyboardSwipeArea(float x, float y) const { return ui_->IsKeyboardSwipeArea(x, y); }
bool PhoneUiPort::IsExternalEditorOpen() const { return ui_->external_editor != nullptr; }
uint64_t PhoneUiPort::ExternalEditorId() const { return ui_->external_editor_id; }
uint32_t PhoneUiPort::KeyboardActiveField() const { return ui_->keyboard.active_field; }
void PhoneUiPort::CloseExternalEditor(uint64_t editor_id) { ui_->CloseExternalEditor(editor_id); }
void PhoneUiPort::Tap(float x, float y) { ui_->Tap(x, y); }
bool PhoneUiPort::TapKeyboard(float x, float y) { return ui_->TapKeyboard(x, y); }
bool PhoneUiPort::SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) { return ui_->SwipeKeyboard(x, y, dx, dy); }
bool PhoneUiPort::PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) {
  return ui_->PressPopup(slot, x, y, identity, open);
}
uint64_t PhoneUiPort::GetPopupItemKey(uint32_t slot) const { return ui_->GetPopupItemKey(slot); }
std::array<uint64_t, 3> PhoneUiPort::GetPopupIdentity(uint32_t slot) const { return ui_->GetPopupIdentity(slot); }
std::array<uint64_t, 5> PhoneUiPort::GetPopupRenderKey(uint32_t slot) const { return ui_->GetPopupRenderKey(slot); }
FrameBuffer PhoneUiPort::RenderPopupFrame(uint32_t slot) { return ui_->RenderPopupFrame(slot); }
FrameBuffer PhoneUiPort::RenderPhoneFrame() { return ui_->RenderPhoneFrame(); }
FrameBuffer PhoneUiPort::RenderKeyboardFrame() { return ui_->RenderKeyboardFrame(); }
bool PhoneUiPort::TakeShowPhoneRequest() { return TakeFlag(ui_->show_phone_request); }
bool PhoneUiPort::TakeWristCalibrationRequest() { return TakeFlag(ui_->wrist_calibration_request); }
bool PhoneUiPort::TakeShowDesktopRequest() { return TakeFlag(ui_->show_desktop_request); }
void PhoneUiPort::SetCalibrationState(uint32_t countdown, bool failed) {
  ui_->calibration_countdown = countdown;
  ui_->calibration_failure_mark = failed ? 1 : 0;
}
void PhoneUiPort::RequestDesktopShowFromVr() { ui_->desktop_show_request_from_vr = 1; }
void PhoneUiPort::SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) {
  ui_->drawn_friend_request_revision = friend_request_revision;
  ui_->drawn_status_revision = status_revision;
}
