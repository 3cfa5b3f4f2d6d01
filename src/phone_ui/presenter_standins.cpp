// The presenters' operations whose screens have not landed: no change, no
// effect, blank popup frames of the sizes the presenters expect.
#include "phone_ui/phone_ui.h"

namespace {

constexpr size_t kFrameWidthBytes = 540 * 4;
constexpr size_t kCallPopupRows = 300;
constexpr size_t kNoticePopupRows = 200;

}  // namespace

void PhoneUi::Tap(float, float) {}
bool PhoneUi::TapKeyboard(float, float) { return false; }
bool PhoneUi::SwipeKeyboard(float, float, int32_t, int32_t) { return false; }
bool PhoneUi::IsKeyboardSwipeArea(float, float) const { return false; }
bool PhoneUi::PressPopup(uint32_t, float, float, const std::array<uint64_t, 3>&, bool) { return false; }
uint64_t PhoneUi::GetPopupItemKey(uint32_t) const { return 0; }
std::array<uint64_t, 3> PhoneUi::GetPopupIdentity(uint32_t) const { return {}; }
std::array<uint64_t, 5> PhoneUi::GetPopupRenderKey(uint32_t) const { return {}; }

FrameBuffer PhoneUi::RenderPopupFrame(uint32_t slot) const {
  return FrameBuffer(kFrameWidthBytes * (slot == 0 ? kCallPopupRows : kNoticePopupRows), 0);
}
