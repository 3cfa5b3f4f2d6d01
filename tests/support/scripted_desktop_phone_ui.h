#pragma once
// A phone UI for the desktop window that draws plain canvas cards (rounded,
// so their corners are transparent) and records every input call.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "phone_ui/desktop_phone_ui.h"

namespace quorix_test {

class ScriptedDesktopPhoneUi final : public DesktopPhoneUi {
 public:
  struct Call {
    Call(std::string call, float at_x = 0, float at_y = 0, int32_t a = 0, int32_t b = 0, std::u16string with = {})
        : name(std::move(call)), x(at_x), y(at_y), dx(a), dy(b), text(std::move(with)) {}
    std::string name;
    float x, y;
    int32_t dx, dy;  // a swipe's movement; a popup press's slot and open flag
    std::u16string text;
    bool operator==(const Call&) const = default;
  };

  bool TakePositionResetRequest() override { return false; }
  std::array<uint64_t, 3> GetOwnerRevisions() const override { return {1, 2, 3}; }
  FrameBuffer RenderPhoneFrame() const override { return Card(960); }
  void SetDrawnRevisions(uint64_t, uint64_t) override {}
  uint64_t GetPopupItemKey(uint32_t slot) const override { return popup_items[slot]; }
  std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const override { return {popup_items[slot], slot}; }
  std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const override { return {popup_items[slot], slot}; }
  FrameBuffer RenderPopupFrame(uint32_t slot) const override { return Card(slot == 0 ? 300 : 200); }
  void Tap(float x, float y) override;
  bool TapKeyboard(float x, float y) override { return Record({"TapKeyboard", x, y}); }
  bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) override {
    return Record({"SwipeKeyboard", x, y, dx, dy});
  }
  bool IsKeyboardSwipeArea(float, float y) const override { return y >= 100; }
  bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>&, bool open) override {
    return Record({"PressPopup", x, y, static_cast<int32_t>(slot), open});
  }
  void ClearShowDesktopRequest() override { Record({"ClearShowDesktopRequest"}); }
  bool IsTextInputActive() const override { return text_input_active; }
  DesktopField ActiveField() const override { return field; }
  std::u16string ActiveFieldText() const override { return field_text; }
  bool SetFocusedFieldText(const std::u16string& text) override;
  int32_t CommitExternalEditor() override { return Record({"CommitExternalEditor"}); }
  void AttachTsfBridge(QuorixTsfDraftBridge* bridge) override { attached_bridge = bridge; }

  std::vector<Call> CallsNamed(const std::string& name) const;

  std::vector<Call> calls;
  std::array<uint64_t, 5> popup_items{};
  bool text_input_active = false;
  DesktopField field;
  std::u16string field_text;
  QuorixTsfDraftBridge* attached_bridge = nullptr;

 private:
  static FrameBuffer Card(int height);
  bool Record(Call call) {
    calls.push_back(std::move(call));
    return true;
  }
};

}  // namespace quorix_test
