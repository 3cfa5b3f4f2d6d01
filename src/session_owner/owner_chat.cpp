// The desktop panel's chat task: one send of the draft, or the periodic
// fetch of the selected friend's conversation, collected on the tick.
#include <cmath>
#include <future>
#include <string>
#include <utility>

#include "chat/history_session.h"
#include "chat/message_sync.h"
#include "chat/outgoing_check.h"
#include "core/event_log.h"
#include "core/secret_text.h"
#include "core/text.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/ui_window.h"
#include "session_owner/call_audio.h"
#include "session_owner/window.h"
#include "session_owner/window_internal.h"

namespace ui = platform::ui;

namespace {

constexpr int32_t kSentSound = 5;
constexpr uint64_t kHistoryFetchIntervalMs = 3000;

void AppendAscii(std::u16string* out, const std::string& text) { out->append(text.begin(), text.end()); }

}  // namespace

std::u16string BuildTranscript(int32_t unread, const std::vector<ChatMessage>& messages) {
  std::u16string text = u"Server unread: ";
  AppendAscii(&text, std::to_string(unread));
  text += u"\r\n";
  for (const ChatMessage& message : messages) {
    AppendAscii(&text, std::to_string(two_pc::ClampToWholeNumber(message.timestamp)));
    text += u"  ";
    text += Utf8ToWideOrEmpty(message.sender);
    text += u": ";
    text += Utf8ToWideOrEmpty(message.text);
    text += u"\r\n";
  }
  return text;
}

namespace two_pc {

bool Window::SendDraftMessage() {
  if (signed_in_ == 0 || selected_friend_id_.empty() || chat_task_.valid()) return false;
  std::u16string draft = ReadControlText(draft_field_);
  std::string text = WideToUtf8(draft);
  if (!ValidateOutgoingMessageText(text)) {
    SetStatusText(u"Empty/too long/invalid message");
    return false;
  }
  sending_draft_ = std::move(draft);
  chat_task_kind_ = 1;
  chat_task_ = std::async(std::launch::async, SendMessageJob(selected_friend_id_, std::move(text)));
  SetStatusText(u"Sending once; no automatic retry");
  return true;
}

void Window::FetchSelectedHistory(uint64_t now) {
  if (signed_in_ == 0 || selected_friend_id_.empty() || chat_task_.valid() || now < next_history_fetch_ms_) return;
  chat_task_kind_ = 0;
  chat_task_ = std::async(std::launch::async, [peer = selected_friend_id_] { return RunPeerHistoryTask(peer); });
  next_history_fetch_ms_ = now + kHistoryFetchIntervalMs;
}

void Window::CollectChatTask() {
  if (!IsReady(chat_task_)) return;
  try {
    const quorix_mvp03live::Result result = chat_task_.get();
    if (result.code != 0) {
      SetStatusText(chat_task_kind_ == 1 ? u"Send uncertain/rejected; draft retained. Check history before retry"
                                         : u"History unavailable; reconnect if needed");
      WriteEventLog("CHAT_FAILED", result.code, 0);
    } else if (chat_task_kind_ == 1) {
      PlayUiSound(kSentSound, false);
      if (ReadControlText(draft_field_) == sending_draft_) ui::SetWindowText(draft_field_, u"");
      WriteEventLog("CHAT_ACK", result.delivered ? 1 : 0, 0);
    } else {
      ui::SetWindowText(transcript_, BuildTranscript(unread_, result.messages));
      WriteEventLog("CHAT_HISTORY", result.messages.size(), 0);
    }
  } catch (...) {
    SetStatusText(u"Chat operation failed; draft retained");
  }
  chat_task_kind_ = 0;
  WipeWideString(&sending_draft_);
}

}  // namespace two_pc
