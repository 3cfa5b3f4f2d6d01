// Sign-in, sign-out and the restore of the stored session: the background
// tasks and how the tick applies their results.
#include <algorithm>
#include <set>
#include <utility>

#include "chat/account_requests.h"
#include "chat/auth_reply.h"
#include "chat/avatar_cache.h"
#include "chat/secure_wipe.h"
#include "chat/session_file.h"
#include "core/event_log.h"
#include "core/json.h"
#include "core/service_origin.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/ui_window.h"
#include "session_owner/window.h"
#include "session_owner/window_internal.h"

namespace ui = platform::ui;

namespace {

bool MakeAccountEndpoint(ServiceEndpoint* endpoint) {
  return ParseServiceEndpoint(endpoint, quorix_service::kServiceBaseUrl);
}

// The runtime mode chooses the phone service's base URL.
bool MakePhoneEndpoint(ServiceEndpoint* endpoint) { return ParseServiceEndpoint(endpoint, ""); }

}  // namespace

bool HasPendingRestore(const two_pc::Window* window) {
  auto it = SessionRestoreTable().find(window);
  return it != SessionRestoreTable().end() && it->second.task.valid();
}

quorix_session_restore::Result RestoreStoredSession(const ServiceEndpoint& account, const ServiceEndpoint& phone) {
  quorix_session_restore::Result result;
  StoredSession stored;
  WipeStringOnExit wipe_stored(stored.token);
  if (!LoadSessionFile(&stored)) return result;  // status 0
  auto expired = [&result] {
    DeleteSessionFile();
    result.status = 2;
    return std::move(result);
  };
  if (stored.user_id.empty() || stored.user_id.size() > 128 || !IsValidSessionToken(stored.token)) return expired();

  result.status = 3;
  AccountHttpReply me = AccountGetMe(account, stored.token);
  WipeStringOnExit wipe_me(me.body);
  const uint32_t checked = two_pc::ReadRestoreCheck(me, stored.user_id);
  if (checked == 2) return expired();
  if (checked != 0) return result;

  AccountHttpReply friends = AccountGetFriends(account, stored.user_id, stored.token);
  WipeStringOnExit wipe_friends(friends.body);
  two_pc::FriendList list;
  const uint32_t listed = two_pc::ReadRestoreFriends(friends, stored.user_id, &list);
  if (listed == 2) return expired();
  if (listed != 0) return result;

  AccountHttpReply session = AccountOpenPhoneSession(phone, stored.user_id, stored.token);
  WipeStringOnExit wipe_session(session.body);
  if (!two_pc::ReadPhoneSession(session, stored.user_id, true, &result.token)) return result;
  result.status = 1;
  result.user_id = stored.user_id;
  result.friend_ids = std::move(list.ids);
  result.display_names = std::move(list.names);
  return result;
}

namespace two_pc {

bool Window::BusyRuleRefuses() {
  if (closing_ != 0) return true;
  if (sign_in_task_.valid() || sign_out_task_.valid() || HasPendingRestore(this) || chat_task_.valid() ||
      friend_task_.valid()) {
    return true;
  }
  return busy_check_ && busy_check_();
}

void Window::EndSessionLocally() {
  SessionRestoreTable().erase(this);
  ++session_revision_;
  quorix_avatar::Clear();
  NoticePollTable()[this] = NoticePollRecord{};
  ResetSession();
  sign_in_failed_ = 0;
  connection_start_ms_ = 0;
  if (gateway_ != nullptr) {
    gateway_->Activate();
    gateway_->SetIdentity("", session_revision_);
  }
  if (wire_ != nullptr) wire_->Stop();
  signed_in_ = 0;
  if (session_ != nullptr) session_->enabled = 0;
}

bool Window::SignIn(std::u16string user_id, std::u16string password) {
  std::string password_utf8 = WideToUtf8Secret(password);
  WipeWideString(&password);
  const bool started = StartSignIn(WideToUtf8(user_id), std::move(password_utf8));
  // A short password was copied out of this string's inline buffer.
  WipeWholeString(&password_utf8);
  if (started) ui::SetWindowText(user_id_field_, user_id);
  return started;
}

bool Window::StartSignIn(std::string user_id, std::string password) {
  SecretText secret(std::move(password));  // wiped on every refusal
  if (BusyRuleRefuses()) return false;
  if (session_ != nullptr && session_->state != CallSession::kIdle && session_->state != CallSession::kFailed) {
    return false;
  }
  std::u16string host;
  uint16_t port = 0;
  if (!ResolveServiceHost(&host, &port)) {
    SetStatusText(u"通話の接続先を確認してください");
    return false;
  }
  if (user_id.empty() || user_id.size() > 128 || secret.empty() || secret.text().size() > 256) {
    SetStatusText(u"Quorix IDとパスワードを確認してください");
    return false;
  }
  EndSessionLocally();
  ui::EnableWindow(sign_in_button_, false);
  SetStatusText(u"Real Quorix login; password goes directly to official HTTPS API...");
  sign_in_task_ = std::async(std::launch::async, &Window::SignInTask, std::move(user_id), std::move(secret));
  return true;
}

Window::LoginResult Window::SignInTask(std::string user_id, SecretText password) {
  LoginResult result;
  ServiceEndpoint account;
  if (!MakeAccountEndpoint(&account)) return result;

  StoredSession stored;
  if (LoadSessionFile(&stored)) {
    AccountHttpReply ended = AccountLogout(account, stored.token);
    SecureWipeString(&ended.body);
  }
  SecureWipeString(&stored.token);
  DeleteSessionFile();

  AccountHttpReply login = AccountLogin(account, user_id, password.text());
  password.Wipe();
  AuthReply login_reply = ParseAuthReply(login.body);
  SecureWipeString(&login.body);
  const std::string& token = login_reply.token;
  WipeStringOnExit wipe_token(login_reply.token);
  if (!LoginAccepted(login, login_reply, user_id)) return result;

  AccountHttpReply me = AccountGetMe(account, token);
  const bool checked = ReadSessionCheck(me, user_id);
  SecureWipeString(&me.body);
  AccountHttpReply friends = AccountGetFriends(account, user_id, token);
  WipeStringOnExit wipe_friends(friends.body);
  FriendList list;
  if (checked && friends.ok && friends.status == 200 && ReadFriendsReply(friends.body, user_id, &list)) {
    result.friend_ids = std::move(list.ids);
    result.display_names = std::move(list.names);
    StoredSession fresh{user_id, token};
    result.ok = SaveSessionFile(fresh) ? 1 : 0;
    SecureWipeString(&fresh.token);
    result.user_id = user_id;
  }
  if (result.ok == 0) {
    AccountHttpReply ended = AccountLogout(account, token);
    SecureWipeString(&ended.body);
    return result;
  }

  ServiceEndpoint phone;
  if (!MakePhoneEndpoint(&phone)) return result;
  AccountHttpReply session = AccountOpenPhoneSession(phone, user_id, token);
  WipeStringOnExit wipe_session(session.body);
  WriteEventLog("PHONE_BOOTSTRAP_STATUS", session.status, session.ok ? 1 : 0);
  ReadPhoneSession(session, user_id, false, &result.phone_token);
  return result;
}

void Window::CollectSignIn() {
  if (!IsReady(sign_in_task_)) return;
  try {
    LoginResult result = sign_in_task_.get();
    if (result.ok != 0) {
      ApplyVerifiedAuth(std::move(result));
    } else {
      SecureWipeString(&result.phone_token);
      sign_in_failed_ = 1;
      SetStatusText(u"Real login rejected / account unavailable / DPAPI failure");
    }
  } catch (...) {
    sign_in_failed_ = 1;
    SetStatusText(u"Real login failed; password not stored");
  }
  ui::EnableWindow(sign_in_button_, true);
  next_history_fetch_ms_ = 0;
}

void Window::ApplyVerifiedAuth(LoginResult result) {
  WipeStringOnExit wipe_token(result.phone_token);
  own_user_id_ = result.user_id;
  friend_ids_ = std::move(result.friend_ids);
  friend_names_ = std::move(result.display_names);
  signed_in_ = 1;
  if (session_ != nullptr) session_->enabled = 0;
  ui::SetWindowText(user_id_field_, Utf8ToWideOrEmpty(own_user_id_));
  ShowFriendList(std::string());
  if (gateway_ != nullptr) gateway_->SetIdentity(own_user_id_, session_revision_);
  if (!result.phone_token.empty() && wire_ != nullptr) {
    connection_start_ms_ = platform::TickCount64();
    if (!wire_->Start(own_user_id_, result.phone_token)) connection_start_ms_ = 0;
  }
  SecureWipeString(&result.phone_token);
  WriteEventLog("AUTH_REAL_VERIFIED", 0, 0);
  next_history_fetch_ms_ = 0;
}

void Window::ShowFriendList(const std::string& wanted) {
  ui::SendMessage(friend_list_, ui::kCbResetContent, 0, 0);
  for (const std::string& id : friend_ids_) {
    const std::u16string row = Utf8ToWideOrEmpty(id);
    ui::SendMessage(friend_list_, ui::kCbAddString, 0, reinterpret_cast<intptr_t>(&row));
  }
  auto selected = std::find(friend_ids_.begin(), friend_ids_.end(), wanted);
  if (selected == friend_ids_.end()) selected = friend_ids_.begin();
  selected_friend_id_ = selected == friend_ids_.end() ? std::string() : *selected;
  if (selected != friend_ids_.end()) {
    ui::SendMessage(friend_list_, ui::kCbSetCurSel, static_cast<uintptr_t>(selected - friend_ids_.begin()), 0);
  }
}

quorix_session_restore::Result Window::SessionRestoreTask() {
  ServiceEndpoint account;
  ServiceEndpoint phone;
  if (!MakeAccountEndpoint(&account) || !MakePhoneEndpoint(&phone)) {
    quorix_session_restore::Result result;
    result.status = 3;
    return result;
  }
  return RestoreStoredSession(account, phone);
}

void Window::TickRestore(uint64_t now) {
  SessionRestoreEntry& entry = SessionRestoreTable()[this];
  if (IsReady(entry.task)) {
    quorix_session_restore::Result result;
    try {
      result = entry.task.get();
    } catch (...) {
      result = quorix_session_restore::Result{};
      result.status = 3;
    }
    WipeStringOnExit wipe_token(result.token);
    if (result.status == 1) {
      entry.wanted = 0;
      sign_in_failed_ = 0;
      LoginResult login;
      login.ok = 1;
      login.user_id = std::move(result.user_id);
      login.phone_token = std::move(result.token);
      login.friend_ids = std::move(result.friend_ids);
      login.display_names = std::move(result.display_names);
      ApplyVerifiedAuth(std::move(login));
      WriteEventLog("SESSION_RESTORE_VERIFIED", 1, 0);
      ui::EnableWindow(sign_in_button_, true);
    } else if (result.status == 0 || result.status == 2) {
      entry.wanted = 0;
      sign_in_failed_ = 0;
      WriteEventLog(result.status == 0 ? "SESSION_RESTORE_ABSENT" : "SESSION_RESTORE_EXPIRED", 1, 0);
      ui::EnableWindow(sign_in_button_, true);
    } else {
      static constexpr uint64_t kDelays[] = {1000, 2000, 5000, 10000, 30000};
      const uint64_t delay = kDelays[std::min<uint32_t>(entry.attempts, 4)];
      entry.attempts = std::min<uint32_t>(entry.attempts + 1, 5);
      entry.next_attempt_ms = now + delay;
      WriteEventLog("SESSION_RESTORE_RETRY", delay, 0);
    }
  }
  if (entry.wanted == 0 || entry.task.valid() || sign_in_task_.valid() || sign_out_task_.valid() ||
      now < entry.next_attempt_ms) {
    return;
  }
  if (entry.attempts == 0) {
    ++session_revision_;
    NoticePollTable()[this] = NoticePollRecord{};
    if (gateway_ != nullptr) gateway_->SetIdentity("", session_revision_);
    ResetSession();
  }
  ui::EnableWindow(sign_in_button_, false);
  SetStatusText(u"保存されたログイン状態を確認しています…");
  WriteEventLog("SESSION_RESTORE_STARTED", 1, 0);
  entry.task = std::async(std::launch::async, &Window::SessionRestoreTask);
}

bool Window::SignOut() {
  if (BusyRuleRefuses()) {
    SetStatusText(u"処理が終わってからログアウトしてください");
    return false;
  }
  EndSessionLocally();
  StoredSession stored;
  LoadSessionFile(&stored);
  DeleteSessionFile();
  sign_out_task_ = std::async(std::launch::async, &Window::LogoutTask, SecretText(std::move(stored.token)));
  ui::SetWindowText(transcript_, u"");
  ui::SetWindowText(draft_field_, u"");
  SetStatusText(u"ログアウトしました");
  WriteEventLog("LOGOUT", 0, 0);
  return true;
}

void Window::LogoutTask(SecretText token) {
  bool success = false;
  ServiceEndpoint account;
  if (MakeAccountEndpoint(&account)) {
    AccountHttpReply reply = AccountLogout(account, token.text());
    WipeStringOnExit wipe_body(reply.body);
    success = IsOkReply(reply);
  }
  token.Wipe();
  WriteEventLog("LOGOUT_UPSTREAM", success ? 1 : 0, 0);
}

void Window::CollectSignOut() {
  if (!IsReady(sign_out_task_)) return;
  try {
    sign_out_task_.get();
  } catch (...) {
  }
  ui::EnableWindow(sign_in_button_, true);
}

}  // namespace two_pc
