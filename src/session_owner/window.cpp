#include "session_owner/window.h"

#include <algorithm>
#include <utility>

#include "chat/avatar_cache.h"
#include "chat/history_session.h"
#include "chat/secure_wipe.h"
#include "core/environment.h"
#include "core/event_log.h"
#include "core/text.h"
#include "core/ui_settings.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/crypto.h"
#include "platform/env.h"
#include "platform/gtk_presenter.h"
#include "platform/ui_window.h"
#include "session_owner/window_internal.h"

namespace ui = platform::ui;

namespace {

// A friend name longer than this (bytes) is replaced by the user id, and at
// most this many friends reach the history session (its own limits).
constexpr size_t kMaxHistoryNameBytes = 4096;
constexpr size_t kMaxHistoryFriends = 10000;

void WipeWide(std::u16string* text) {
  platform::SecureZero(text->data(), text->size() * sizeof(char16_t));
  text->clear();
}

}  // namespace

std::map<const two_pc::Window*, SessionRestoreEntry>& SessionRestoreTable() {
  static std::map<const two_pc::Window*, SessionRestoreEntry> table;
  return table;
}

std::map<const two_pc::Window*, NoticePollRecord>& NoticePollTable() {
  static std::map<const two_pc::Window*, NoticePollRecord> table;
  return table;
}

void ClearCurrentNotice(CurrentNoticeRecord& record) {
  WipeWide(&record.notice.title);
  WipeWide(&record.notice.body);
  record.notice.id = 0;
  record.notice.expiry = 0;
}

void SetCurrentNotice(CurrentNoticeRecord& record, std::u16string title, std::u16string body, uint64_t now) {
  ClearCurrentNotice(record);
  record.notice.id = ++record.last_id;
  record.notice.title = ToSingleLine(title, 64);
  record.notice.body = ToSingleLine(body, 180);
  record.notice.expiry = now + 3000;
  WipeWide(&title);
  WipeWide(&body);
}

std::u16string ReadControlText(platform::WindowHandle control) {
  const int64_t length = ui::GetWindowTextLength(control);
  if (length < 0 || length > 10000) return {};
  return ui::GetWindowText(control);
}

std::u16string Utf8ToWideOrEmpty(const std::string& text) { return Utf8ToWideStrict(text); }

platform::WindowHandle CreateChildControl(platform::WindowHandle parent, const std::u16string& class_name,
                                          const std::u16string& text, int32_t x, int32_t y, int32_t width,
                                          int32_t height, uint32_t id, uint32_t style) {
  ui::WindowSpec spec;
  spec.class_name = class_name;
  spec.text = text;
  spec.style = style | ui::kWsChild | ui::kWsVisible;
  spec.x = x;
  spec.y = y;
  spec.width = width;
  spec.height = height;
  spec.parent = parent;
  spec.id = id;
  const platform::WindowHandle control = ui::CreateWindowRecord(spec);
  // The default GUI font; there is nothing to draw it with here.
  ui::SendMessage(control, ui::kWmSetFont, 0, 1);
  return control;
}

namespace two_pc {

Window::Window(CallSession* session, quorix_phone::WindowsWire* wire, quorix_phone::Gateway* gateway)
    : session_(session), wire_(wire), gateway_(gateway) {}

Window::~Window() { Close(); }

bool Window::Create(bool phone_mode) {
  if (HasWindowHandle() || closing_ != 0) return false;
  phone_mode_ = phone_mode ? 1 : 0;
  const int32_t apartment = platform::InitializeApartment();
  if (platform::ApartmentEntered(apartment)) {
    com_initialized_ = 1;
  } else if (apartment != platform::kApartmentChangedMode) {
    return false;
  }
  const uint32_t registered = ui::RegisterWindowClass({u"Quorix2PCTestPanel", &Window::WindowProc});
  if (registered != ui::kClassRegistered && registered != ui::kErrorClassAlreadyExists) return false;

  ui::WindowSpec spec;
  spec.class_name = u"Quorix2PCTestPanel";
  spec.text = phone_mode ? u"QuorixPhone" : u"Quorix Desktop";
  spec.style = ui::kWsOverlapped | ui::kWsCaption | ui::kWsSysMenu | ui::kWsMinimizeBox;
  spec.x = ui::kCwUseDefault;
  spec.y = ui::kCwUseDefault;
  spec.width = 780;
  spec.height = 660;
  spec.param = this;
  if (ui::CreateWindowRecord(spec) == platform::kNoWindow) {
    window_ = platform::kNoWindow;
    return false;
  }
  if (session_ != nullptr) session_->SetPrepareCheck([this] { return ApplyAudioSelection(); });
  if (!phone_mode) {
    // On the display when one is open; without one the panel stays a record.
    (void)platform::StartWindowPresenter();
    ui::ShowWindow(window_, true);
    return true;
  }
  if (IsLiveProductionMode()) {
    SessionRestoreEntry& entry = SessionRestoreTable()[this];
    entry.wanted = 1;
    entry.next_attempt_ms = platform::TickCount64();
  }
  ui::ShowWindow(window_, false);
  return true;
}

void Window::SetBusyCheck(std::function<bool()> check) { busy_check_ = std::move(check); }

intptr_t Window::WindowProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message == ui::kWmNcCreate) {
    const auto* params = reinterpret_cast<const ui::CreateParams*>(lparam);
    auto* self = static_cast<Window*>(params->param);
    ui::SetUserData(window, reinterpret_cast<intptr_t>(self));
    self->window_ = window;
    return ui::DefWindowProc(window, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Window*>(ui::GetUserData(window));
  if (self == nullptr) return ui::DefWindowProc(window, message, wparam, lparam);
  switch (message) {
    case ui::kWmCreate:
      self->CreateControls();
      return 0;
    case ui::kWmMeasureItem:
      if (wparam != kFriendListId) break;
      if (lparam != 0) *reinterpret_cast<uint32_t*>(lparam) = 28;
      return 1;
    case ui::kWmDrawItem:
      if (wparam != kFriendListId) break;
      if (lparam != 0) self->DrawFriendRow(*reinterpret_cast<const ui::DrawItem*>(lparam));
      return 1;
    case ui::kWmCommand:
      self->OnCommand(static_cast<uint32_t>(wparam & 0xFFFF), static_cast<uint32_t>((wparam >> 16) & 0xFFFF));
      return 0;
    case ui::kWmDestroy:
      self->Close();
      if (self->phone_mode_ == 0) ui::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ui::DefWindowProc(window, message, wparam, lparam);
}

void Window::CreateControls() {
  struct Control {
    const char16_t* class_name;
    std::u16string text;
    uint32_t style;
    int32_t x, y, width, height;
    uint32_t id;
    uint32_t limit;  // EM_LIMITTEXT; 0 = none
    platform::WindowHandle* handle;
  };
  using namespace platform::ui;
  const Control controls[] = {
      {u"STATIC", u"Quorix login/chat + formal server-authorized native calls.", 0, 15, 10, 735, 25, 0, 0, nullptr},
      {u"STATIC", ReadEnvironmentString(u"QUORIX_2PC_ORIGIN"), 0, 15, 35, 735, 25, 0, 0, nullptr},
      {u"EDIT", u"", kWsBorder | kEsAutoHScroll, 15, 65, 160, 26, 0, 128, &user_id_field_},
      {u"EDIT", u"", kWsBorder | kEsAutoHScroll | kEsPassword, 185, 65, 250, 26, 0, 256, &password_field_},
      {u"BUTTON", u"Login / reconnect", 0, 450, 65, 150, 28, kSignInButtonId, 0, &sign_in_button_},
      {u"BUTTON", u"Logout", 0, 610, 65, 120, 28, kSignOutButtonId, 0, nullptr},
      {u"COMBOBOX", u"", kWsVScroll | kCbsDropDownList | kCbsOwnerDrawFixed | kCbsHasStrings, 15, 105, 220, 160,
       kFriendListId, 0, &friend_list_},
      {u"STATIC", u"Real ID / password above; select friend after login", 0, 245, 105, 485, 38, 0, 0, &status_label_},
      {u"COMBOBOX", u"", kWsVScroll | kCbsDropDownList, 15, 155, 340, 180, kMicrophoneListId, 0, &microphone_list_},
      {u"COMBOBOX", u"", kWsVScroll | kCbsDropDownList, 375, 155, 355, 180, kSpeakerListId, 0, &speaker_list_},
      {u"STATIC", u"Microphone", 0, 15, 137, 200, 18, 0, 0, nullptr},
      {u"STATIC", u"Speaker / headset", 0, 375, 137, 200, 18, 0, 0, nullptr},
      {u"BUTTON", u"Call (test grant)", 0, 15, 190, 115, 30, kCallButtonId, 0, &call_button_},
      {u"BUTTON", u"Answer", 0, 140, 190, 100, 30, kAnswerButtonId, 0, nullptr},
      {u"BUTTON", u"Reject", 0, 250, 190, 100, 30, kRejectButtonId, 0, nullptr},
      {u"BUTTON", u"Mute / unmute", 0, 360, 190, 125, 30, kMuteButtonId, 0, nullptr},
      {u"BUTTON", u"End", 0, 495, 190, 90, 30, kEndButtonId, 0, nullptr},
      {u"BUTTON", u"Refresh devices", 0, 595, 190, 135, 30, kRefreshDevicesButtonId, 0, nullptr},
      {u"BUTTON", u"Permission-denial probe", 0, 15, 228, 200, 26, kPermissionProbeButtonId, 0, nullptr},
      {u"BUTTON", u"Clear failure", 0, 225, 228, 115, 26, kClearFailureButtonId, 0, nullptr},
      {u"STATIC", u"Audio RTP: NOT_RUN", 0, 350, 228, 380, 30, 0, 0, &media_status_label_},
      {u"EDIT", u"", kWsVScroll | kWsBorder | kEsMultiline | kEsAutoVScroll | kEsReadOnly, 15, 270, 715, 240, 0, 0,
       &transcript_},
      {u"EDIT", u"", kWsBorder | kEsMultiline | kEsAutoVScroll, 15, 525, 590, 65, 0, 2000, &draft_field_},
      {u"BUTTON", u"Send", 0, 620, 535, 110, 35, kSendButtonId, 0, nullptr},
  };
  for (const Control& control : controls) {
    const platform::WindowHandle handle = CreateChildControl(window_, control.class_name, control.text, control.x,
                                                             control.y, control.width, control.height, control.id,
                                                             control.style);
    if (control.limit != 0) SendMessage(handle, kEmLimitText, control.limit, 0);
    if (control.handle != nullptr) *control.handle = handle;
  }
  RefreshDeviceList(true);
  RefreshDeviceList(false);
  EnableWindow(call_button_, false);
}

uint32_t Window::StatusCode(const StatusInput& in) {
  if (in.closing) return 0;
  if (in.sign_in_task_valid || in.restore_wanted) return 1;
  if (in.sign_out_task_valid) return 6;
  if (!in.signed_in) return in.sign_in_failed ? 5 : 0;
  if (in.recovery_state == 1) return 7;
  if (in.connected && in.recovery_state != 2) return 3;
  if (in.connection_start_ms != 0 && in.now_ms >= in.connection_start_ms &&
      in.now_ms - in.connection_start_ms < 15000) {
    return 2;
  }
  return 4;
}

quorix_native::Ui::Status Window::GetStatus() {
  StatusInput in;
  in.closing = closing_ != 0;
  in.sign_in_task_valid = sign_in_task_.valid();
  auto restore = SessionRestoreTable().find(this);
  in.restore_wanted = restore != SessionRestoreTable().end() && restore->second.wanted != 0;
  in.sign_out_task_valid = sign_out_task_.valid();
  in.signed_in = signed_in_ != 0;
  in.sign_in_failed = sign_in_failed_ != 0;
  in.recovery_state = gateway_ != nullptr ? gateway_->recovery_state : 0;
  in.connected = wire_ != nullptr && wire_->IsConnected();
  in.connection_start_ms = connection_start_ms_;
  in.now_ms = platform::TickCount64();

  Status status;
  status.code = StatusCode(in);
  status.revision = session_revision_;
  status.signed_in = (!in.closing && in.signed_in) ? 1 : 0;
  if (session_ != nullptr) {
    const uint32_t state = session_->GetSnapshot().state;
    status.call_ready = (status.signed_in != 0 && session_->IsAvailable()) ? 1 : 0;
    status.idle = (!in.closing && (state == CallSession::kIdle || state == CallSession::kFailed)) ? 1 : 0;
  } else {
    status.idle = in.closing ? 0 : 1;
  }
  return status;
}

std::string Window::GetOwnUserId() { return signed_in_ != 0 ? own_user_id_ : std::string(); }

void Window::SetStatusText(const char16_t* text) { ui::SetWindowText(status_label_, text); }

void Window::Tick() {
  if (!HasWindowHandle() || closing_ != 0) return;
  const uint64_t now = platform::TickCount64();
  if (SessionRestoreTable().count(this) != 0) TickRestore(now);
  CollectSignOut();
  CollectSignIn();
  CollectChatTask();
  const bool connected = wire_ != nullptr && wire_->IsConnected();
  if (session_ != nullptr) session_->enabled = (signed_in_ != 0 && connected) ? 1 : 0;

  const std::string peer = session_ != nullptr ? session_->GetSnapshot().peer_id : std::string();
  if (quorix_avatar::Refresh(session_revision_, signed_in_ != 0, own_user_id_, friend_ids_, peer)) {
    ui::InvalidateRect(friend_list_, true);
    if (chat_popup_ != platform::kNoWindow) ui::InvalidateRect(chat_popup_, true);
    if (call_popup_ != platform::kNoWindow) ui::InvalidateRect(call_popup_, true);
  }
  if (signed_in_ != 0 && connected && now >= next_presence_ms_) {
    next_presence_ms_ = now + 5000;
    (void)wire_->RequestPresence();
  }
  ApplyFriendResult();
  if (signed_in_ != 0) KeepHistoryOpen(now);
  UpdateNotices();
  UiSoundPlayer::Instance().ReleaseFinishedVoices();

  const Status status = GetStatus();
  if (status.code != last_logged_status_) {
    last_logged_status_ = status.code;
    WriteEventLog("NATIVE_SESSION_STATE", status.code, 0);
  }
  UpdateStatusLine();

  const uint32_t state = session_ != nullptr ? session_->GetSnapshot().state : CallSession::kIdle;
  const bool idle_or_failed = state == CallSession::kIdle || state == CallSession::kFailed;
  const bool available = session_ != nullptr && session_->IsAvailable();
  ui::EnableWindow(friend_list_, state == CallSession::kIdle);
  ui::EnableWindow(call_button_, signed_in_ != 0 && available && idle_or_failed);
  ui::EnableWindow(microphone_list_, idle_or_failed);
  ui::EnableWindow(speaker_list_, idle_or_failed);
  if (state != last_call_state_) {
    if (state == CallSession::kOutgoing || state == CallSession::kIncoming) call_phase_start_ms_ = now;
    last_call_state_ = state;
  }
  if (now >= next_call_audio_ms_) {
    next_call_audio_ms_ = now + 2000;
    ObserveCallAudio();
  }
  if (phone_mode_ == 0) FetchSelectedHistory(now);
}

void Window::UpdateStatusLine() {
  const CallSession::Snapshot call = session_ != nullptr ? session_->GetSnapshot() : CallSession::Snapshot{};
  const bool connected = wire_ != nullptr && wire_->IsConnected();
  const bool available = session_ != nullptr && session_->IsAvailable();
  const uint32_t recovery = gateway_ != nullptr ? gateway_->recovery_state : 0;

  std::string key = call.state_name;
  key += connected ? " ONLINE" : " OFFLINE";
  if (call.muted != 0) key += " MUTED";
  key += signed_in_ != 0 ? " AUTH_OK" : " AUTH_OFF";
  key += available ? " CAN_REQUEST" : " CALL_OFF";
  if (recovery == 1) key += " RECOVERING";
  if (recovery == 2) key += " RELOGIN";
  key += own_user_id_;
  if (key == last_status_key_) return;
  last_status_key_ = std::move(key);

  std::string line = own_user_id_;
  line += " | call:";
  line += available ? "check on start" : "off";
  line += " | peer=";
  line += !call.peer_id.empty() ? call.peer_id : selected_friend_id_;
  line += " | ";
  line += call.state_name;
  line += connected ? " ONLINE" : " PHONE OFFLINE";
  if (call.muted != 0) line += " MUTED";
  if (recovery == 1) line += " | 終話の確認中";
  if (recovery == 2) line += " | 接続を確認して再ログインしてください";
  ui::SetWindowText(status_label_, Utf8ToWideOrEmpty(line));
  WriteEventLog("CALL_STATE", call.state, connected ? 1 : 0);
}

void Window::KeepHistoryOpen(uint64_t now) {
  const bool list_changed =
      !history_friends_built_ || history_friend_ids_ != friend_ids_ || history_friend_names_ != friend_names_;
  if (list_changed) {
    history_friends_.clear();
    const size_t count = std::min(friend_ids_.size(), kMaxHistoryFriends);
    history_friends_.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      const std::string& id = friend_ids_[i];
      auto name = friend_names_.find(id);
      std::string display = name != friend_names_.end() ? WideToUtf8(name->second) : id;
      if (display.size() > kMaxHistoryNameBytes) display = id;
      history_friends_.push_back(ChatFriend{id, std::move(display)});
    }
    history_friend_ids_ = friend_ids_;
    history_friend_names_ = friend_names_;
    history_friends_built_ = true;
  }
  if (history_open_failed_ && !list_changed && history_failed_user_ == own_user_id_ &&
      history_failed_revision_ == session_revision_ && now - history_failed_at_ms_ < kHistoryRetryMs) {
    return;
  }
  if (HistorySession::Open(own_user_id_, session_revision_, wire_, history_friends_)) {
    history_open_failed_ = false;
    return;
  }
  history_open_failed_ = true;
  history_failed_user_ = own_user_id_;
  history_failed_revision_ = session_revision_;
  history_failed_at_ms_ = now;
  WriteEventLog("LOCAL_HISTORY_NOT_READY", 1, 0);
}

void Window::ResetSession() {
  HistorySession::Reset(session_revision_);
  if (closing_ != 0) {
    NoticePollTable().erase(this);
  } else {
    NoticePollTable()[this] = NoticePollRecord{};
  }
  UiSoundPlayer::Instance().StopAll();
  for (Notice& notice : notice_queue_.notices) {
    WipeWide(&notice.title);
    WipeWide(&notice.body);
  }
  notice_queue_.notices.clear();
  friend_requests_ = FriendRequestState{};
  ClearCurrentNotice(current_notice_);
  incoming_call_notice_ = 0;
  previous_status_code_ = 0;
  previous_call_state_ = 0;
  sound_call_state_ = 0;
  sound_muted_ = 0;
  next_ring_ms_ = 0;
  call_peer_id_.clear();
  WipeWide(&caller_name_);
  friend_names_.clear();
  for (platform::WindowHandle* popup : {&call_popup_, &chat_popup_}) {
    if (*popup != platform::kNoWindow) ui::DestroyWindow(*popup);
    *popup = platform::kNoWindow;
  }
  call_popup_revision_ = 0;
  chat_popup_notice_id_ = 0;
}

void Window::Close() {
  if (closing_ != 0) return;
  closing_ = 1;
  quorix_avatar::Clear();
  ++session_revision_;
  NoticePollTable().erase(this);
  HistorySession::Reset(session_revision_);
  if (session_ != nullptr) session_->SetPrepareCheck({});
  auto restore = SessionRestoreTable().find(this);
  if (restore != SessionRestoreTable().end()) {
    restore->second.wanted = 0;
    if (restore->second.task.valid()) {
      try {
        quorix_session_restore::Result result = restore->second.task.get();
        SecureWipeString(&result.token);
      } catch (...) {
      }
    }
    SessionRestoreTable().erase(restore);
  }
  if (sign_in_task_.valid()) {
    try {
      LoginResult result = sign_in_task_.get();
      SecureWipeString(&result.phone_token);
    } catch (...) {
    }
  }
  WaitAndDrop(chat_task_);
  WaitAndDrop(friend_task_);
  WaitAndDrop(sign_out_task_);
  WaitAndDrop(notice_poll_task_);
  UiSoundPlayer::Instance().StopAll();
  ResetSession();
  if (popup_owner_ != platform::kNoWindow) ui::DestroyWindow(popup_owner_);
  popup_owner_ = platform::kNoWindow;
  if (gateway_ != nullptr) {
    gateway_->Activate();
    gateway_->SetIdentity("", session_revision_);
  }
  if (wire_ != nullptr) wire_->Stop();
  WriteEventLog("SESSION_PRESERVED_ON_CLOSE", 1, 0);
  (void)platform::env::Unset("QUORIX_C1B_CAPTURE_ID");
  (void)platform::env::Unset("QUORIX_C1B_RENDER_ID");
  if (window_ != platform::kNoWindow) {
    const platform::WindowHandle window = std::exchange(window_, platform::kNoWindow);
    ui::DestroyWindow(window);
  }
  if (com_initialized_ != 0) {
    platform::UninitializeApartment();
    com_initialized_ = 0;
  }
  WriteEventLog("PANEL_CLOSED", 0, 0);
}

// Members the calls, notices, popups, audio devices, friend requests and the
// desktop panel fill; until then they keep the owner signed-in-session only.

}  // namespace two_pc
