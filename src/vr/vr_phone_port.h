#pragma once
// What the VR frame needs of the phone UI, as one small interface, so the
// frame can be driven by the model or by a scripted stand-in. The model binds
// through PhoneUiPort; main thread only.
#include <array>
#include <cstdint>

#include "phone_ui/canvas.h"

class PhoneUi;

class VrPhonePort {
 public:
  virtual ~VrPhonePort() = default;

  // {tag, friend request revision, status revision}.
  virtual std::array<uint64_t, 3> GetOwnerRevisions(uint64_t tag) const = 0;
  virtual bool TakeDirty() = 0;
  virtual void RequestDesktopRepaint() = 0;

  // ---- Text entry ----
  virtual bool IsTextInputActive() const = 0;
  virtual bool IsKeyboardSwipeArea(float x, float y) const = 0;
  virtual bool IsExternalEditorOpen() const = 0;
  virtual uint64_t ExternalEditorId() const = 0;
  // The own keyboard's active field: 0 id, 1 password, 2 message.
  virtual uint32_t KeyboardActiveField() const = 0;
  virtual void CloseExternalEditor(uint64_t editor_id) = 0;

  // ---- Input ----
  virtual void Tap(float x, float y) = 0;
  virtual bool TapKeyboard(float x, float y) = 0;
  virtual bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) = 0;
  virtual bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) = 0;

  // ---- Pictures ----
  virtual uint64_t GetPopupItemKey(uint32_t slot) const = 0;
  virtual std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const = 0;
  virtual std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const = 0;
  virtual FrameBuffer RenderPopupFrame(uint32_t slot) = 0;
  virtual FrameBuffer RenderPhoneFrame() = 0;
  virtual FrameBuffer RenderKeyboardFrame() = 0;

  // ---- Requests (each read and cleared) and what the frame reports ----
  virtual bool TakeShowPhoneRequest() = 0;
  virtual bool TakeWristCalibrationRequest() = 0;
  virtual bool TakeShowDesktopRequest() = 0;
  // The calibration countdown in seconds and the failure mark.
  virtual void SetCalibrationState(uint32_t countdown, bool failed) = 0;
  virtual void RequestDesktopShowFromVr() = 0;
  virtual void SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) = 0;
};

// The production binding to the model.
class PhoneUiPort final : public VrPhonePort {
 public:
  explicit PhoneUiPort(PhoneUi& ui) : ui_(&ui) {}
  void Rebind(PhoneUi& ui) { ui_ = &ui; }
  PhoneUi& ui() const { return *ui_; }

  std::array<uint64_t, 3> GetOwnerRevisions(uint64_t tag) const override;
  bool TakeDirty() override;
  void RequestDesktopRepaint() override;
  bool IsTextInputActive() const override;
  bool IsKeyboardSwipeArea(float x, float y) const override;
  bool IsExternalEditorOpen() const override;
  uint64_t ExternalEditorId() const override;
  uint32_t KeyboardActiveField() const override;
  void CloseExternalEditor(uint64_t editor_id) override;
  void Tap(float x, float y) override;
  bool TapKeyboard(float x, float y) override;
  bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) override;
  bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) override;
  uint64_t GetPopupItemKey(uint32_t slot) const override;
  std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const override;
  std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const override;
  FrameBuffer RenderPopupFrame(uint32_t slot) override;
  FrameBuffer RenderPhoneFrame() override;
  FrameBuffer RenderKeyboardFrame() override;
  bool TakeShowPhoneRequest() override;
  bool TakeWristCalibrationRequest() override;
  bool TakeShowDesktopRequest() override;
  void SetCalibrationState(uint32_t countdown, bool failed) override;
  void RequestDesktopShowFromVr() override;
  void SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) override;

 private:
  PhoneUi* ui_;
};
