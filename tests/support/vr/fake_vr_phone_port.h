#pragma once
// A scripted phone port for VR frame tests: answers come from public
// members, every input call is recorded in order, and the renders hand over
// copies of prepared frames of the right sizes.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "vr/vr_phone_port.h"

namespace quorix_test {

class FakeVrPhonePort final : public VrPhonePort {
 public:
  struct Call {
    std::string name;  // "Tap", "TapKeyboard", "SwipeKeyboard", "PressPopup"
    float x = 0.0f, y = 0.0f;
    int32_t dx = 0, dy = 0;
    uint32_t slot = 0;
    bool open = false;
  };

  FakeVrPhonePort() {
    for (uint32_t slot = 0; slot < 5; ++slot) popup_frames[slot] = FrameBuffer(540 * 4 * (slot == 0 ? 300 : 200), 0);
  }

  std::array<uint64_t, 3> GetOwnerRevisions(uint64_t tag) const override {
    return {tag, friend_request_revision, status_revision};
  }
  bool TakeDirty() override { return std::exchange(dirty, false); }
  void RequestDesktopRepaint() override { ++repaint_requests; }
  bool IsTextInputActive() const override { return text_input_active; }
  bool IsKeyboardSwipeArea(float, float y) const override { return y >= swipe_area_from_y; }
  bool IsExternalEditorOpen() const override { return external_editor_id != 0; }
  uint64_t ExternalEditorId() const override { return external_editor_id; }
  uint32_t KeyboardActiveField() const override { return active_field; }
  void CloseExternalEditor(uint64_t) override { external_editor_id = 0; }
  void Tap(float x, float y) override { calls.push_back({"Tap", x, y}); }
  bool TapKeyboard(float x, float y) override {
    calls.push_back({"TapKeyboard", x, y});
    return keyboard_accepts;
  }
  bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) override {
    calls.push_back({"SwipeKeyboard", x, y, dx, dy});
    return keyboard_accepts;
  }
  bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>&, bool open) override {
    calls.push_back({"PressPopup", x, y, 0, 0, slot, open});
    if (open && popup_opens_conversation) show_desktop_request = true;
    return popup_accepts;
  }
  uint64_t GetPopupItemKey(uint32_t slot) const override { return popup_keys[slot]; }
  std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const override { return {0, popup_keys[slot], 0}; }
  std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const override { return {popup_keys[slot], 0, 0, 0, 0}; }
  FrameBuffer RenderPopupFrame(uint32_t slot) override {
    ++renders;
    return popup_frames[slot];
  }
  FrameBuffer RenderPhoneFrame() override {
    ++renders;
    return phone_frame;
  }
  FrameBuffer RenderKeyboardFrame() override {
    ++renders;
    return keyboard_frame;
  }
  bool TakeShowPhoneRequest() override { return std::exchange(show_phone_request, false); }
  bool TakeWristCalibrationRequest() override { return std::exchange(calibration_request, false); }
  bool TakeShowDesktopRequest() override { return std::exchange(show_desktop_request, false); }
  void SetCalibrationState(uint32_t countdown, bool failed) override {
    countdowns.push_back(countdown);
    calibration_failed = failed;
  }
  void RequestDesktopShowFromVr() override { desktop_show_from_vr = true; }
  void SetDrawnRevisions(uint64_t friend_request, uint64_t status) override {
    drawn_revisions = {friend_request, status};
  }

  // ---- Scripted answers ----
  uint64_t friend_request_revision = 0;
  uint64_t status_revision = 0;
  bool dirty = false;
  bool text_input_active = false;
  float swipe_area_from_y = 1e9f;  // keyboard rows from here down are the swipe area
  uint64_t external_editor_id = 0;
  uint32_t active_field = 2;
  bool keyboard_accepts = true;
  bool popup_accepts = true;
  bool popup_opens_conversation = false;
  std::array<uint64_t, 5> popup_keys{};
  bool show_phone_request = false;
  bool calibration_request = false;
  bool show_desktop_request = false;
  FrameBuffer phone_frame{540 * 960 * 4, 255};
  FrameBuffer keyboard_frame{540 * 508 * 4, 200};
  std::array<FrameBuffer, 5> popup_frames;

  // ---- What the frame did ----
  std::vector<Call> calls;
  uint64_t renders = 0;
  uint64_t repaint_requests = 0;
  std::vector<uint32_t> countdowns;
  bool calibration_failed = false;
  bool desktop_show_from_vr = false;
  std::array<uint64_t, 2> drawn_revisions{};
};

}  // namespace quorix_test
