// The per-frame update ahead of the clock and the launcher slide: the owner's
// session and status, the call summary, the chat tasks' results, the list
// result, the draft from the conversion bridge and the sign-in state.
#include <algorithm>
#include <charconv>
#include <iostream>
#include <limits>

#include "chat/avatar_cache.h"
#include "core/event_log.h"
#include "core/ui_settings.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/phone_ui_internal.h"
#include "phone_ui/ui_sound_player.h"
#include "phone_ui/ui_text.h"
#include "platform/clock.h"
#include "text_input/tsf_draft_bridge.h"

namespace {

constexpr int64_t kNotDue = std::numeric_limits<int64_t>::max();
constexpr uint64_t kFriendRefreshMs = 15000;
constexpr uint64_t kCallPopupHideMs = 3000;
constexpr int32_t kMessageSentSound = 5;
constexpr int32_t kTypingKeySound = 10;
constexpr size_t kMessagesPerPage = 5;

// The last avatar cache generation any phone UI model has seen.
uint64_t g_seen_avatar_generation = 0;

const std::string kNoPeer;

template <typename T>
bool IsReady(const std::future<T>& slot) {
  return slot.valid() && slot.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Appends `value` in decimal without allocating beyond the text's capacity.
template <typename T>
void AppendNumber(std::string& text, T value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

}  // namespace

bool PhoneUi::ChatAppShown() const { return settings != nullptr || (launcher_screen == 1 && launcher_app == 0); }

const std::string& PhoneUi::OpenConversationPeer() const {
  const bool live = live_messaging != 0 && chat_view_open != 0 && chat_model.snapshot_loaded() &&
                    chat_model.mode() == 2 && ChatAppShown();
  return live ? chat_model.selected_id() : kNoPeer;
}

void PhoneUi::RunUpdateSteps() {
  // 1. A commit held for a conversion runs once the conversion is over; a
  // refused text is offered again.
  if (external_editor != nullptr && editor_commit_held != 0) {
    if (ConversionSettled()) {
      editor_commit_held = 0;
      FinishExternalEditor(true);
    }
  } else if (external_editor != nullptr && editor_retry_armed != 0 && platform::TickCount64() >= editor_retry_deadline) {
    FinishExternalEditor(editor_retry_commit != 0);
  }
  // 2. Avatars.
  const uint64_t generation = quorix_avatar::Generation();
  if (generation != g_seen_avatar_generation) {
    g_seen_avatar_generation = generation;
    dirty = 1;
  }
  if (owner != nullptr) {
    // 3. Presence.
    const uint64_t presence = owner->GetPresenceStatus();
    if (presence != cached_presence_word) {
      cached_presence_word = presence;
      dirty = 1;
    }
    // 4. The launcher's call and notice cards.
    if (settings == nullptr) {
      const uint64_t call_revision = owner->GetCallRevision();
      const uint64_t notice_id = owner->GetActiveNotice().id;
      const bool incoming = call_session != nullptr && call_session->GetSnapshot().state == CallSession::kIncoming;
      if (call_revision != cached_call_revision) {
        cached_call_revision = call_revision;
        call_card_expanded = incoming ? 1 : 0;
        dirty = 1;
        if (incoming) {
          ++popup_counter;
          keyboard_open = 0;
          keyboard.WipePassword();
        }
      }
      if (notice_id != cached_notice_id) {
        cached_notice_id = notice_id;
        dirty = 1;
        if (notice_id != 0) ++popup_counter;
      }
    }
    // 5. The owner's session.
    const quorix_native::Ui::Status status = owner->GetStatus();
    if (status.revision != cached_status_revision) {
      // Signed in, out or into another account: nothing of the old one stays.
      if (external_editor != nullptr) CloseExternalEditor(external_editor_id);
      ClearTextCache();
      cached_status_revision = status.revision;
      chat_model.Reset();
      chat_view_open = 0;
      audio_panel_open = 0;
      ResetLiveConversation();
      keyboard.WipePassword();
      keyboard.SetMessageText(u"");
      if (tsf_bridge != nullptr) tsf_bridge->SyncDraft(u"");
      keyboard_open = 0;
      friend_id_entry_active = 0;
      list_fetch_unavailable = 0;
      last_owner_action_failed = 0;
      dirty = 1;
    }
    if (status.code != cached_status_code) {
      cached_status_code = status.code;
      last_owner_action_failed = 0;
      dirty = 1;
    }
    if (status.signed_in == 0 && chat_view_open != 0) {
      chat_view_open = 0;
      ResetLiveConversation();
      dirty = 1;
    }
  }
  // 6. Native mode.
  if (settings != nullptr) SyncWithOwner();
  // 7. The call summary.
  if (call_session != nullptr) UpdateCallSummary();
  // 8. The conversation tasks.
  PollChatResults();
  // 9. The list fetch.
  if (list_fetch_started != 0 && list_fetch_slot.valid()) TakeListResult();
  // 10. Leaving the launcher's chat app ends the live data. The native
  // screens keep theirs: the launcher's numbers never reset it there, so an
  // idle phone does not fetch its lists again and again.
  if (!ChatAppShown()) {
    if (chat_model.snapshot_loaded()) {
      chat_model.Reset();
      chat_view_open = 0;
      ResetLiveConversation();
    }
    keyboard_open = 0;
  }
  // 11. The draft from the conversion bridge.
  if (tsf_bridge != nullptr && ActiveKeyboard().active_field == kFieldMessage) SyncDraftFromBridge();
  // 12. The auth helper, without an owner.
  if (owner == nullptr && auth_helper.Poll()) dirty = 1;
  // 13. The sign-in worker.
  const uint32_t sign_in_state = sign_in_worker.state.load();
  if (sign_in_state != cached_sign_in_state) {
    cached_sign_in_state = sign_in_state;
    dirty = 1;
  }
}

void PhoneUi::UpdateCallSummary() {
  const CallSession::Snapshot snapshot = call_session->GetSnapshot();
  std::string& text = call_summary_build;
  text.clear();
  text.reserve(96);
  text.append(CallSession::StateName(snapshot.state));
  text.append(snapshot.muted != 0 ? "|MUTED" : "|OPEN");
  text.append(call_session->IsBackendReady() ? "|READY" : "|DISABLED");
  text.append(call_session->IsAvailable() ? "|CAN_START" : "|RECEIVE_ONLY");
  if (audio_panel_open != 0 && owner != nullptr) {
    const quorix_native::Ui::AudioDeviceList microphones = owner->GetAudioDevices(true);
    const quorix_native::Ui::AudioDeviceList speakers = owner->GetAudioDevices(false);
    text.append("|AUDIO:");
    AppendNumber(text, microphones.revision);
    text.push_back(':');
    AppendNumber(text, microphones.selected);
    text.push_back(':');
    AppendNumber(text, speakers.revision);
    text.push_back(':');
    AppendNumber(text, speakers.selected);
  }
  if (text == call_summary_text) return;
  call_summary_text.swap(text);
  dirty = 1;
}

void PhoneUi::TakeListResult() {
  if (!IsReady(list_fetch_slot)) return;
  list_fetch_started = 0;
  try {
    std::future<quorix_mvp03b2b::FetchResult> slot = std::move(list_fetch_slot);
    const quorix_mvp03b2b::FetchResult result = slot.get();
    const std::string reopen = chat_model.mode() == 2 ? chat_model.selected_id() : std::string();
    if (owner != nullptr && owner->GetStatus().revision != list_fetch_status_revision) {
      // The session changed while the lists were fetched.
      WriteEventLog("UI32_LIST_RESULT", 7, 0);
      dirty = 1;
      return;
    }
    const bool shown = settings != nullptr || (chat_view_open != 0 && ChatAppShown());
    bool accepted = shown && owner != nullptr && !result.self_id.empty() && result.self_id == owner->GetOwnUserId() &&
                    result.code == 0;
    if (accepted) accepted = chat_model.LoadSnapshot(ChatSnapshot{result.self_id, result.friends, result.conversations});
    if (!accepted) {
      list_fetch_unavailable = 1;
      WriteEventLog("UI32_LIST_RESULT", uint64_t{result.code} + 1, 0);
      std::cout << "MVP03B2B_VR_LIVE_LISTS=NOT_VERIFIED\n";
      dirty = 1;
      return;
    }
    list_fetch_unavailable = 0;
    quorix_avatar::SetWantedIds(CollectFriendIds(chat_model));
    if (!reopen.empty() && !chat_model.OpenThread(reopen)) {
      ResetLiveConversation();
      native_screen = 1;
    }
    WriteEventLog("UI32_LIST_RESULT", 0, result.friends.size());
    std::cout << "MVP03B2B_VR_LIVE_LISTS=PASS friends=" << result.friends.size()
              << " conversations=" << result.conversations.size() << "\n";
    dirty = 1;
  } catch (...) {
    list_fetch_unavailable = 1;
    std::cout << "MVP03B2B_VR_LIVE_LISTS=INTERNAL_ERROR\n";
    dirty = 1;
  }
}

void PhoneUi::SyncDraftFromBridge() {
  const QuorixTsfDraftBridge::State& state = *tsf_bridge->GetState();
  if (state.revision == bridge_revision) return;
  const uint64_t candidate_count = state.candidates.size();
  if (state.candidates_present != cached_candidate_flag ||
      (state.candidates_present != 0 && candidate_count != cached_candidate_count)) {
    candidate_page = 0;
  }
  cached_candidate_flag = state.candidates_present;
  cached_candidate_count = candidate_count;
  const uint64_t revision = state.revision;
  QuorixVrKeyboard& active = ActiveKeyboard();
  if (state.draft != active.message) {
    const size_t old_units = active.message.size();
    const size_t new_units = state.draft.size();
    const bool applied = active.SetMessageText(state.draft);
    const size_t moved = old_units > new_units ? old_units - new_units : new_units - old_units;
    if (applied && state.candidates_present == 0 && moved < 3) PlayUiSound(kTypingKeySound, false);
    std::cout << "MVP02C3D_VR_DRAFT_SYNC=" << (applied ? "APPLIED" : "REJECTED") << " old_units=" << old_units
              << " new_units=" << new_units << " focus=" << (state.focused != 0 ? "IN" : "OUT")
              << " revision=" << revision << "\n";
    bridge_revision = revision;
    if (applied && external_editor != nullptr) {
      // The editor's owner hears of every change; the caret follows the text.
      selection_start = selection_end = new_units;
      changed_from = 0;
      editor_retry_commit = 0;
      FinishExternalEditor(false);
    }
  }
  bridge_revision = revision;
  dirty = 1;
}

void PhoneUi::PollChatResults() {
  const std::string& open = OpenConversationPeer();
  const auto now = static_cast<int64_t>(platform::TickCount64());

  if (owner != nullptr) {
    const uint64_t revision = owner->GetChatRevision();
    if (revision != cached_chat_revision) {
      cached_chat_revision = revision;
      history_refresh_due = now;
      if (open.empty()) {
        list_refresh_wanted = 1;
      } else {
        history_fetch_wanted = 1;
      }
    }
  }

  // The mark-as-read result.
  if (read_in_flight != 0 && IsReady(read_slot)) {
    read_in_flight = 0;
    uint32_t code = 7;
    try {
      std::future<quorix_mvp03read::Result> slot = std::move(read_slot);
      code = slot.get().code;
    } catch (...) {
      code = 7;
      dirty = 1;
    }
    if (!open.empty() && open == read_peer && read_epoch == conversation_epoch) {
      read_status_text.clear();
      if (code == 0 && chat_model.snapshot_loaded() && chat_model.MarkThreadRead(open)) {
        std::cout << "MVP03_AUTO_READ=SERVER_ACK\n";
      } else {
        std::cout << "MVP03_AUTO_READ=NOT_VERIFIED status=" << code << "\n";
      }
      dirty = 1;
    }
  }

  // The history page.
  if (history_fetch_in_flight != 0 && IsReady(history_slot)) {
    history_fetch_in_flight = 0;
    quorix_mvp03live::Result result;
    try {
      std::future<quorix_mvp03live::Result> slot = std::move(history_slot);
      result = slot.get();
    } catch (...) {
      result = quorix_mvp03live::Result{};
      result.code = 9;
      dirty = 1;
    }
    if (!open.empty() && open == history_peer && open == history_request_peer &&
        history_request_epoch == conversation_epoch) {
      if (result.code == 0) {
        live_page_list = std::move(result.messages);
        const size_t n = live_page_list.size();
        if (n > 0) live_page_index = std::min<uint64_t>(live_page_index, (n - 1) / kMessagesPerPage);
        history_loaded = 1;
        history_failed = 0;
        std::cout << "MVP03_CHAT_HISTORY=PASS count=" << n << "\n";
      } else {
        history_loaded = 0;
        history_failed = 1;
        std::cout << "MVP03_CHAT_HISTORY=FAIL status=" << result.code << "\n";
      }
      dirty = 1;
    }
    history_refresh_due = kNotDue;
  }

  // The send.
  if (send_in_flight != 0 && IsReady(send_slot)) {
    send_in_flight = 0;
    try {
      std::future<quorix_mvp03live::Result> slot = std::move(send_slot);
      quorix_mvp03live::Result result = slot.get();
      if (result.code == 0) UiSoundPlayer::Instance().Play(kMessageSentSound, false);
      if (!open.empty() && open == history_peer && open == send_peer && send_epoch == conversation_epoch) {
        if (result.code == 0) {
          send_status_text = result.expired ? u"配信期限切れ・履歴はこのPCに保存しました" : u"送信済み・このPCに保存しました";
          if (keyboard.message == sent_text) {
            if (tsf_bridge != nullptr && external_editor == nullptr) {
              if (tsf_bridge->SyncDraft(u"")) keyboard.SetMessageText(u"");
            } else {
              keyboard.SetMessageText(u"");
            }
          }
          for (ChatMessage& message : result.messages) {
            const bool known = std::any_of(live_page_list.begin(), live_page_list.end(),
                                           [&](const ChatMessage& entry) { return entry.id == message.id; });
            if (!known) live_page_list.push_back(std::move(message));
          }
          history_refresh_due = kNotDue;
          live_page_index = 0;
          std::cout << "MVP03_CHAT_SEND=SERVER_ACK_SAVED delivered=" << (result.delivered ? 1 : 0) << "\n";
        } else {
          send_outcome_uncertain = result.code == 7 ? 1 : 0;
          send_status_text = result.code == 7 ? u"結果不明：再送せず履歴を確認" : u"送信失敗（下書き保持）";
          std::cout << "MVP03_CHAT_SEND=" << (result.code == 7 ? "UNCERTAIN_NO_AUTO_RETRY" : "REJECTED")
                    << " status=" << result.code << "\n";
        }
        sent_text.clear();
        dirty = 1;
      }
    } catch (...) {
      send_outcome_uncertain = 1;
      send_status_text = u"結果不明：再送せず履歴を確認";
      dirty = 1;
    }
  }

  if (open.empty()) return;
  // Mark the conversation read once its page has loaded.
  if (history_loaded != 0 && history_fetch_wanted != 0 && read_in_flight == 0 && !read_slot.valid()) {
    history_fetch_wanted = 0;
    try {
      read_slot = chat_tasks.mark_read(open);
      read_peer = open;
      read_epoch = conversation_epoch;
      read_in_flight = 1;
      std::cout << "MVP03_AUTO_READ=STARTED_ON_ROOM_OPEN\n";
    } catch (...) {
      std::cout << "MVP03_AUTO_READ=NOT_VERIFIED status=7\n";
    }
    dirty = 1;
  }
  // Another conversation.
  if (open != history_peer) {
    history_peer = open;
    live_page_list.clear();
    history_loaded = 0;
    history_failed = 0;
    send_outcome_uncertain = 0;
    history_refresh_due = now;
  }
  // Its history.
  if (history_fetch_in_flight == 0 && send_in_flight == 0 && history_refresh_due <= now && !history_slot.valid()) {
    history_refresh_due = kNotDue;
    try {
      history_slot = chat_tasks.history(open);
      history_request_peer = open;
      history_request_epoch = conversation_epoch;
      history_fetch_in_flight = 1;
    } catch (...) {
      history_failed = 1;
      std::cout << "MVP03_CHAT_HISTORY=FAIL status=9\n";
    }
    dirty = 1;
  }
}

void PhoneUi::SyncWithOwner() {
  if (settings == nullptr || owner == nullptr) return;
  ui_render_english = settings->english;
  ui_render_dark = settings->dark;

  const quorix_native::Ui::Status status = owner->GetStatus();
  const bool signed_in = status.signed_in != 0;
  const auto list_in_flight = [this] { return list_fetch_started != 0 && list_fetch_slot.valid(); };
  if (signed_in && !chat_model.snapshot_loaded() && !list_in_flight() && list_fetch_unavailable == 0) {
    StartListFetch();
  }
  // A conversation chosen before the lists had loaded opens now.
  if (!demo_conversation_peer.empty() && chat_model.snapshot_loaded() && !list_in_flight()) {
    const std::string peer = std::move(demo_conversation_peer);
    demo_conversation_peer.clear();
    OpenConversation(peer);
  }

  const quorix_native::Ui::FriendRequestState requests = owner->GetFriendRequests();
  if (requests.revision != cached_friend_request_revision) {
    cached_friend_request_revision = requests.revision;
    dirty = 1;
    if (requests.busy == 0 && requests.failed == 0) list_refresh_wanted = 1;
  }
  const uint64_t now = platform::TickCount64();
  if (native_screen == 5 && signed_in && requests.busy == 0 && now >= friend_request_refresh_deadline) {
    owner->RequestFriendOperation(0, std::string());
    friend_request_refresh_deadline = now + kFriendRefreshMs;
  }
  if (list_refresh_wanted != 0 && signed_in && native_screen != 4 && !list_fetch_slot.valid()) {
    StartListFetch();
    list_refresh_wanted = 0;
  }

  // The call popup.
  const CallSession::Snapshot call = call_session != nullptr ? call_session->GetSnapshot() : CallSession::Snapshot{};
  const bool active = call.state >= CallSession::kOutgoing && call.state <= CallSession::kEnding;
  if (active) {
    if (call_popup_active == 0) {
      ++call_popup_counter;
      call_popup_ended_shown = 0;
      call_popup_hide_deadline = 0;
    }
    if (call_popup_peer_id != call.peer_id) call_popup_peer_id = call.peer_id;
    call_popup_peer_name = owner->GetCallPeerName();
  } else if (call_popup_active != 0) {
    call_popup_ended_shown = 1;
    call_popup_hide_deadline = now + kCallPopupHideMs;
  }
  call_popup_active = active ? 1 : 0;
  if (call_popup_ended_shown != 0 && now >= call_popup_hide_deadline) {
    call_popup_ended_shown = 0;
    WriteEventLog("UI_CALL_POPUP_AUTO_HIDDEN", kCallPopupHideMs, 0);
  }

  if (native_screen == 3 || native_screen == 6 || native_screen == 7 || native_screen == 9) {
    audio_panel_open = native_screen == 6 ? 1 : 0;
    vr_settings_wrist_page_open = vr_settings_fine_tune_open = native_screen == 7 ? 1 : 0;
  }
  if (!signed_in) {
    if (native_screen != 0 && native_screen != 3 && native_screen != 6 && native_screen != 7 && native_screen != 9) {
      native_screen = 0;
    }
    selected_friend_id.clear();
    demo_conversation_peer.clear();
    friend_id_entry_active = 0;
    call_popup_ended_shown = 0;
  }
}
