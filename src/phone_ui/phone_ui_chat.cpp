// The chat app's taps (lists, the call button, live pages, the message field
// and sending), opening conversations, the list fetch and the popup keys.
#include <cmath>
#include <iostream>

#include "chat/avatar_cache.h"
#include "chat/outgoing_check.h"
#include "chat/secure_wipe.h"
#include "core/event_log.h"
#include "core/secret_text.h"
#include "core/text.h"
#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/phone_ui_internal.h"
#include "text_input/tsf_draft_bridge.h"

using phone_ui_detail::In;
using phone_ui_detail::OwnerSignedIn;

namespace {

// The message field's point in the keyboard model: tapping it selects it.
constexpr float kMessageFieldX = 185;
constexpr float kMessageFieldY = 296;
constexpr size_t kMaxSendBytes = 2000;

}  // namespace

void PhoneUi::EmptyMessageField(bool through_bridge) {
  if (!through_bridge || tsf_bridge == nullptr || tsf_bridge->SyncDraft(u"")) keyboard.SetMessageText(u"");
}

bool PhoneUi::TapChatApp(float x, float y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return true;
  // Exit.
  if (In(y, 78, 145) && x >= 390) {
    if (chat_model.snapshot_loaded()) chat_model.Reset();
    chat_view_open = 0;
    ResetLiveConversation();
    dirty = 1;
    std::cout << "MVP03B2B_VIEW=LOGIN_EXIT\n";
    return true;
  }
  // The live row.
  if (live_read_only != 0 && In(y, 147, 184) && x >= 22 && x <= 300) {
    if (owner != nullptr) {
      StartListFetch();
    } else if (list_fetch_started != 0) {
    } else if (chat_model.snapshot_loaded()) {
      if (x >= 164) {
        chat_model.Reset();
        ResetLiveConversation();
        list_fetch_unavailable = 0;
        std::cout << "MVP03B2B_VIEW=DEMO_RESTORED\n";
        dirty = 1;
      } else if (chat_model.mode() == 2) {
        dirty = 1;
      }
    } else {
      list_fetch_unavailable = 0;
      try {
        list_fetch_slot = chat_tasks.list();
        list_fetch_started = 1;
        std::cout << "MVP03B2B_LIVE_GET=USER_OPT_IN\n";
      } catch (...) {
        list_fetch_started = 0;
        list_fetch_unavailable = 1;
        std::cout << "MVP03B2B_LIVE_GET=ASYNC_UNAVAILABLE\n";
      }
      dirty = 1;
    }
    return true;
  }
  if (owner != nullptr && !chat_model.snapshot_loaded()) return true;

  if (chat_model.mode() != 2) {
    if (In(y, 191, 245)) {
      if (x >= 266) {
        chat_model.SelectRightTab();
      } else {
        chat_model.SelectLeftTab();
      }
      dirty = 1;
      return true;
    }
    if (!In(y, 268, 838)) return true;
    std::vector<std::string> ids;
    if (chat_model.mode() == 0) {
      for (const ChatFriend& entry : chat_model.friends()) ids.push_back(entry.user_id);
    } else {
      ids = chat_model.FriendIds();
    }
    const auto row = static_cast<size_t>((y - 268) / 114);
    if (row >= 5 || row >= ids.size() || y >= static_cast<float>(row * 114 + 369) || x < 22 || x > 518) return true;
    if (!chat_model.OpenThread(ids[row])) {
      dirty = 1;
      return true;
    }
    ResetLiveConversation();
    if (live_messaging != 0 && chat_model.snapshot_loaded()) {
      history_fetch_wanted = chat_model.selected_id().empty() ? 0 : 1;
      EmptyMessageField(external_editor == nullptr);
      keyboard.Tap(kMessageFieldX, kMessageFieldY);
      draft_cleared_on_exit = 1;
    }
    dirty = 1;
    return true;
  }

  // The thread view.
  if (call_session != nullptr && In(y, 193, 241) && x >= 305 && x <= 518 && TapCallButton(x)) return true;
  if (In(y, 190, 245) && x < 130) {
    keyboard_open = 0;
    chat_model.CloseThread();
    ResetLiveConversation();
    dirty = 1;
    return true;
  }
  if (live_messaging == 0 || !chat_model.snapshot_loaded()) return true;
  if (history_loaded != 0 && In(y, 247, 283) && x >= 354 && x < 519) {
    const uint64_t count = live_page_list.size();
    const uint64_t pages = count > 0 ? (count - 1) / 5 + 1 : 0;
    const uint64_t shown = pages > 0 ? std::min(live_page_index, pages - 1) : 0;
    if (x < 429 && shown + 1 < pages) {
      ++live_page_index;
    } else if (x >= 433 && shown > 0) {
      --live_page_index;
    }
    dirty = 1;
    return true;
  }
  if (In(y, 774, 852)) {
    if (x < 385) {
      keyboard.Tap(kMessageFieldX, kMessageFieldY);
      keyboard_open = 1;
      candidate_page = 0;
      dirty = 1;
    } else if (x >= 391) {
      SendMessage();
    }
  }
  return true;
}

bool PhoneUi::TapCallButton(float x) {
  const CallSession::Snapshot snapshot = call_session->GetSnapshot();
  const bool live = chat_model.snapshot_loaded();
  const uint32_t state = snapshot.state;
  if (!live && state == CallSession::kIdle) return false;
  if ((!live || state != CallSession::kIdle) && snapshot.peer_id != chat_model.selected_id()) return false;
  if (state == CallSession::kIdle && !call_session->IsBackendReady()) return false;
  if (x < 411) {
    if (state == CallSession::kIncoming) {
      if (owner != nullptr) {
        owner->PerformCallAction(2, owner->GetCallRevision());
      } else {
        call_session->Decline();
      }
    } else if (state == CallSession::kConnected) {
      call_session->SetMuted(snapshot.muted == 0);
    }
  } else if (state == CallSession::kIncoming) {
    if (owner != nullptr) {
      owner->PerformCallAction(1, owner->GetCallRevision());
    } else {
      call_session->Answer();
    }
  } else if (state == CallSession::kIdle || state == CallSession::kFailed) {
    if (state == CallSession::kFailed) call_session->ClearFailure();
    if (live && call_session->IsAvailable()) {
      WriteEventLog("VR_CALL_REQUEST", call_session->StartOutgoing(chat_model.selected_id()) ? 1 : 0, 0);
    }
  } else {
    call_session->HangUp();
  }
  dirty = 1;
  return true;
}

void PhoneUi::SendMessage() {
  if (send_in_flight != 0 || send_outcome_uncertain != 0 || history_loaded == 0 || history_failed != 0) return;
  if (keyboard.active_field != kFieldMessage) return;
  if (tsf_bridge != nullptr && tsf_bridge->IsBusy()) return;
  const SecretWideText text(keyboard.message, kMessageLimit);
  if (text.empty() || text.size() > kMessageLimit) return;

  std::string bytes = WideToUtf8Secret(text.text());
  // The strict conversion gives nothing for an unpaired surrogate.
  const bool converted = !bytes.empty();
  if (converted && bytes.size() > kMaxSendBytes) {
    send_status_text = u"文字数または文字種を確認";
  } else if (!converted || !ValidateOutgoingMessageText(bytes)) {
    send_status_text = u"メッセージを確認";
  } else {
    const std::string peer = chat_model.selected_id();
    if (!peer.empty() && peer == history_peer) {
      try {
        send_slot = chat_tasks.send(peer, bytes);
        sent_text = text.text();
        send_peer = peer;
        send_epoch = conversation_epoch;
        send_in_flight = 1;
        keyboard_open = 0;
        send_status_text = u"送信中...";
        std::cout << "MVP03_CHAT_SEND=USER_TAP_ONE_REQUEST\n";
      } catch (...) {
        send_status_text = u"送信処理開始に失敗";
      }
    }
  }
  SecureWipeString(&bytes);
  dirty = 1;
}

bool PhoneUi::OpenConversation(const std::string& peer_id) {
  if (!OwnerSignedIn(owner) || peer_id.empty()) return false;
  if (!chat_model.snapshot_loaded()) {
    demo_conversation_peer = peer_id;
    chat_view_open = 1;
    StartListFetch();
    dirty = 1;
    return true;
  }
  if (!chat_model.OpenThread(peer_id)) return false;
  ResetLiveConversation();
  native_screen = 4;
  selected_friend_id = peer_id;
  chat_view_open = 1;
  audio_panel_open = 0;
  vr_settings_wrist_page_open = 0;
  vr_settings_fine_tune_open = 0;
  launcher_screen = 1;
  launcher_app = 0;
  transition_kind = kTransitionNone;
  EmptyMessageField(true);
  keyboard.Tap(kMessageFieldX, kMessageFieldY);
  draft_cleared_on_exit = 1;
  history_fetch_wanted = 1;
  dirty = 1;
  return true;
}

void PhoneUi::StartListFetch() {
  if (!OwnerSignedIn(owner) || live_read_only == 0) return;
  if (phone_ui_detail::IsSlotPending(list_fetch_slot)) return;
  list_fetch_unavailable = 0;
  list_fetch_status_revision = owner->GetStatus().revision;
  try {
    list_fetch_slot = chat_tasks.list();
    list_fetch_started = 1;
  } catch (...) {
    list_fetch_started = 0;
    list_fetch_unavailable = 1;
  }
  dirty = 1;
}

uint64_t PhoneUi::GetPopupItemKey(uint32_t slot) const {
  if (!OwnerSignedIn(owner)) return 0;
  if (slot >= 1 && slot <= 3) return phone_ui_detail::FindPopupNotice(*owner, owner->GetPendingNotices(), slot).first;
  if (slot == 4) return phone_ui_detail::SystemNoticeKey(*owner, owner->GetSystemNotice());
  if (slot != 0) return 0;
  const CallSession::Snapshot snapshot = call_session != nullptr ? call_session->GetSnapshot() : CallSession::Snapshot{};
  if (call_popup_active == 0) return call_popup_ended_shown != 0 ? call_popup_counter : 0;
  if (snapshot.state == CallSession::kConnected) return call_popup_counter;
  if (owner->GetPeerNotificationMode(snapshot.peer_id) >= 2 && call_popup_ended_shown == 0) return 0;
  return call_popup_counter;
}

std::array<uint64_t, 3> PhoneUi::GetPopupIdentity(uint32_t slot) const {
  std::array<uint64_t, 3> identity{};
  if (slot == 0 && owner != nullptr) identity[0] = owner->GetCallRevision();
  if (slot >= 1 && slot <= 3) identity[1] = GetPopupItemKey(slot);
  if (slot == 4) identity[2] = GetPopupItemKey(4);
  return identity;
}

std::array<uint64_t, 5> PhoneUi::GetPopupRenderKey(uint32_t slot) const {
  uint64_t theme = 0;
  if (settings != nullptr) theme = (settings->english ? 2 : 0) + (settings->dark ? 1 : 0);
  return {GetPopupItemKey(slot), slot == 0 && owner != nullptr ? owner->GetCallRevision() : 0,
          quorix_avatar::Generation(), theme, call_popup_ended_shown != 0 ? 1u : 0u};
}
