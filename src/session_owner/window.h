#pragma once
// The session owner: holds the signed-in session that the phone UI talks to.
//
// Sign-in is not wired yet: the owner stays signed out, refuses sign-in,
// audio and friend operations, and has no notices.
#include <functional>

#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/windows_wire.h"
#include "session_owner/owner_ui.h"

namespace two_pc {

class Window final : public quorix_native::Ui {
 public:
  Window(CallSession* session, quorix_phone::WindowsWire* wire, quorix_phone::Gateway* gateway);
  ~Window() override { Close(); }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Placeholder: makes no window (in phone mode it would stay hidden); it
  // only marks the owner as having one, which the main loop requires. False
  // once created or closed.
  bool Create(bool phone_mode = true);
  void Tick();
  // Whether the phone UI still runs background work. Kept for sign-out, which
  // waits on it once sign-in is wired; nothing consults it yet.
  void SetBusyCheck(std::function<bool()> check) { busy_check_ = std::move(check); }
  // Deactivates the gateway, stops the connection and drops the window. It
  // does not wait for the phone UI's background work (see SetBusyCheck).
  void Close();
  bool HasWindowHandle() const { return has_window_; }

  Status GetStatus() override;
  bool SignIn(std::u16string user_id, std::u16string password) override;
  bool SignOut() override;
  AudioDeviceList GetAudioDevices(bool capture) override;
  bool SelectAudioDevice(bool capture, int32_t index, uint64_t list_revision) override;
  bool RefreshAudioDevices() override;
  uint64_t GetCallRevision() override { return 0; }
  std::u16string GetCallPeerName() override { return {}; }
  bool PerformCallAction(uint32_t action, uint64_t call_revision) override;
  Notice GetActiveNotice() override { return {}; }
  void DismissNotice(uint64_t) override {}
  Notice GetSystemNotice() override { return {}; }
  void DismissSystemNotice(uint64_t) override {}
  void SetNotificationsEnabled(bool enabled) override { notifications_ = enabled; }
  bool AreNotificationsEnabled() override { return notifications_; }
  void AttachSettings(const UiSettings* settings) override { settings_ = settings; }
  std::string GetOwnUserId() override { return {}; }
  int32_t GetPeerNotificationMode(const std::string& peer_id) override;
  std::vector<Notice> GetPendingNotices() override { return {}; }
  FriendRequestState GetFriendRequests() override { return {}; }
  bool RequestFriendOperation(uint32_t, const std::string&) override { return false; }
  int32_t GetFriendPresence(const std::string&) override { return 0; }
  uint64_t GetPresenceStatus() override { return 0; }
  uint64_t GetChatRevision() override { return 0; }
  bool RunHistoryFileDialog(bool) override { return false; }

 private:
  CallSession* session_;
  quorix_phone::WindowsWire* wire_;
  quorix_phone::Gateway* gateway_;
  const UiSettings* settings_ = nullptr;
  std::function<bool()> busy_check_;
  bool notifications_ = true;
  bool has_window_ = false;
  bool closed_ = false;
};

}  // namespace two_pc
