#include "scripted_desktop_phone_ui.h"

#include <span>

#include "phone_ui/canvas.h"
#include "phone_ui/desktop_pixels.h"

namespace quorix_test {
namespace {

constexpr uint32_t kCardColour = 0xFF804020;  // opaque
constexpr uint32_t kBandColour = 0xFF202020;

FrameBuffer Card(int height) {
  PhoneCanvas canvas(0);
  FillRoundedRect(canvas, 0, 0, desktop_pixels::kFrameWidth, height, 40, kCardColour);
  FillCanvasRect(canvas, 40, 0, desktop_pixels::kFrameWidth - 40, 40, kBandColour);
  return FrameBuffer(std::span<const uint8_t>(canvas.data(), size_t{desktop_pixels::kFrameWidth} * height * 4));
}

}  // namespace

bool ScriptedDesktopPhoneUi::TakePositionResetRequest() {
  const bool was = reset_request;
  reset_request = false;
  return was;
}

FrameBuffer ScriptedDesktopPhoneUi::RenderPhoneFrame() const { return Card(960); }

void ScriptedDesktopPhoneUi::SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) {
  calls.push_back({"SetDrawnRevisions", static_cast<float>(friend_request_revision),
                   static_cast<float>(status_revision)});
}

std::array<uint64_t, 5> ScriptedDesktopPhoneUi::GetPopupRenderKey(uint32_t slot) const {
  return {popup_items[slot], slot, 0, 0, 0};
}

std::array<uint64_t, 3> ScriptedDesktopPhoneUi::GetPopupIdentity(uint32_t slot) const {
  return {popup_items[slot], slot, 7};
}

FrameBuffer ScriptedDesktopPhoneUi::RenderPopupFrame(uint32_t slot) const { return Card(slot == 0 ? 300 : 200); }

void ScriptedDesktopPhoneUi::Tap(float x, float y) {
  calls.push_back({"Tap", x, y});
  if (!follow_sign_in_taps || !text_input_active || x != 150) return;
  if (y == 680) field.kind = 1;
  if (y == 560) field.kind = 0;
}

bool ScriptedDesktopPhoneUi::TapKeyboard(float x, float y) {
  calls.push_back({"TapKeyboard", x, y});
  return true;
}

bool ScriptedDesktopPhoneUi::SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) {
  calls.push_back({"SwipeKeyboard", x, y, dx, dy});
  return true;
}

bool ScriptedDesktopPhoneUi::IsKeyboardSwipeArea(float, float y) const { return y >= 100; }

bool ScriptedDesktopPhoneUi::PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>&, bool open) {
  calls.push_back({"PressPopup", x, y, static_cast<int32_t>(slot), open ? 1 : 0});
  return true;
}

void ScriptedDesktopPhoneUi::ClearShowDesktopRequest() { calls.push_back({"ClearShowDesktopRequest"}); }

bool ScriptedDesktopPhoneUi::SetFocusedFieldText(const std::u16string& text) {
  calls.push_back({"SetFocusedFieldText", 0, 0, 0, 0, text});
  field_text = text;
  return true;
}

int32_t ScriptedDesktopPhoneUi::CommitExternalEditor() {
  calls.push_back({"CommitExternalEditor"});
  return 1;
}

void ScriptedDesktopPhoneUi::AttachTsfBridge(QuorixTsfDraftBridge* bridge) {
  calls.push_back({bridge != nullptr ? "AttachTsfBridge" : "DetachTsfBridge"});
  attached_bridge = bridge;
}

std::vector<ScriptedDesktopPhoneUi::Call> ScriptedDesktopPhoneUi::CallsNamed(const std::string& name) const {
  std::vector<Call> found;
  for (const Call& call : calls) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

}  // namespace quorix_test
