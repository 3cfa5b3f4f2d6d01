#include "scripted_desktop_phone_ui.h"

#include <span>

#include "phone_ui/canvas.h"
#include "phone_ui/desktop_pixels.h"

namespace quorix_test {

FrameBuffer ScriptedDesktopPhoneUi::Card(int height) {
  constexpr int kWidth = desktop_pixels::kFrameWidth;
  PhoneCanvas canvas(0);
  FillRoundedRect(canvas, 0, 0, kWidth, height, 40, 0xFF804020);
  FillCanvasRect(canvas, 40, 0, kWidth - 40, 40, 0xFF202020);
  return FrameBuffer(std::span<const uint8_t>(canvas.data(), size_t{kWidth} * height * 4));
}

// Taps on the sign-in screen move the focus as the phone does: (150, 680)
// to the password field, (150, 560) to the id field.
void ScriptedDesktopPhoneUi::Tap(float x, float y) {
  Record({"Tap", x, y});
  if (text_input_active && x == 150 && (y == 680 || y == 560)) field.kind = y == 680 ? 1 : 0;
}

bool ScriptedDesktopPhoneUi::SetFocusedFieldText(const std::u16string& text) {
  field_text = text;
  return Record({"SetFocusedFieldText", 0, 0, 0, 0, text});
}

std::vector<ScriptedDesktopPhoneUi::Call> ScriptedDesktopPhoneUi::CallsNamed(const std::string& name) const {
  std::vector<Call> found;
  for (const Call& call : calls) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

}  // namespace quorix_test
