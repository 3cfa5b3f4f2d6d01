#pragma once
// The phone UI model: everything the phone screen, the keyboard panel and the
// popup slots show, and everything a tap, a flick or a key can change, as
// plain members of one object. One per process (each self-check builds its
// own), driven by the main loop, the VR frame and the desktop window, on the
// main thread only. Background work reaches it only through the futures the
// per-frame update polls.
//
// Launcher mode lasts until AttachSettings is given a record (the launcher
// pages, the dock and the chat app); native mode follows (the native
// screens). Every change of something visible sets `dirty`; the main loop
// takes it once per pass.
#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chat/auth_helper_process.h"
#include "chat/chat_model.h"
#include "phone_ui/canvas.h"
#include "chat/chat_task_results.h"
#include "chat/chat_tasks.h"
#include "chat/sign_in_worker.h"
#include "phone_service/call_session.h"
#include "session_owner/owner_ui.h"
#include "text_input/vr_keyboard.h"

struct UiSettings;
class FrameBuffer;
class PhoneCanvas;
struct PhoneAppLifecycle;
class QuorixTsfDraftBridge;

// Transition kinds of the launcher slide.
inline constexpr uint32_t kTransitionNone = 0;
inline constexpr uint32_t kTransitionPageForward = 1;
inline constexpr uint32_t kTransitionPageBack = 2;
inline constexpr uint32_t kTransitionAppOpen = 3;
inline constexpr uint32_t kTransitionAppClose = 4;
inline constexpr uint32_t kTransitionHome = 5;
// A launcher slide lasts this long, in steps of kTransitionStepMs.
inline constexpr uint64_t kTransitionMs = 180;
inline constexpr uint64_t kTransitionStepMs = 30;

// Neither copyable nor movable: the presenters keep pointers into it.
class PhoneUi {
 public:
  PhoneUi();
  PhoneUi(const PhoneUi&) = delete;
  PhoneUi& operator=(const PhoneUi&) = delete;
  PhoneUi(PhoneUi&&) = delete;
  PhoneUi& operator=(PhoneUi&&) = delete;
  ~PhoneUi();

  // Stores the session (null allowed), empties the call summary; dirty.
  void AttachCallSession(CallSession* session);
  // Stores the owner (null detaches); with one, reads its status once.
  void AttachOwner(quorix_native::Ui* owner);
  // A record switches to native mode: the UI sound volume follows
  // ui_volume, the launcher shows app 0, and the owner gets the record and
  // the notification switch. Null goes back to launcher mode.
  void AttachSettings(UiSettings* settings);
  // Resets the launcher, reads the live opt-ins from the environment and
  // prints the three start lines. Always true.
  bool Initialize();
  // Returns the dirty flag and clears it.
  bool TakeDirty();
  // A fetch slot holds a task that has not finished yet.
  bool HasPendingFetch() const;
  // A text field is open for typing.
  bool IsTextInputActive() const;
  // Back to home page 1 (at once in native mode, by a slide in launcher
  // mode); false when nothing was started.
  bool GoHome();
  // Slides to `page` clamped to 0..1; nothing when already there.
  void GoToPage(int32_t page);
  // Starts a slide of `kind` to `target_screen` (0 home, 1 app) showing `app`.
  void StartTransition(uint32_t kind, uint32_t target_screen, int32_t app);
  // The per-frame update; never blocks.
  void Tick();
  // {tag, friend request revision, status revision}; zeros without owner.
  std::array<uint64_t, 3> GetOwnerRevisions(uint64_t tag) const;
  // Leaves the open live conversation: results still running are dropped
  // (the epoch moves on) and the page, send and read state is cleared.
  void ResetLiveConversation();

  // ---- Another component's text field (the external editor) ----
  // "Not given" for a selection end of OpenExternalEditor.
  static constexpr uint64_t kNoSelection = ~uint64_t{0};
  using EditorCallback = std::function<bool(const std::u16string& text, bool commit)>;
  // Opens an editor on a private keyboard copy holding `text` (wiped on
  // return in every case). Refused: id 0, no callback, a text over the
  // field's limit or not well formed, a selection off a character boundary.
  // The same id open already keeps its state; another id is closed first.
  bool OpenExternalEditor(uint64_t id, std::u16string text, bool secret, std::u16string label,
                          EditorCallback callback, uint64_t start = kNoSelection, uint64_t end = kNoSelection);
  // Closes the editor with this id without calling its callback.
  void CloseExternalEditor(uint64_t editor_id);
  bool SetExternalEditorSelection(uint64_t id, uint64_t start, uint64_t end);
  // The desktop's native edit replaces the focused field's text.
  bool SetFocusedFieldText(const std::u16string& text);
  // One edit of the editor's field at its selection: `operation` runs on a
  // scratch keyboard holding the text before the selection. True when the
  // text changed; an edit that would not fit sets the attention flag.
  bool ApplyEditorEdit(const std::function<void(QuorixVrKeyboard&)>& operation, bool backspace, bool clear);
  // Offers the editor's text to its owner; a refusal is offered again
  // 200 ms later, an accepted commit closes the editor.
  bool FinishExternalEditor(bool commit);
  // Mirrors the active keyboard's message into the draft bridge; a refused
  // draft puts the message back to `text_before`.
  bool SyncDraftToBridge(const std::u16string& text_before);
  // The editor's commit key: 0 without editor or while the bridge converts
  // (the update commits once the conversion is over), else the owner's answer.
  int32_t CommitExternalEditor();
  // No bridge is lent, or it is idle and its last draft is in the editor.
  bool ConversionSettled() const;

  // ---- Chat app, conversations and popup keys ----
  bool TapChatApp(float x, float y);
  bool OpenConversation(const std::string& peer_id);
  void StartListFetch();
  // What popup `slot` (0 call, 1..3 chat notices, 4 system notice) shows; 0
  // nothing.
  uint64_t GetPopupItemKey(uint32_t slot) const;
  std::array<uint64_t, 3> GetPopupIdentity(uint32_t slot) const;
  // Changes whenever the popup's picture must be drawn again.
  std::array<uint64_t, 5> GetPopupRenderKey(uint32_t slot) const;

  // ---- Input: phone taps, keyboard-panel taps and flicks, popups ----
  // Phone pixels.
  void Tap(float x, float y);
  // Keyboard-panel pixels (the panel's y is 297 less than panel space).
  bool TapKeyboard(float x, float y);
  bool SwipeKeyboard(float x, float y, int32_t dx, int32_t dy);
  // Panel space.
  bool Swipe(float x, float y, int32_t dx, int32_t dy);
  bool IsKeyboardSwipeArea(float x, float y) const;
  // Panel space; the keyboard model's key result (1..3 the account keys).
  uint32_t PressKey(float x, float y);
  bool PageCandidates(int32_t direction);
  bool TapAudioPanel(float x, float y);
  bool RunOwnerAuthAction(uint32_t key);
  bool TapPhoneCards(float x, float y, bool second_target);
  bool PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open);
  // Taps on the native screens (native mode).
  void TapNativeScreen(float x, float y);
  // Switches the native screen (signed out only to the screens the sign-in
  // page allows) and starts what the new screen needs.
  void ShowNativeScreen(uint32_t screen);

  // ---- Per-frame steps of Tick ----
  // Takes the conversation tasks' results and starts the read and history
  // tasks of the open conversation when due.
  void PollChatResults();
  // Native mode: follows the owner's session, friend requests and the call.
  void SyncWithOwner();

  // ---- Pictures (read the model only) ----
  // The 540 × 960 phone frame: the native screens with rounded corners while
  // settings are attached, else the launcher frame.
  FrameBuffer RenderPhoneFrame() const;
  // Background, header, the current screen or sign-in, and the bottom bar;
  // sets ui_render_english and ui_render_dark from the settings.
  void RenderNativeScreens(PhoneCanvas& canvas) const;
  // Screen 7's page area: the fine-tune page while its flag is set, else
  // the wrist page; every text localized, colours by ui_render_dark.
  void RenderWristSettingsPage(PhoneCanvas& canvas) const;

  // ---- Keyboard picture and the draft bridge ----
  // The 540 × 508 keyboard frame from the model's members (keyboard_frame.h).
  FrameBuffer RenderKeyboardFrame();
  // Lends the desktop window's bridge (null detaches). It never sees a
  // password: while the active field is the password, nothing is attached.
  void AttachTsfBridge(QuorixTsfDraftBridge* bridge);
  // Cancels the bridge's composition and lets it go, with the candidate page
  // and cache.
  void DetachTsfBridge();

  // ---- Popup frames ----
  // Popup `slot` as 540 × 300 (slot 0) or 540 × 200 pixels, transparent
  // outside its card; wholly transparent when the slot has no item.
  FrameBuffer RenderPopupFrame(uint32_t slot) const;

  // ---- Requests of the presenters ----
  uint8_t desktop_position_reset_request = 0;
  uint8_t desktop_repaint_request = 0;
  uint8_t desktop_show_request_from_vr = 0;
  uint32_t calibration_countdown = 0;
  uint8_t calibration_failure_mark = 0;

  // ---- Native navigation ----
  uint32_t native_screen = 0;  // 0..10
  uint64_t native_list_page = 0;
  uint64_t friend_request_page = 0;
  std::string selected_friend_id;
  std::string demo_conversation_peer;
  uint8_t friend_id_entry_active = 0;
  uint8_t show_desktop_request = 0;

  // ---- Call popup ----
  uint8_t call_popup_active = 0;
  uint8_t call_popup_ended_shown = 0;
  uint8_t list_refresh_wanted = 0;
  uint64_t friend_request_refresh_deadline = 0;
  uint64_t call_popup_counter = 0;
  uint64_t call_popup_hide_deadline = 0;
  std::string call_popup_peer_id;
  std::u16string call_popup_peer_name;
  uint64_t drawn_friend_request_revision = 0;
  uint64_t drawn_status_revision = 0;

  // ---- Launcher navigation ----
  uint32_t launcher_screen = 0;  // 0 home pages, 1 an app
  uint32_t launcher_screen_from = 0;
  uint32_t launcher_screen_to = 0;
  uint32_t launcher_page = 0;  // 0 or 1
  uint32_t launcher_page_from = 0;
  uint32_t launcher_page_to = 0;
  int32_t launcher_app = -1;  // app catalog index, -1 none
  int32_t launcher_app_from = -1;
  int32_t launcher_app_to = -1;
  uint32_t transition_kind = kTransitionNone;
  uint64_t transition_start = 0;  // tick clock, ms
  int32_t transition_step = -1;   // -1 idle
  uint32_t clock_minute = 0xFFFFFFFF;
  uint8_t dirty = 1;

  quorix_native::Ui* owner = nullptr;  // not owned
  UiSettings* settings = nullptr;      // not owned; non-null is native mode
  uint8_t vr_settings_wrist_page_open = 0;
  uint8_t vr_settings_fine_tune_open = 0;
  uint8_t show_phone_request = 0;
  uint8_t wrist_calibration_request = 0;
  // Written by the call card while it draws (one per drawing target).
  mutable std::array<uint64_t, 2> drawn_call_revision{};
  mutable std::array<uint64_t, 2> drawn_notice_id{};

  // ---- Card caches and owner status ----
  uint64_t cached_call_revision = 0;
  uint64_t cached_notice_id = 0;
  uint64_t popup_counter = 0;
  uint8_t call_card_expanded = 0;
  uint64_t cached_status_revision = 0;
  uint64_t list_fetch_status_revision = 0;
  uint64_t cached_presence_word = 0;
  uint32_t cached_status_code = 0;
  uint8_t audio_panel_open = 0;
  uint8_t last_owner_action_failed = 0;
  AuthHelperProcess auth_helper;

  // ---- Text entry ----
  QuorixVrKeyboard keyboard;
  VrSignInWorker sign_in_worker;
  QuorixTsfDraftBridge* tsf_bridge = nullptr;  // lent by the desktop window
  CallSession* call_session = nullptr;         // not owned
  std::string call_summary_text;
  uint64_t bridge_revision = 0;
  uint8_t keyboard_open = 0;

  // ---- Chat ----
  uint8_t chat_view_open = 0;
  uint8_t live_read_only = 0;
  uint8_t list_fetch_started = 0;
  uint8_t list_fetch_unavailable = 0;
  std::future<quorix_mvp03b2b::FetchResult> list_fetch_slot;
  ChatModel chat_model;
  uint8_t live_messaging = 0;
  uint8_t history_fetch_in_flight = 0;
  uint8_t history_loaded = 0;
  uint8_t history_failed = 0;
  uint8_t send_in_flight = 0;
  uint8_t send_outcome_uncertain = 0;
  std::future<quorix_mvp03live::Result> history_slot;
  std::future<quorix_mvp03live::Result> send_slot;
  std::future<quorix_mvp03read::Result> read_slot;
  uint8_t history_fetch_wanted = 0;
  uint8_t read_wanted = 0;
  // The slots' peer and epoch copies and the read status.
  std::string history_request_peer;
  uint64_t history_request_epoch = 0;
  std::string send_peer;
  std::string read_peer;
  uint64_t read_epoch = 0;
  uint8_t read_in_flight = 0;
  std::u16string read_status_text;
  std::string history_peer;  // whose history the live page list holds
  int64_t history_refresh_due = std::numeric_limits<int64_t>::max();
  uint64_t cached_chat_revision = 0;
  uint64_t conversation_epoch = 0;
  uint64_t send_epoch = 0;
  uint8_t draft_cleared_on_exit = 0;
  std::vector<ChatMessage> live_page_list;
  uint64_t live_page_index = 0;  // 5 messages a page, 0 the newest
  uint64_t page_aux = 0;
  std::u16string sent_text;
  std::u16string send_status_text;
  uint8_t keyboard_panel_tap = 0;
  uint64_t candidate_page = 0;
  uint64_t cached_candidate_count = 0;
  uint8_t cached_candidate_flag = 0;

  PhoneAppLifecycle* app_lifecycle = nullptr;  // not owned
  // Starts the background chat tasks; tests put their own in.
  quorix_chat::ChatTaskLauncher chat_tasks = quorix_chat::DefaultChatTaskLauncher();

  // ---- External editor ----
  std::unique_ptr<QuorixVrKeyboard> external_editor;
  uint64_t external_editor_id = 0;
  std::u16string external_editor_label;
  std::function<bool(const std::u16string& text, bool commit)> external_editor_callback;
  uint8_t editor_retry_armed = 0;
  uint8_t editor_retry_commit = 0;
  // A commit tapped while the bridge converted: it runs once the conversion
  // is over and its text is in the editor. An edit by the user withdraws it.
  uint8_t editor_commit_held = 0;
  uint8_t editor_attention = 0;
  uint64_t editor_retry_deadline = 0;
  uint64_t selection_start = 0;
  uint64_t selection_end = 0;
  uint64_t changed_from = 0;
  uint64_t caret_base = 0;

  // ---- Per-frame update caches ----
  uint64_t cached_friend_request_revision = 0;
  uint32_t cached_sign_in_state = 0;
  // The call summary is built here each tick and compared with the stored
  // text, so the quiet path reuses its capacity.
  std::string call_summary_build;

 private:
  // The external editor's keyboard when one is open, else the model's own.
  QuorixVrKeyboard& ActiveKeyboard() { return external_editor ? *external_editor : keyboard; }
  const QuorixVrKeyboard& ActiveKeyboard() const { return external_editor ? *external_editor : keyboard; }
  // Active field 2, a bridge attached and its candidate list on display.
  bool TsfCandidatesShown() const;
  // Empties the message field (the bridge's draft first) and selects it.
  void EmptyMessageField(bool through_bridge);
  void TapKeyboardArea(float x, float y);
  void TapLauncher(float x, float y);
  void RunOrdinaryKey(float x, float y);
  void SendMessage();
  bool TapCallButton(float x);
  // Moves the app state along with what the launcher shows once a slide ended.
  void FollowShownApp();
  // Steps of Tick ahead of the clock and the launcher slide.
  void RunUpdateSteps();
  void TakeListResult();
  void SyncDraftFromBridge();
  void UpdateCallSummary();
  // The live conversation's peer, or an empty id when there is none.
  const std::string& OpenConversationPeer() const;
  // Whether the chat's live data is on display: in native mode the screens
  // are the chat whatever the launcher's screen and app numbers say; the
  // launcher shows it as its app 0.
  bool ChatAppShown() const;
  // The handlers of the native screens; true when the tap sounds.
  bool TapSignInPage(float x, float y, uint32_t status_code);
  bool TapNativeHandler(float x, float y, bool signed_in);
  bool TapHomeScreen(float x, float y);
  bool TapListScreen(float x, float y);
  bool TapSettingsScreen(float x, float y, bool signed_in);
  bool TapConversationScreen(float x, float y);
  bool TapFriendRequestScreen(float x, float y);
  bool TapVrSettingsScreen(float x, float y);
  bool TapFriendDetailScreen(float x, float y);
  bool TapPointerScreen(float x, float y);
  bool TapHistoryScreen(float x, float y);
};

// The user ids of the model's friend records, in their stored order.
std::vector<std::string> CollectFriendIds(const ChatModel& model);

// (hour + day of year × 24) × 60 + minute of the local time.
uint32_t GetClockMinute();

// The phone's line for the owner's status code.
const char16_t* GetOwnerStatusText(uint32_t code);
