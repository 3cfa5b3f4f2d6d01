#pragma once
// What the desktop window needs of the phone UI model, and nothing more: the
// frames it shows, the input it forwards and the focused text field it
// mirrors. PhoneUiDesktopAdapter is the program's; tests script their own.
#include <array>
#include <cstdint>
#include <string>

#include "phone_ui/canvas.h"

class PhoneUi;
class QuorixTsfDraftBridge;

// The focused text field as the native editor sees it.
struct DesktopField {
  uint32_t kind = 2;           // 0 sign-in id, 1 password, 2 message
  uint64_t editor_id = 0;      // the external editor's id, 0 for none
  uint32_t native_screen = 0;  // the phone's native screen number
  bool dark = false;           // the settings record's theme
};

class DesktopPhoneUi {
 public:
  virtual ~DesktopPhoneUi() = default;

  // ---- Frames ----
  // Clears and returns the phone's request to put the panels back in place.
  virtual bool TakePositionResetRequest() = 0;
  virtual std::array<uint64_t, 3> GetOwnerRevisions() const = 0;
  virtual FrameBuffer RenderPhoneFrame() const = 0;
  // The friend-request and status revisions of the phone frame on screen.
  virtual void SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) = 0;
  virtual uint64_t GetPopupItemKey(uint32_t slot) const = 0;
  virtual std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const = 0;
  virtual std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const = 0;
  virtual FrameBuffer RenderPopupFrame(uint32_t slot) const = 0;

  // ---- Input ----
  virtual void Tap(float x, float y) = 0;
  virtual bool TapKeyboard(float x, float y) = 0;
  virtual bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) = 0;
  virtual bool IsKeyboardSwipeArea(float x, float y) const = 0;
  virtual bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) = 0;
  virtual void ClearShowDesktopRequest() = 0;

  // ---- The focused text field ----
  virtual bool IsTextInputActive() const = 0;
  virtual DesktopField ActiveField() const = 0;
  // A copy of the active field's text by kind (id, password, else message);
  // the caller wipes it.
  virtual std::u16string ActiveFieldText() const = 0;
  virtual bool SetFocusedFieldText(const std::u16string& text) = 0;
  virtual int32_t CommitExternalEditor() = 0;
  // Lends the bridge to the phone, or takes it back with null.
  virtual void AttachTsfBridge(QuorixTsfDraftBridge* bridge) = 0;
};

class PhoneUiDesktopAdapter final : public DesktopPhoneUi {
 public:
  explicit PhoneUiDesktopAdapter(PhoneUi* ui) : ui_(ui) {}

  bool TakePositionResetRequest() override;
  std::array<uint64_t, 3> GetOwnerRevisions() const override;
  FrameBuffer RenderPhoneFrame() const override;
  void SetDrawnRevisions(uint64_t friend_request_revision, uint64_t status_revision) override;
  uint64_t GetPopupItemKey(uint32_t slot) const override;
  std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const override;
  std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const override;
  FrameBuffer RenderPopupFrame(uint32_t slot) const override;
  void Tap(float x, float y) override;
  bool TapKeyboard(float x, float y) override;
  bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) override;
  bool IsKeyboardSwipeArea(float x, float y) const override;
  bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) override;
  void ClearShowDesktopRequest() override;
  bool IsTextInputActive() const override;
  DesktopField ActiveField() const override;
  std::u16string ActiveFieldText() const override;
  bool SetFocusedFieldText(const std::u16string& text) override;
  int32_t CommitExternalEditor() override;
  void AttachTsfBridge(QuorixTsfDraftBridge* bridge) override;

 private:
  PhoneUi* ui_;
};
