#pragma once
// The phone UI model and controller: one object per process, driven by the
// main loop, the VR frame and the desktop window.
#include <cstdint>

#include "phone_service/call_session.h"
#include "session_owner/owner_ui.h"

struct UiSettings;

class PhoneUi {
 public:
  PhoneUi() = default;
  PhoneUi(const PhoneUi&) = delete;
  PhoneUi& operator=(const PhoneUi&) = delete;

  void AttachCallSession(CallSession* session);
  void AttachOwner(quorix_native::Ui* owner);
  // Always true. Placeholder for now: it sets no state and prints nothing;
  // the start-up does not use its result.
  bool Initialize();
  void AttachSettings(UiSettings* settings);
  // Whether a fetch task is still running, for sign-out to wait on. No fetch
  // runs yet, so always false.
  bool HasPendingFetch() const { return false; }
  // The per-frame update; never blocks.
  void Tick();
  // Returns the dirty flag and clears it.
  bool TakeDirty();
  void CloseExternalEditor(uint64_t editor_id);

  // Requests the presenters take and clear.
  uint8_t desktop_position_reset_request = 0;
  uint8_t desktop_repaint_request = 0;
  uint8_t desktop_show_request_from_vr = 0;
  uint8_t show_desktop_request = 0;
  uint8_t dirty = 1;
  quorix_native::Ui* owner = nullptr;
  UiSettings* settings = nullptr;
  CallSession* call_session = nullptr;
  uint8_t show_phone_request = 0;
};
