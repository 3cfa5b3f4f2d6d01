// The popup frames, whose screens have not landed: blank frames of the
// sizes the presenters expect.
#include "phone_ui/phone_ui.h"

namespace {

constexpr size_t kFrameWidthBytes = 540 * 4;
constexpr size_t kCallPopupRows = 300;
constexpr size_t kNoticePopupRows = 200;

}  // namespace

FrameBuffer PhoneUi::RenderPopupFrame(uint32_t slot) const {
  return FrameBuffer(kFrameWidthBytes * (slot == 0 ? kCallPopupRows : kNoticePopupRows), 0);
}
