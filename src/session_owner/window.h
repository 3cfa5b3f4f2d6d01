#pragma once
// The session owner: the one object that holds the signed-in session and
// answers the phone UI through the owner interface. It is a top-level window
// record whose child controls hold state other operations read and write
// (the status text, the user id field, the friend list, the audio device
// lists); in phone mode it stays hidden.
//
// Sign-in, sign-out and the restore of the stored session run as background
// tasks (std::async, asynchronous launch); Tick collects their results on the
// main thread. Everything here runs on the main thread.
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "chat/account_http.h"
#include "chat/chat_model.h"
#include "chat/chat_task_results.h"
#include "chat/message_sync.h"
#include "chat/session_file.h"
#include "core/environment.h"
#include "core/secret_text.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/windows_wire.h"
#include "platform/ui_window.h"
#include "platform/window_handle.h"
#include "session_owner/account_replies.h"
#include "session_owner/notices.h"
#include "session_owner/owner_ui.h"

namespace two_pc {
class Window;
}

namespace quorix_session_restore {

// The restore task's result.
struct Result {
  uint32_t status = 0;  // 0 absent, 1 verified, 2 expired (file deleted), 3 retry later
  std::string user_id;
  std::string token;  // the phone session token; a secret
  std::vector<std::string> friend_ids;
  std::map<std::string, std::u16string> display_names;
};

}  // namespace quorix_session_restore

// One window's wish to restore the stored session, kept from Create until the
// first sign-in start, sign-out or close.
struct SessionRestoreEntry {
  uint8_t wanted = 0;
  uint32_t attempts = 0;
  uint64_t next_attempt_ms = 0;  // tick clock
  std::future<quorix_session_restore::Result> task;
};

// The inbox poll's per-window bookkeeping, zeroed at every session change.
struct NoticePollRecord {
  uint64_t change_count_at_start = 0;
  uint64_t generation_at_start = 0;
  uint64_t change_count_at_success = 0;
  uint64_t last_success_ms = 0;
  uint64_t not_before_ms = 0;
  uint8_t in_flight = 0;
  uint8_t succeeded_once = 0;
};

// The process-wide tables, keyed by the window's address; main thread only.
std::map<const two_pc::Window*, SessionRestoreEntry>& SessionRestoreTable();
std::map<const two_pc::Window*, NoticePollRecord>& NoticePollTable();

// One system notice with the counter its ids come from.
struct CurrentNoticeRecord {
  quorix_native::Ui::Notice notice;
  uint64_t last_id = 0;
};

// Replaces `record`'s notice: a new id, the title and body made one line (64
// and 180 units), expiry now + 3000 ms. The passed title and body are wiped.
void SetCurrentNotice(CurrentNoticeRecord& record, std::u16string title, std::u16string body, uint64_t now);
// Wipes and empties the title and body, id and expiry 0; the peer id stays.
void ClearCurrentNotice(CurrentNoticeRecord& record);
// A control's text; empty when its length is below 0 or above 10000 units.
std::u16string ReadControlText(platform::WindowHandle control);
// Strict UTF-8 decoding; empty for an empty or invalid input.
std::u16string Utf8ToWideOrEmpty(const std::string& text);
// A visible child control with the given style (WS_CHILD | WS_VISIBLE added)
// and the default GUI font.
platform::WindowHandle CreateChildControl(platform::WindowHandle parent, const std::u16string& class_name,
                                          const std::u16string& text, int32_t x, int32_t y, int32_t width,
                                          int32_t height, uint32_t id, uint32_t style);

// Draws `user_id`'s avatar disc (the placeholder without a picture), size x
// size pixels on `background` (0x00BBGGRR), with its top left at (x, y).
// Nothing unless 4 <= size <= 128.
void PaintAvatar(const platform::ui::PaintTarget& target, int32_t x, int32_t y, int32_t size, const std::string& user_id,
                 uint32_t background);
// The conversation as the transcript shows it: the unread counter's line,
// then "time  sender: text" per message, CR LF after each.
std::u16string BuildTranscript(int32_t unread, const std::vector<ChatMessage>& messages);

// Whether `window` has a restore task that has not been collected.
bool HasPendingRestore(const two_pc::Window* window);
// The restore task's body: checks the stored session at the service and
// opens a phone session with it.
quorix_session_restore::Result RestoreStoredSession(const ServiceEndpoint& account, const ServiceEndpoint& phone);

namespace two_pc {

// What a friend operation task is given; the task wipes the token.
struct FriendOperationInput {
  StoredSession session;
  uint64_t session_revision = 0;
  uint32_t operation = 0;  // 0 refresh, 1 send a request, 2 accept, 3 reject
  std::string target_id;
};

// The pending requests to and from `user_id`, in the service's order; false
// when the reply is not an ok list of pending requests of that user.
bool FetchFriendRequests(const ServiceEndpoint& endpoint, const std::string& user_id, const std::string& token,
                         std::vector<std::string>* incoming, std::vector<std::string>* outgoing);

class Window final : public quorix_native::Ui {
 public:
  // The sign-in task's result.
  struct LoginResult {
    uint8_t ok = 0;
    std::string user_id;
    std::string phone_token;  // a secret, wiped once handed to the connection
    std::vector<std::string> friend_ids;
    std::map<std::string, std::u16string> display_names;
  };

  // The friend operation task's result (filled by the friend operations).
  struct FriendResult {
    uint8_t ok = 0;
    uint8_t unreachable = 0;
    uint32_t operation = 0;
    uint64_t session_revision = 0;
    FriendRequestState state;
    std::vector<std::string> friend_ids;
    std::map<std::string, std::u16string> display_names;
  };

  struct AudioDeviceEntry {
    std::u16string id;
    std::u16string name;
  };

  // Control ids.
  static constexpr uint32_t kSignInButtonId = 101;
  static constexpr uint32_t kSignOutButtonId = 102;
  static constexpr uint32_t kCallButtonId = 103;
  static constexpr uint32_t kAnswerButtonId = 104;
  static constexpr uint32_t kRejectButtonId = 105;
  static constexpr uint32_t kMuteButtonId = 106;
  static constexpr uint32_t kEndButtonId = 107;
  static constexpr uint32_t kSendButtonId = 108;
  static constexpr uint32_t kRefreshDevicesButtonId = 109;
  static constexpr uint32_t kPermissionProbeButtonId = 110;
  static constexpr uint32_t kClearFailureButtonId = 111;
  static constexpr uint32_t kFriendListId = 112;
  static constexpr uint32_t kMicrophoneListId = 113;
  static constexpr uint32_t kSpeakerListId = 114;

  // None of the three is owned; no window exists yet.
  Window(CallSession* session, quorix_phone::WindowsWire* wire, quorix_phone::Gateway* gateway);
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Makes the window and its controls: hidden in phone mode (with a restore
  // of the stored session scheduled in production mode), shown in desktop
  // mode. False when the apartment, the class or the window fails.
  bool Create(bool phone_mode = true);
  // Sign-in and sign-out are refused while `check` says true; empty clears it.
  void SetBusyCheck(std::function<bool()> check);
  // One main-loop pass, after the gateway's pump.
  void Tick();
  // Waits for every task, keeps the session file and drops the window. Once.
  void Close();
  bool HasWindowHandle() const { return window_ != platform::kNoWindow; }
  platform::WindowHandle window_handle() const { return window_; }

  // Starts a sign-in with UTF-8 texts (the password moved in and wiped).
  bool StartSignIn(std::string user_id, std::string password);

  Status GetStatus() override;
  bool SignIn(std::u16string user_id, std::u16string password) override;
  bool SignOut() override;
  AudioDeviceList GetAudioDevices(bool capture) override;
  bool SelectAudioDevice(bool capture, int32_t index, uint64_t list_revision) override;
  bool RefreshAudioDevices() override;
  uint64_t GetCallRevision() override;
  std::u16string GetCallPeerName() override;
  bool PerformCallAction(uint32_t action, uint64_t call_revision) override;
  Notice GetActiveNotice() override;
  void DismissNotice(uint64_t id) override;
  Notice GetSystemNotice() override;
  void DismissSystemNotice(uint64_t id) override;
  void SetNotificationsEnabled(bool enabled) override;
  bool AreNotificationsEnabled() override { return notifications_ != 0; }
  void AttachSettings(const UiSettings* settings) override { settings_ = settings; }
  std::string GetOwnUserId() override;
  int32_t GetPeerNotificationMode(const std::string& peer_id) override;
  std::vector<Notice> GetPendingNotices() override;
  FriendRequestState GetFriendRequests() override { return friend_requests_; }
  bool RequestFriendOperation(uint32_t operation, const std::string& target_id) override;
  int32_t GetFriendPresence(const std::string& user_id) override;
  uint64_t GetPresenceStatus() override;
  uint64_t GetChatRevision() override;
  bool RunHistoryFileDialog(bool import) override;

  // Sends the draft field's text to the selected friend once (the panel's
  // "Send"); false when refused.
  bool SendDraftMessage();

  // The status code of the owner's state; GetStatus fills the input.
  struct StatusInput {
    bool closing = false;
    bool sign_in_task_valid = false;
    bool restore_wanted = false;
    bool sign_out_task_valid = false;
    bool signed_in = false;
    bool sign_in_failed = false;
    uint32_t recovery_state = 0;
    bool connected = false;
    uint64_t connection_start_ms = 0;  // 0 = never started
    uint64_t now_ms = 0;
  };
  static uint32_t StatusCode(const StatusInput& input);

 private:
  // Tasks (pool threads; they never touch the window).
  static LoginResult SignInTask(std::string user_id, SecretText password);
  static quorix_session_restore::Result SessionRestoreTask();
  static void LogoutTask(SecretText token);
  static FriendResult FriendOperationTask(FriendOperationInput input);

  static intptr_t WindowProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
  // The desktop popups' procedure; the owner is their user data.
  static intptr_t DesktopNoticeWindowProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam);
  // A hidden notice popup at the work area's right, `bottom_offset` above its
  // bottom, owned by the hidden owner window.
  platform::WindowHandle CreateNoticePopup(const char16_t* title, int32_t bottom_offset);
  void CreateControls();
  void ResetSession();
  bool BusyRuleRefuses();
  void ApplyVerifiedAuth(LoginResult result);
  // Refills the friend list from friend_ids_ and selects `wanted` when it is
  // one of them, else the first friend (none when the list is empty).
  void ShowFriendList(const std::string& wanted);
  void TickRestore(uint64_t now);
  void CollectSignOut();
  void CollectSignIn();
  void KeepHistoryOpen(uint64_t now);
  void UpdateStatusLine();
  void SetStatusText(const char16_t* text);
  // Steps 7 and 8 of a session change that sign-in and sign-out share.
  void EndSessionLocally();

  // Filled by the calls, notices, popups, audio devices and friend requests.
  void CollectChatTask();
  void ApplyFriendResult();
  void UpdateNotices();
  void CollectNoticePoll(uint64_t now);
  void StartNoticePoll(uint64_t now);
  void UpdateCallSounds(uint64_t now);
  void UpdateDesktopNotices();
  void ObserveCallAudio();
  void RefreshDeviceList(bool capture);
  bool ApplyAudioSelection();
  void PublishBrowserOutputSelection();
  // The list's current selection, -1 when none is valid.
  int32_t SelectedAudioIndex(bool capture) const;
  void FetchSelectedHistory(uint64_t now);
  // The panel's WM_COMMAND: the control id and the notification code.
  void OnCommand(uint32_t id, uint32_t code);
  // Starts a sign-in with the id and password fields' texts; the password
  // field is emptied first.
  void SignInFromFields();
  // "Call (test grant)": signed in and connected only, a failure cleared first.
  void StartPanelCall();
  // One owner-drawn friend row: the fill, the avatar and the name, the focus.
  void DrawFriendRow(const platform::ui::DrawItem& item);

  // Friend operation task and the friend request record.
  std::future<FriendResult> friend_task_;
  FriendRequestState friend_requests_;

  // Notice queue, the notice poll's per-session fields, the popups.
  NoticeQueue notice_queue_;
  uint32_t previous_status_code_ = 0;
  uint32_t previous_call_state_ = 0;
  uint32_t sound_call_state_ = 0;
  uint8_t sound_muted_ = 0;
  uint64_t next_ring_ms_ = 0;
  std::string call_peer_id_;
  std::u16string caller_name_;
  platform::WindowHandle popup_owner_ = platform::kNoWindow;
  platform::WindowHandle call_popup_ = platform::kNoWindow;
  uint64_t call_popup_revision_ = 0;
  uint64_t dismissed_call_revision_ = 0;
  platform::WindowHandle chat_popup_ = platform::kNoWindow;
  uint64_t chat_popup_notice_id_ = 0;

  // Call view cache.
  uint64_t call_revision_ = 0;
  uint64_t call_session_revision_ = 0;
  std::string call_id_;
  uint32_t call_state_ = 0;
  uint8_t call_muted_ = 0;

  std::map<std::string, std::u16string> friend_names_;

  CurrentNoticeRecord current_notice_;

  uint8_t notifications_ = 1;
  uint8_t incoming_call_notice_ = 0;

  // Notice poll task.
  std::future<quorix_notice::Batch> notice_poll_task_;

  std::function<bool()> busy_check_;
  uint64_t session_revision_ = 0;
  uint64_t connection_start_ms_ = 0;  // 0 = none
  uint64_t next_presence_ms_ = 0;
  uint8_t sign_in_failed_ = 0;
  uint32_t last_logged_status_ = 0;

  CallSession* session_;
  quorix_phone::WindowsWire* wire_;
  quorix_phone::Gateway* gateway_;
  const UiSettings* settings_ = nullptr;

  platform::WindowHandle window_ = platform::kNoWindow;
  platform::WindowHandle status_label_ = platform::kNoWindow;
  platform::WindowHandle user_id_field_ = platform::kNoWindow;
  platform::WindowHandle password_field_ = platform::kNoWindow;
  platform::WindowHandle friend_list_ = platform::kNoWindow;
  platform::WindowHandle transcript_ = platform::kNoWindow;
  platform::WindowHandle draft_field_ = platform::kNoWindow;
  platform::WindowHandle microphone_list_ = platform::kNoWindow;
  platform::WindowHandle speaker_list_ = platform::kNoWindow;
  platform::WindowHandle media_status_label_ = platform::kNoWindow;
  platform::WindowHandle sign_in_button_ = platform::kNoWindow;
  platform::WindowHandle call_button_ = platform::kNoWindow;

  std::vector<AudioDeviceEntry> capture_devices_;
  std::vector<AudioDeviceEntry> render_devices_;

  uint8_t phone_mode_ = 1;
  uint8_t signed_in_ = 0;
  uint8_t closing_ = 0;
  uint8_t com_initialized_ = 0;

  int32_t unread_ = -1;
  std::vector<std::string> friend_ids_;
  std::future<void> sign_out_task_;
  std::string own_user_id_;
  std::string selected_friend_id_;
  std::string last_status_key_;
  std::future<LoginResult> sign_in_task_;
  std::future<quorix_mvp03live::Result> chat_task_;

  // Audio selection.
  std::u16string applied_capture_id_;
  std::u16string applied_render_id_;
  uint64_t selection_generation_ = 0;
  uint64_t device_list_revision_ = 0;
  BrowserRouteEnvironment browser_output_;

  uint64_t call_phase_start_ms_ = 0;
  uint32_t last_call_state_ = 0;
  uint8_t chat_task_kind_ = 0;  // 1 send, 0 history fetch
  std::u16string sending_draft_;
  uint64_t next_history_fetch_ms_ = 0;
  uint64_t next_call_audio_ms_ = 0;

  // The history session follows the signed-in user. A refused open is tried
  // again only when the user, the revision or the friends change, or after
  // kHistoryRetryMs; the ChatFriend list is rebuilt only when they change.
  static constexpr uint64_t kHistoryRetryMs = 5000;
  std::vector<ChatFriend> history_friends_;
  std::vector<std::string> history_friend_ids_;
  std::map<std::string, std::u16string> history_friend_names_;
  bool history_friends_built_ = false;
  bool history_open_failed_ = false;
  std::string history_failed_user_;
  uint64_t history_failed_revision_ = 0;
  uint64_t history_failed_at_ms_ = 0;
};

}  // namespace two_pc
