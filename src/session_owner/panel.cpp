// The desktop panel's commands: its buttons and lists drive the same owner
// operations the phone UI reaches through the owner interface.
#include "core/secret_text.h"
#include "core/text.h"
#include "platform/ui_window.h"
#include "session_owner/window.h"

namespace two_pc {

namespace ui = platform::ui;

void Window::SignInFromFields() {
  std::u16string password = ReadControlText(password_field_);
  ui::SetWindowText(password_field_, u"");
  const std::u16string user_id = ReadControlText(user_id_field_);
  std::string password_utf8 = WideToUtf8Secret(password);
  WipeWideString(&password);
  // The outcome shows in the status label.
  (void)StartSignIn(WideToUtf8(user_id), std::move(password_utf8));
}

void Window::StartPanelCall() {
  if (session_ == nullptr || signed_in_ == 0 || wire_ == nullptr || !wire_->IsConnected()) return;
  if (session_->GetSnapshot().state == CallSession::kFailed) (void)session_->ClearFailure();
  (void)session_->StartOutgoing(selected_friend_id_);
}

void Window::OnCommand(uint32_t id, uint32_t code) {
  switch (id) {
    case kSignInButtonId:
      SignInFromFields();
      return;
    case kSignOutButtonId:
      (void)SignOut();
      return;
    case kCallButtonId:
    case kPermissionProbeButtonId:
      StartPanelCall();
      return;
    case kAnswerButtonId:
    case kRejectButtonId:
      (void)PerformCallAction(id == kAnswerButtonId ? 1 : 2, GetCallRevision());
      return;
    case kMuteButtonId:
      if (session_ != nullptr) (void)session_->SetMuted(session_->GetSnapshot().muted == 0);
      return;
    case kEndButtonId:
      if (session_ != nullptr) (void)session_->HangUp();
      return;
    case kSendButtonId:
      (void)SendDraftMessage();
      return;
    case kRefreshDevicesButtonId:
      (void)RefreshAudioDevices();
      next_history_fetch_ms_ = 0;
      return;
    case kClearFailureButtonId:
      if (session_ != nullptr) (void)session_->ClearFailure();
      return;
    case kFriendListId: {
      const intptr_t row = ui::SendMessage(friend_list_, ui::kCbGetCurSel, 0, 0);
      if (row < 0 || static_cast<size_t>(row) >= friend_ids_.size()) return;
      if (session_ != nullptr && session_->GetSnapshot().state != CallSession::kIdle) return;
      selected_friend_id_ = friend_ids_[static_cast<size_t>(row)];
      next_history_fetch_ms_ = 0;
      ui::SetWindowText(transcript_, u"");
      return;
    }
    case kMicrophoneListId:
    case kSpeakerListId:
      if (code != ui::kCbnSelChange) return;
      if (id == kSpeakerListId) PublishBrowserOutputSelection();
      if (ApplyAudioSelection()) SetStatusText(u"マイクとスピーカーを選択しました");
      return;
    default:
      return;
  }
}

void Window::DrawFriendRow(const ui::DrawItem& item) {
  const ui::PaintTarget& target = item.target;
  const uint32_t fill =
      ui::GetSystemColour(target, item.selected ? ui::SystemColour::kHighlight : ui::SystemColour::kWindow);
  (void)ui::FillRect(target, item.rect, fill);
  if (item.index >= 0 && static_cast<size_t>(item.index) < friend_ids_.size()) {
    const std::string& id = friend_ids_[static_cast<size_t>(item.index)];
    PaintAvatar(target, item.rect.left + 3, item.rect.top + 2, 24, id, fill);
    const auto name = friend_names_.find(id);
    const std::u16string label = name != friend_names_.end() ? name->second : Utf8ToWideOrEmpty(id);
    ui::Rect text = item.rect;
    text.left += 34;
    (void)ui::DrawTextLine(target, text, label,
                           ui::GetSystemColour(target, item.selected ? ui::SystemColour::kHighlightText
                                                                     : ui::SystemColour::kWindowText));
  }
  if (item.focused) (void)ui::DrawFocusRect(target, item.rect);
}

}  // namespace two_pc
