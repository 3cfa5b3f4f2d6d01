#pragma once
// A scripted owner for phone UI tests: every slot of the owner interface is
// answered from a public field and logged in call order, with its arguments
// as text. Later phone UI tests extend this one fake.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session_owner/owner_ui.h"

namespace quorix_test {

struct OwnerCall {
  std::string slot;  // the operation's name, e.g. "SetNotificationsEnabled"
  std::string args;  // its arguments as text, comma-separated; "" for none
  friend bool operator==(const OwnerCall&, const OwnerCall&) = default;
};

class FakeOwner final : public quorix_native::Ui {
 public:
  using Notice = quorix_native::Ui::Notice;

  Status GetStatus() override;
  // Logs the id and the password's length only, and zero-fills the password.
  bool SignIn(std::u16string user_id, std::u16string password) override;
  bool SignOut() override;
  AudioDeviceList GetAudioDevices(bool capture) override;
  bool SelectAudioDevice(bool capture, int32_t index, uint64_t list_revision) override;
  bool RefreshAudioDevices() override;
  uint64_t GetCallRevision() override;
  std::u16string GetCallPeerName() override;
  bool PerformCallAction(uint32_t action, uint64_t call_revision) override;
  // The scripted notice, else GetActiveNoticeDefault().
  Notice GetActiveNotice() override;
  void DismissNotice(uint64_t id) override;
  Notice GetSystemNotice() override;
  void DismissSystemNotice(uint64_t id) override;
  void SetNotificationsEnabled(bool enabled) override;
  bool AreNotificationsEnabled() override;
  void AttachSettings(const UiSettings* settings) override;
  std::string GetOwnUserId() override;
  int32_t GetPeerNotificationMode(const std::string& peer_id) override;
  std::vector<Notice> GetPendingNotices() override;
  FriendRequestState GetFriendRequests() override;
  bool RequestFriendOperation(uint32_t operation, const std::string& user_id) override;
  int32_t GetFriendPresence(const std::string& user_id) override;
  uint64_t GetPresenceStatus() override;
  uint64_t GetChatRevision() override;
  bool RunHistoryFileDialog(bool import) override;

  // The first pending notice, or an empty one.
  Notice GetActiveNoticeDefault() const;

  // Calls of `slot` since the last ClearCalls.
  size_t Count(std::string_view slot) const;
  // The slot names in call order.
  std::vector<std::string> SlotOrder() const;
  void ClearCalls();

  std::vector<OwnerCall> calls;

  // Scripted answers.
  Status status;
  bool sign_in_result = true;
  bool sign_out_result = true;
  AudioDeviceList microphones;
  AudioDeviceList speakers;
  bool select_audio_result = true;
  bool refresh_audio_result = true;
  uint64_t call_revision = 0;
  std::u16string call_peer_name;
  bool call_action_result = true;
  std::optional<Notice> active_notice;  // unset: the first pending notice
  Notice system_notice;
  std::string own_user_id;
  std::map<std::string, int32_t> peer_notification_modes;  // missing peers: 0
  std::vector<Notice> pending_notices;
  // Per-call answers, taken front first before the fixed ones above (as
  // expiry makes successive calls differ).
  std::deque<std::vector<Notice>> pending_notice_script;
  std::deque<Notice> system_notice_script;
  FriendRequestState friend_requests;
  bool friend_operation_result = true;
  std::map<std::string, int32_t> friend_presence;  // missing ids: 0
  uint64_t presence_status = 0;
  uint64_t chat_revision = 0;
  bool history_dialog_result = true;

  // State the phone UI gave the owner.
  bool notifications_enabled = true;  // the switch as last set
  const UiSettings* attached_settings = nullptr;

 private:
  void Log(std::string slot, std::string args = {});
  std::map<std::string, size_t, std::less<>> counts_;
};

}  // namespace quorix_test
