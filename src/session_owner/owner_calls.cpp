// Calls and the chat history as the phone UI follows them: the call view's
// change counter, the peer's name, the user's call actions, the history
// counter and dialog, and the avatar painter the panel and popups share.
#include <vector>

#include "chat/avatar_cache.h"
#include "chat/history_file_dialog.h"
#include "chat/history_session.h"
#include "core/event_log.h"
#include "core/text.h"
#include "platform/ui_window.h"
#include "session_owner/window.h"

void PaintAvatar(const platform::ui::PaintTarget& target, int32_t x, int32_t y, int32_t size, const std::string& user_id,
                 uint32_t background) {
  if (size < 4 || size > 128) return;
  const size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
  std::vector<uint8_t> pixels(count * 4);
  for (size_t i = 0; i < count; ++i) {
    pixels[i * 4] = static_cast<uint8_t>(background & 0xFF);
    pixels[i * 4 + 1] = static_cast<uint8_t>((background >> 8) & 0xFF);
    pixels[i * 4 + 2] = static_cast<uint8_t>((background >> 16) & 0xFF);
    pixels[i * 4 + 3] = 0xFF;
  }
  quorix_avatar::Draw(pixels, static_cast<uint32_t>(size), 0, 0, size, quorix_avatar::Find(user_id));
  // R G B A to the bitmap's B G R order.
  for (size_t i = 0; i < count; ++i) std::swap(pixels[i * 4], pixels[i * 4 + 2]);
  platform::ui::DrawPixels(target, x, y, size, size, pixels.data());
}

namespace two_pc {

uint64_t Window::GetCallRevision() {
  const CallSession::Snapshot call = session_ != nullptr ? session_->GetSnapshot() : CallSession::Snapshot{};
  const std::string call_id = gateway_ != nullptr ? gateway_->current_call_id() : std::string();
  if (call_revision_ == 0 || call_id != call_id_ || call.state != call_state_ || call.muted != call_muted_ ||
      session_revision_ != call_session_revision_) {
    ++call_revision_;
    call_id_ = call_id;
    call_state_ = call.state;
    call_muted_ = call.muted;
    call_session_revision_ = session_revision_;
  }
  return call_revision_;
}

std::u16string Window::GetCallPeerName() {
  const std::string peer = session_ != nullptr ? session_->GetSnapshot().peer_id : std::string();
  auto name = friend_names_.find(peer);
  const std::u16string text =
      name != friend_names_.end() && !name->second.empty() ? name->second : Utf8ToWideOrEmpty(peer);
  return ToSingleLine(text, 64);
}

bool Window::PerformCallAction(uint32_t action, uint64_t call_revision) {
  if (closing_ != 0 || signed_in_ == 0 || session_ == nullptr) return false;
  if (call_revision != GetCallRevision()) return false;
  const CallSession::Snapshot call = session_->GetSnapshot();
  bool result = false;
  switch (action) {
    case 1:
      result = call.state == CallSession::kIncoming && session_->IsBackendReady() && session_->Answer();
      break;
    case 2:
      result = call.state == CallSession::kIncoming && session_->Decline();
      break;
    case 3:
      result = (call.state == CallSession::kOutgoing || call.state == CallSession::kConnecting ||
                call.state == CallSession::kConnected) &&
               session_->HangUp();
      break;
    case 4:
      result = call.state == CallSession::kConnected && session_->SetMuted(call.muted == 0);
      break;
    case 5:
      result = call.state == CallSession::kFailed && session_->ClearFailure() &&
               session_->GetSnapshot().state == CallSession::kIdle;
      break;
    default:
      break;
  }
  if (result && (action == 1 || action == 2)) incoming_call_notice_ = 0;
  WriteEventLog("NOTICE_CALL_ACTION", action, result ? 1 : 0);
  return result;
}

uint64_t Window::GetChatRevision() { return HistorySession::ChangeCounter(); }

bool Window::RunHistoryFileDialog(bool import) {
  if (signed_in_ == 0) return false;
  return ShowHistoryFileDialog(window_, import);
}

}  // namespace two_pc
