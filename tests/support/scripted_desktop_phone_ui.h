#pragma once
// A phone UI for the desktop window that draws plain canvas frames and
// records every call: the phone a rounded card (transparent corners, an
// opaque band at the top), popups a card while their item key is set.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "phone_ui/desktop_phone_ui.h"

namespace quorix_test {

class ScriptedDesktopPhoneUi final : public DesktopPhoneUi {
 public:
  struct Call {
    Call(std::string call, float at_x = 0, float at_y = 0, int32_t move_x = 0, int32_t move_y = 0,
         std::u16string with = {})
        : name(std::move(call)), x(at_x), y(at_y), dx(move_x), dy(move_y), text(std::move(with)) {}
    std::string name;  // "Tap", "TapKeyboard", "SwipeKeyboard", "PressPopup", "SetFocusedFieldText", ...
    float x = 0;
    float y = 0;
    int32_t dx = 0;  // swipes; the popup slot; the open flag in dy
    int32_t dy = 0;
    std::u16string text;
    bool operator==(const Call&) const = default;
  };

  bool TakePositionResetRequest() override;
  std::array<uint64_t, 3> GetOwnerRevisions() const override { return revisions; }
  FrameBuffer RenderPhoneFrame() const override;
  void SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) override;
  uint64_t GetPopupItemKey(uint32_t slot) const override { return popup_items[slot]; }
  std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const override;
  std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const override;
  FrameBuffer RenderPopupFrame(uint32_t slot) const override;
  void Tap(float x, float y) override;
  bool TapKeyboard(float x, float y) override;
  bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) override;
  bool IsKeyboardSwipeArea(float x, float y) const override;
  bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) override;
  void ClearShowDesktopRequest() override;
  bool IsTextInputActive() const override { return text_input_active; }
  DesktopField ActiveField() const override { return field; }
  std::u16string ActiveFieldText() const override { return field_text; }
  bool SetFocusedFieldText(const std::u16string& text) override;
  int32_t CommitExternalEditor() override;
  void AttachTsfBridge(QuorixTsfDraftBridge* bridge) override;

  // Calls named `name`, in order.
  std::vector<Call> CallsNamed(const std::string& name) const;

  std::vector<Call> calls;
  std::array<uint64_t, 3> revisions{1, 2, 3};
  std::array<uint64_t, 5> popup_items{};
  bool reset_request = false;
  bool text_input_active = false;
  DesktopField field;
  std::u16string field_text;
  // Taps on the sign-in screen move the focus the way the phone does: (150,
  // 680) to the password field, (150, 560) to the id field.
  bool follow_sign_in_taps = true;
  QuorixTsfDraftBridge* attached_bridge = nullptr;
};

}  // namespace quorix_test
