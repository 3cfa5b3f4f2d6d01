// Notices for the phone UI: the chat notices of the inbox poll, the one
// system notice (failed and missed calls, sign-in and connection changes),
// the per-peer notification mode, the call sounds and the poll's schedule.
#include <algorithm>
#include <future>
#include <utility>

#include "chat/message_sync.h"
#include "core/event_log.h"
#include "core/secret_text.h"
#include "core/text.h"
#include "core/ui_settings.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/clock.h"
#include "session_owner/window.h"
#include "session_owner/window_internal.h"

using Notice = quorix_native::Ui::Notice;

namespace {

constexpr uint64_t kNoticeLifetimeMs = 3000;
constexpr size_t kMaxQueuedNotices = 3;
constexpr uint64_t kPollRetryDelayMs = 10000;

// The UI sounds of calls and messages.
constexpr int32_t kSoundCallIncoming = 0;
constexpr int32_t kSoundCallOutgoing = 1;
constexpr int32_t kSoundCallConnected = 2;
constexpr int32_t kSoundCallEnded = 3;
constexpr int32_t kSoundMessageReceived = 4;
constexpr int32_t kSoundMuteOn = 6;
constexpr int32_t kSoundMuteOff = 7;
constexpr int32_t kSoundError = 8;

void WipeNotice(Notice& notice) {
  WipeWideString(&notice.title);
  WipeWideString(&notice.body);
}

}  // namespace

void NoticeQueue::Push(const std::string& peer_id, std::u16string title, std::u16string body, uint64_t now) {
  PruneExpired(now);
  Notice notice;
  notice.id = ++last_id;
  notice.expiry = now + kNoticeLifetimeMs;
  notice.peer_id = peer_id;
  notice.title = ToSingleLine(title, 64);
  notice.body = ToSingleLine(body, 180);
  notices.push_front(std::move(notice));
  while (notices.size() > kMaxQueuedNotices) {
    WipeNotice(notices.back());
    notices.pop_back();
  }
  WipeWideString(&title);
  WipeWideString(&body);
}

std::vector<Notice> NoticeQueue::CopyUnexpired(uint64_t now) const {
  std::vector<Notice> copies;
  for (const Notice& notice : notices) {
    if (notice.expiry > now) copies.push_back(notice);
  }
  return copies;
}

void NoticeQueue::Remove(uint64_t id) {
  auto it = std::find_if(notices.begin(), notices.end(), [id](const Notice& n) { return n.id == id; });
  if (it == notices.end()) return;
  WipeNotice(*it);
  notices.erase(it);
}

void NoticeQueue::PruneExpired(uint64_t now) {
  for (auto it = notices.begin(); it != notices.end();) {
    if (it->expiry <= now) {
      WipeNotice(*it);
      it = notices.erase(it);
    } else {
      ++it;
    }
  }
}

void ClearCurrentNoticeIfId(CurrentNoticeRecord& record, uint64_t id) {
  if (record.notice.id == id) ClearCurrentNotice(record);
}

Notice CopyCurrentNoticeIfUnexpired(const CurrentNoticeRecord& record, uint64_t now) {
  if (record.notice.id == 0 || now >= record.notice.expiry) return {};
  return record.notice;
}

int32_t LookupPeerNotificationMode(const UiSettings& settings, const std::string& own_id,
                                   const std::string& peer_id) {
  auto stored = settings.peer_modes.find(own_id + "/" + peer_id);
  const int32_t peer_mode = stored != settings.peer_modes.end() ? stored->second : 0;
  return std::max(settings.notification_mode, peer_mode);
}

bool ShouldStartNoticePoll(const NoticePollRecord& record, const quorix_phone::Gateway::InboxReadiness& inbox,
                           uint64_t now) {
  if (record.in_flight != 0 || now < record.not_before_ms) return false;
  const bool nothing_new = record.succeeded_once != 0 && inbox.change_count == record.change_count_at_success;
  if (!nothing_new) return true;
  const bool lease_active = inbox.ready != 0 && now < inbox.lease_until;
  const uint64_t since_success = now >= record.last_success_ms ? now - record.last_success_ms : 0;
  if (inbox.stream_seen == 0) return since_success >= (lease_active ? 30000 : 2000);
  if (lease_active) return false;
  return since_success >= 60000;
}

namespace two_pc {

Notice Window::GetActiveNotice() { return GetActiveNoticeDefault(*this); }

void Window::DismissNotice(uint64_t id) { notice_queue_.Remove(id); }

Notice Window::GetSystemNotice() { return CopyCurrentNoticeIfUnexpired(current_notice_, platform::TickCount64()); }

void Window::DismissSystemNotice(uint64_t id) { ClearCurrentNoticeIfId(current_notice_, id); }

void Window::SetNotificationsEnabled(bool enabled) {
  notifications_ = enabled ? 1 : 0;
  UpdateDesktopNotices();
}

int32_t Window::GetPeerNotificationMode(const std::string& peer_id) {
  return settings_ != nullptr ? LookupPeerNotificationMode(*settings_, own_user_id_, peer_id) : 0;
}

std::vector<Notice> Window::GetPendingNotices() {
  std::vector<Notice> pending = notice_queue_.CopyUnexpired(platform::TickCount64());
  std::vector<Notice> shown;
  for (Notice& notice : pending) {
    if (GetPeerNotificationMode(notice.peer_id) < 2) {
      shown.push_back(std::move(notice));
    } else {
      WipeNotice(notice);
    }
  }
  return shown;
}

void Window::UpdateNotices() {
  const uint64_t now = platform::TickCount64();
  // 1. Expiry.
  notice_queue_.PruneExpired(now);
  if (current_notice_.notice.id != 0 && now >= current_notice_.notice.expiry) ClearCurrentNotice(current_notice_);

  // 2. A call that failed.
  const uint32_t state = session_ != nullptr ? session_->GetSnapshot().state : CallSession::kIdle;
  if (signed_in_ != 0 && state == CallSession::kFailed && previous_call_state_ != CallSession::kFailed) {
    SetCurrentNotice(current_notice_, u"通話に接続できませんでした", u"Quorixで接続状態を確認してください", now);
    WriteEventLog("VR_SYSTEM_NOTICE", 5, 0);
  }
  previous_call_state_ = state;

  // 3. A call that rang and ended unanswered.
  if (signed_in_ != 0 && state == CallSession::kIncoming) {
    incoming_call_notice_ = 1;
    caller_name_ = GetCallPeerName();
  } else if (incoming_call_notice_ != 0) {
    if (signed_in_ != 0 && state == CallSession::kIdle) {
      SetCurrentNotice(current_notice_, u"不在着信", caller_name_, now);
      WriteEventLog("VR_SYSTEM_NOTICE", 1, 0);
    }
    incoming_call_notice_ = 0;
    WipeWideString(&caller_name_);
  }

  // 4. Sign-in and connection changes.
  const Status status = GetStatus();
  if (status.code != previous_status_code_) {
    if (status.code == 5) {
      SetCurrentNotice(current_notice_, u"ログインを確認してください", u"IDとパスワードを確認して再操作してください",
                       now);
      WriteEventLog("VR_SYSTEM_NOTICE", 2, 0);
    } else if (status.signed_in != 0 && previous_status_code_ == 3 && (status.code == 4 || status.code == 7)) {
      SetCurrentNotice(current_notice_, u"通話の接続を確認してください",
                       u"接続の回復を待つか、Quorixから再ログインしてください", now);
      WriteEventLog("VR_SYSTEM_NOTICE", 3, 0);
    } else if (previous_status_code_ == 4 && status.code == 3) {
      SetCurrentNotice(current_notice_, u"通話の待受が復旧しました", u"着信を受け取れます", now);
      WriteEventLog("VR_SYSTEM_NOTICE", 4, 0);
    }
    previous_status_code_ = status.code;
  }

  // 5 and 6. The inbox poll.
  CollectNoticePoll(now);
  StartNoticePoll(now);

  // 7 and 8.
  UpdateCallSounds(now);
  UpdateDesktopNotices();
}

void Window::CollectNoticePoll(uint64_t now) {
  NoticePollRecord& record = NoticePollTable()[this];
  const uint64_t generation = gateway_ != nullptr ? gateway_->inbox.generation : 0;
  auto fail = [&] {
    record.in_flight = 0;
    if (record.generation_at_start == generation) record.not_before_ms = now + kPollRetryDelayMs;
  };
  quorix_notice::Batch batch;
  struct WipeEntries {
    quorix_notice::Batch& batch;
    ~WipeEntries() {
      for (quorix_notice::Entry& entry : batch.entries) {
        WipeWholeString(&entry.text);
        WipeWholeString(&entry.display_name);
      }
    }
  } wipe_entries{batch};
  try {
    if (!IsReady(notice_poll_task_)) return;
    batch = notice_poll_task_.get();
  } catch (...) {
    fail();
    return;
  }
  if (signed_in_ == 0 || batch.revision != session_revision_) return;
  try {
    if (!batch.succeeded) {
      WriteEventLog("CHAT_NOTICE_POLL_FAILED", 0, 0);
    } else {
      bool sound = false;
      for (const quorix_notice::Entry& entry : batch.entries) {
        const int32_t mode = GetPeerNotificationMode(entry.peer_id);
        if (mode >= 2) continue;
        notice_queue_.Push(entry.peer_id, Utf8ToWideOrEmpty(entry.display_name.empty() ? entry.peer_id
                                                                                        : entry.display_name),
                           Utf8ToWideOrEmpty(entry.text), now);
        WriteEventLog("CHAT_NOTICE_SHOWN", notice_queue_.CopyUnexpired(now).size(), 0);
        sound = sound || mode == 0;
      }
      if (sound) {
        const bool in_call = session_ != nullptr && session_->GetSnapshot().state == CallSession::kConnected;
        PlayUiSound(kSoundMessageReceived, in_call);
      }
    }
    if (record.in_flight != 0) {
      record.in_flight = 0;
      if (record.generation_at_start == generation) {
        if (batch.succeeded && !batch.incomplete) {
          record.succeeded_once = 1;
          record.last_success_ms = now;
          record.change_count_at_success = record.change_count_at_start;
          record.not_before_ms = 0;
        } else {
          record.not_before_ms = now + kPollRetryDelayMs;
        }
      }
      if (batch.succeeded && batch.more_pending) record = NoticePollRecord{};
    }
  } catch (...) {
    WriteEventLog("CHAT_NOTICE_POLL_FAILED", 1, 0);
    fail();
  }
}

void Window::StartNoticePoll(uint64_t now) {
  if (signed_in_ == 0 || own_user_id_.empty() || gateway_ == nullptr) return;
  if (notice_poll_task_.valid() && !IsReady(notice_poll_task_)) return;
  NoticePollRecord& record = NoticePollTable()[this];
  const quorix_phone::Gateway::InboxReadiness& inbox = gateway_->inbox;
  if (!ShouldStartNoticePoll(record, inbox, now)) return;
  record.in_flight = 1;
  record.change_count_at_start = inbox.change_count;
  record.generation_at_start = inbox.generation;
  try {
    notice_poll_task_ = std::async(std::launch::async, RunInboxPollTask, session_revision_);
  } catch (...) {
    record.in_flight = 0;
    if (record.generation_at_start == inbox.generation) record.not_before_ms = now + kPollRetryDelayMs;
  }
}

void Window::UpdateCallSounds(uint64_t now) {
  if (session_ == nullptr) return;
  const CallSession::Snapshot call = session_->GetSnapshot();
  if (!call.peer_id.empty()) call_peer_id_ = call.peer_id;
  const int32_t mode = GetPeerNotificationMode(call_peer_id_);
  const bool ringing = call.state == CallSession::kOutgoing || call.state == CallSession::kIncoming;
  UiSoundPlayer& player = UiSoundPlayer::Instance();
  if (call.state != sound_call_state_) {
    if (!ringing) {
      player.StopAll();
      if (mode == 0) {
        if (call.state == CallSession::kConnected) PlayUiSound(kSoundCallConnected, false);
        if (call.state == CallSession::kFailed) PlayUiSound(kSoundError, false);
        if (call.state == CallSession::kIdle) PlayUiSound(kSoundCallEnded, false);
      }
    } else {
      next_ring_ms_ = 0;
    }
    sound_call_state_ = call.state;
    sound_muted_ = call.muted;
  }
  if (call.state == CallSession::kConnected && call.muted != sound_muted_) {
    sound_muted_ = call.muted;
    if (mode == 0) PlayUiSound(call.muted != 0 ? kSoundMuteOn : kSoundMuteOff, false);
    return;
  }
  if (mode != 0) {
    if (ringing) player.StopAll();
    return;
  }
  if (ringing && now >= next_ring_ms_) {
    const bool incoming = call.state == CallSession::kIncoming;
    PlayUiSound(incoming ? kSoundCallIncoming : kSoundCallOutgoing, false);
    next_ring_ms_ = now + (incoming ? 2700 : 2800);
  }
}

}  // namespace two_pc
