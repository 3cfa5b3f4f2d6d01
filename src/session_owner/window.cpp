#include "session_owner/window.h"

#include <algorithm>

#include "core/ui_settings.h"
#include "platform/crypto.h"

namespace two_pc {

Window::Window(CallSession* session, quorix_phone::WindowsWire* wire, quorix_phone::Gateway* gateway)
    : session_(session), wire_(wire), gateway_(gateway) {}

bool Window::Create(bool) {
  if (has_window_ || closed_) return false;
  has_window_ = true;
  return true;
}

void Window::Tick() {
  if (!has_window_) return;
  // Calls need a signed-in session, which this owner never has.
  if (session_ != nullptr) session_->enabled = 0;
}

void Window::Close() {
  if (closed_) return;
  closed_ = true;
  if (gateway_ != nullptr) {
    gateway_->Activate();
    gateway_->SetIdentity("", 0);
  }
  if (wire_ != nullptr) wire_->Stop();
  has_window_ = false;
}

quorix_native::Ui::Status Window::GetStatus() {
  Status status;
  status.idle = 1;
  return status;
}

bool Window::SignIn(std::u16string, std::u16string password) {
  platform::SecureZero(password.data(), password.size() * sizeof(char16_t));
  return false;
}

bool Window::SignOut() { return false; }

quorix_native::Ui::AudioDeviceList Window::GetAudioDevices(bool) { return {}; }

bool Window::SelectAudioDevice(bool, int32_t, uint64_t) { return false; }

bool Window::RefreshAudioDevices() { return false; }

bool Window::PerformCallAction(uint32_t, uint64_t) { return false; }

int32_t Window::GetPeerNotificationMode(const std::string&) {
  return settings_ != nullptr ? std::clamp(settings_->notification_mode, 0, 2) : 0;
}

}  // namespace two_pc
