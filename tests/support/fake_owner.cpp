#include "fake_owner.h"

#include <algorithm>

#include "core/text.h"

namespace quorix_test {

namespace {

const char* Flag(bool value) { return value ? "true" : "false"; }

}  // namespace

void FakeOwner::Log(std::string slot, std::string args) {
  ++counts_[slot];
  calls.push_back({std::move(slot), std::move(args)});
}

size_t FakeOwner::Count(std::string_view slot) const {
  const auto it = counts_.find(slot);
  return it == counts_.end() ? 0 : it->second;
}

std::vector<std::string> FakeOwner::SlotOrder() const {
  std::vector<std::string> order;
  for (const OwnerCall& call : calls) order.push_back(call.slot);
  return order;
}

void FakeOwner::ClearCalls() {
  calls.clear();
  counts_.clear();
}

quorix_native::Ui::Status FakeOwner::GetStatus() {
  Log("GetStatus");
  return status;
}

bool FakeOwner::SignIn(std::u16string user_id, std::u16string password) {
  Log("SignIn", WideToUtf8(user_id) + "," + std::to_string(password.size()));
  std::fill(password.begin(), password.end(), u'\0');
  return sign_in_result;
}

bool FakeOwner::SignOut() {
  Log("SignOut");
  return sign_out_result;
}

quorix_native::Ui::AudioDeviceList FakeOwner::GetAudioDevices(bool capture) {
  Log("GetAudioDevices", Flag(capture));
  return capture ? microphones : speakers;
}

bool FakeOwner::SelectAudioDevice(bool capture, int32_t index, uint64_t list_revision) {
  Log("SelectAudioDevice", std::string(Flag(capture)) + "," + std::to_string(index) + "," +
                               std::to_string(list_revision));
  return select_audio_result;
}

bool FakeOwner::RefreshAudioDevices() {
  Log("RefreshAudioDevices");
  return refresh_audio_result;
}

uint64_t FakeOwner::GetCallRevision() {
  Log("GetCallRevision");
  return call_revision;
}

std::u16string FakeOwner::GetCallPeerName() {
  Log("GetCallPeerName");
  return call_peer_name;
}

bool FakeOwner::PerformCallAction(uint32_t action, uint64_t revision) {
  Log("PerformCallAction", std::to_string(action) + "," + std::to_string(revision));
  return call_action_result;
}

quorix_native::Ui::Notice FakeOwner::GetActiveNoticeDefault() const {
  return pending_notices.empty() ? Notice{} : pending_notices.front();
}

quorix_native::Ui::Notice FakeOwner::GetActiveNotice() {
  Log("GetActiveNotice");
  return active_notice ? *active_notice : GetActiveNoticeDefault();
}

void FakeOwner::DismissNotice(uint64_t id) { Log("DismissNotice", std::to_string(id)); }

quorix_native::Ui::Notice FakeOwner::GetSystemNotice() {
  Log("GetSystemNotice");
  if (!system_notice_script.empty()) {
    Notice next = std::move(system_notice_script.front());
    system_notice_script.pop_front();
    return next;
  }
  return system_notice;
}

void FakeOwner::DismissSystemNotice(uint64_t id) { Log("DismissSystemNotice", std::to_string(id)); }

void FakeOwner::SetNotificationsEnabled(bool enabled) {
  Log("SetNotificationsEnabled", Flag(enabled));
  notifications_enabled = enabled;
}

bool FakeOwner::AreNotificationsEnabled() {
  Log("AreNotificationsEnabled");
  return notifications_enabled;
}

void FakeOwner::AttachSettings(const UiSettings* settings) {
  Log("AttachSettings", settings != nullptr ? "record" : "null");
  attached_settings = settings;
}

std::string FakeOwner::GetOwnUserId() {
  Log("GetOwnUserId");
  return own_user_id;
}

int32_t FakeOwner::GetPeerNotificationMode(const std::string& peer_id) {
  Log("GetPeerNotificationMode", peer_id);
  const auto it = peer_notification_modes.find(peer_id);
  return it == peer_notification_modes.end() ? 0 : it->second;
}

std::vector<quorix_native::Ui::Notice> FakeOwner::GetPendingNotices() {
  Log("GetPendingNotices");
  if (!pending_notice_script.empty()) {
    std::vector<Notice> next = std::move(pending_notice_script.front());
    pending_notice_script.pop_front();
    return next;
  }
  return pending_notices;
}

quorix_native::Ui::FriendRequestState FakeOwner::GetFriendRequests() {
  Log("GetFriendRequests");
  return friend_requests;
}

bool FakeOwner::RequestFriendOperation(uint32_t operation, const std::string& user_id) {
  Log("RequestFriendOperation", std::to_string(operation) + "," + user_id);
  return friend_operation_result;
}

int32_t FakeOwner::GetFriendPresence(const std::string& user_id) {
  Log("GetFriendPresence", user_id);
  const auto it = friend_presence.find(user_id);
  return it == friend_presence.end() ? 0 : it->second;
}

uint64_t FakeOwner::GetPresenceStatus() {
  Log("GetPresenceStatus");
  return presence_status;
}

uint64_t FakeOwner::GetChatRevision() {
  Log("GetChatRevision");
  return chat_revision;
}

bool FakeOwner::RunHistoryFileDialog(bool import) {
  Log("RunHistoryFileDialog", Flag(import));
  return history_dialog_result;
}

}  // namespace quorix_test
