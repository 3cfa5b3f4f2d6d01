#include "phone_ui/phone_ui.h"

void PhoneUi::AttachCallSession(CallSession* session) {
  call_session = session;
  dirty = 1;
}

void PhoneUi::AttachOwner(quorix_native::Ui* new_owner) {
  owner = new_owner;
  dirty = 1;
}

bool PhoneUi::Initialize() { return true; }

void PhoneUi::AttachSettings(UiSettings* new_settings) {
  settings = new_settings;
  if (owner != nullptr && settings != nullptr) owner->AttachSettings(settings);
  dirty = 1;
}

void PhoneUi::Tick() {}

bool PhoneUi::TakeDirty() {
  const bool was = dirty != 0;
  dirty = 0;
  return was;
}

void PhoneUi::CloseExternalEditor(uint64_t) {}
