#include "phone_ui/phone_ui.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>

#include "core/ui_settings.h"
#include "phone_ui/app_lifecycle.h"
#include "phone_ui/launcher.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "text_input/tsf_draft_bridge.h"

namespace {

// The variable is set and is exactly "1".
bool EnvironmentOptIn(std::string_view name) {
  const std::optional<std::string> value = platform::env::Get(name);
  return value && *value == "1";
}

template <typename T>
bool IsPending(const std::future<T>& slot) {
  return slot.valid() && slot.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

const char* ScreenName(uint32_t screen) { return screen != 0 ? "APP" : "HOME"; }

const char* AppLabel(int32_t app) { return app >= 0 && app <= 11 ? kLauncherTiles[static_cast<size_t>(app)].label : "-"; }

bool IsSignedIn(quorix_native::Ui* owner) { return owner != nullptr && owner->GetStatus().signed_in != 0; }

}  // namespace

PhoneUi::PhoneUi() = default;
PhoneUi::~PhoneUi() = default;

void PhoneUi::AttachCallSession(CallSession* session) {
  call_session = session;
  call_summary_text.clear();
  dirty = 1;
}

void PhoneUi::AttachOwner(quorix_native::Ui* new_owner) {
  owner = new_owner;
  audio_panel_open = 0;
  last_owner_action_failed = 0;
  if (owner != nullptr) {
    const quorix_native::Ui::Status status = owner->GetStatus();
    cached_status_revision = status.revision;
    cached_status_code = status.code;
  }
  dirty = 1;
}

void PhoneUi::AttachSettings(UiSettings* new_settings) {
  settings = new_settings;
  vr_settings_wrist_page_open = 0;
  vr_settings_fine_tune_open = 0;
  if (settings != nullptr) {
    const auto volume = static_cast<int32_t>(std::min<uint32_t>(settings->ui_volume, 100));
    UiSoundPlayer& player = UiSoundPlayer::Instance();
    if (volume != player.volume) {
      player.StopAll();
      player.volume = volume;
    }
  }
  launcher_screen = 1;
  launcher_app = 0;
  launcher_page = 0;
  transition_kind = kTransitionNone;
  keyboard_open = 0;
  if (owner != nullptr && settings != nullptr) {
    owner->AttachSettings(settings);
    owner->SetNotificationsEnabled(settings->notifications);
  }
  dirty = 1;
}

bool PhoneUi::Initialize() {
  launcher_app = launcher_app_from = launcher_app_to = -1;
  launcher_screen = launcher_screen_from = launcher_screen_to = 0;
  launcher_page = launcher_page_from = launcher_page_to = 0;
  transition_kind = kTransitionNone;
  transition_step = -1;
  clock_minute = GetClockMinute();
  dirty = 1;

  chat_view_open = 0;
  live_read_only = EnvironmentOptIn("QUORIX_MVP03B2B_LIVE_READONLY") ? 1 : 0;
  list_fetch_started = 0;
  list_fetch_unavailable = 0;
  live_messaging = live_read_only != 0 && EnvironmentOptIn("QUORIX_MVP03_LIVE_MESSAGING") ? 1 : 0;

  ResetLiveConversation();

  std::cout << "TWO_PC_CHAT_ENV=REAL_QUORIX_API\n"
            << "MVP03_LIVE_MESSAGING=" << (live_messaging != 0 ? "OPT_IN" : "OFF") << "\n"
            << "[PF17_UI] INITIALIZE=PASS screen=HOME page=1/2 apps=12 dock=3\n";
  return true;
}

bool PhoneUi::TakeDirty() {
  const bool was = dirty != 0;
  dirty = 0;
  return was;
}

bool PhoneUi::HasPendingFetch() const {
  return IsPending(list_fetch_slot) || IsPending(history_slot) || IsPending(send_slot) || IsPending(read_slot);
}

bool PhoneUi::IsTextInputActive() const {
  if (external_editor) return true;
  const bool open = keyboard_open != 0 && audio_panel_open == 0 && launcher_screen == 1 && launcher_app == 0 &&
                    transition_kind == kTransitionNone;
  if (!open) return false;
  const bool live_thread = live_messaging != 0 && chat_model.snapshot_loaded() && chat_model.mode() == 2;
  if (settings == nullptr) return chat_view_open == 0 || live_thread;
  if (!IsSignedIn(owner)) return keyboard.active_field != kFieldMessage;
  if (keyboard.active_field != kFieldMessage) return false;
  if (native_screen == 5) return friend_id_entry_active != 0;
  if (native_screen == 4) return live_thread;
  return false;
}

bool PhoneUi::GoHome() {
  if (settings != nullptr) {
    vr_settings_wrist_page_open = 0;
    vr_settings_fine_tune_open = 0;
    launcher_screen = 0;
    launcher_page = 0;
    transition_kind = kTransitionNone;
    keyboard_open = 0;
    launcher_app = -1;
    dirty = 1;
    return true;
  }
  if (transition_kind != kTransitionNone) return false;
  if (launcher_screen == 0 && launcher_page == 0) {
    std::cout << "[PF17_UI] HOME=NOOP reason=ALREADY_HOME_ROOT\n";
    return false;
  }
  launcher_screen_from = launcher_screen;
  launcher_page_from = launcher_page;
  launcher_app_from = launcher_app;
  launcher_screen_to = 0;
  launcher_page_to = 0;
  launcher_app_to = -1;
  transition_kind = kTransitionHome;
  transition_start = platform::TickCount64();
  transition_step = -1;
  dirty = 1;
  std::cout << "[PF17_UI] HOME=START target=HOME_ROOT\n";
  return true;
}

void PhoneUi::GoToPage(int32_t page) {
  const auto target = static_cast<uint32_t>(std::clamp(page, 0, 1));
  if (target == launcher_page) return;
  const bool forward = target > launcher_page;
  launcher_screen_from = 0;
  launcher_screen_to = 0;
  launcher_page_from = launcher_page;
  launcher_page_to = target;
  launcher_app_from = -1;
  launcher_app_to = -1;
  transition_kind = forward ? kTransitionPageForward : kTransitionPageBack;
  transition_start = platform::TickCount64();
  transition_step = -1;
  dirty = 1;
  std::cout << "[PF17_UI] PAGE_TRANSITION=START from=" << launcher_page + 1 << " to=" << target + 1
            << " direction=" << (forward ? "LEFT" : "RIGHT") << "\n";
}

void PhoneUi::StartTransition(uint32_t kind, uint32_t target_screen, int32_t app) {
  launcher_screen_from = launcher_screen;
  launcher_page_from = launcher_page;
  launcher_app_from = launcher_app;
  launcher_screen_to = target_screen;
  launcher_page_to = launcher_page;
  launcher_app_to = app;
  transition_kind = kind;
  transition_start = platform::TickCount64();
  transition_step = -1;
  dirty = 1;
  std::cout << "[PF17_UI] APP_TRANSITION=START from=" << ScreenName(launcher_screen)
            << " target=" << ScreenName(target_screen)
            << " app=" << (app >= 0 ? LauncherTileOf(app).label : "-") << "\n";
}

void PhoneUi::Tick() {
  RunUpdateSteps();
  // The clock in the status bar.
  const uint32_t minute = GetClockMinute();
  if (minute != clock_minute) {
    clock_minute = minute;
    dirty = 1;
  }

  // The launcher slide.
  if (transition_kind == kTransitionNone) return;
  const uint64_t now = platform::TickCount64();
  const uint64_t elapsed = now > transition_start ? now - transition_start : 0;
  const auto step = static_cast<int32_t>(std::min(elapsed, kTransitionMs) / kTransitionStepMs);
  if (step != transition_step) {
    transition_step = step;
    dirty = 1;
  }
  if (elapsed < kTransitionMs) return;
  const uint32_t ended = transition_kind;
  launcher_screen = launcher_screen_to;
  launcher_page = launcher_page_to;
  launcher_app = launcher_app_to;
  transition_kind = kTransitionNone;
  transition_step = -1;
  std::cout << "[PF17_UI] TRANSITION=END kind=" << ended << " screen=" << ScreenName(launcher_screen)
            << " page=" << launcher_page + 1 << " app=" << AppLabel(launcher_app) << "\n";
  dirty = 1;
  if (app_lifecycle != nullptr) FollowShownApp();
}

void PhoneUi::FollowShownApp() {
  PhoneAppLifecycle& state = *app_lifecycle;
  const bool app_shown = launcher_screen == 1 && launcher_app >= 0 && launcher_app < static_cast<int32_t>(kAppCount);
  const int32_t shown = app_shown ? launcher_app : -1;
  const int32_t previous = state.main_foreground_app;
  if (previous >= 0 && previous < static_cast<int32_t>(kAppCount) && previous != shown) {
    PhoneAppRuntimeEntry& app = state.apps[static_cast<size_t>(previous)];
    app.state = kAppBackground;
    ++app.background;
    ++app.suspend;
    state.main_foreground_app = -1;
  }
  if (shown < 0 || shown == state.main_foreground_app) return;
  PhoneAppRuntimeEntry& app = state.apps[static_cast<size_t>(shown)];
  if (!app.installed) return;
  if (app.detached) {
    ++app.reattach;
    app.detached = false;
    if (state.detached_app == shown) state.detached_app = -1;
  } else if (app.state == kAppStopped) {
    ++app.launch;
  } else if (app.state == kAppBackground) {
    ++app.resume;
  }
  app.state = kAppForeground;
  ++app.foreground;
  state.main_foreground_app = shown;
}

std::array<uint64_t, 3> PhoneUi::GetOwnerRevisions(uint64_t tag) const {
  if (owner == nullptr) return {tag, 0, 0};
  const uint64_t friend_revision = owner->GetFriendRequests().revision;
  return {tag, friend_revision, owner->GetStatus().revision};
}

void PhoneUi::ResetLiveConversation() {
  const bool own_bridge = tsf_bridge != nullptr && external_editor == nullptr;
  if (own_bridge) tsf_bridge->CancelComposition();
  ++conversation_epoch;
  if (draft_cleared_on_exit != 0) {
    if (!own_bridge || tsf_bridge->SyncDraft(u"")) keyboard.SetMessageText(u"");
    draft_cleared_on_exit = 0;
  }
  live_page_list.clear();
  history_peer.clear();
  live_page_index = 0;
  history_loaded = 0;
  send_outcome_uncertain = 0;
  send_status_text.clear();
  sent_text.clear();
  read_status_text.clear();
  history_fetch_wanted = 0;
  page_aux = 0;
  keyboard_open = 0;
}

uint32_t GetClockMinute() {
  const platform::WallTime now = platform::LocalTimeNow();
  // Day of the year, 0 on 1 January, from the civil date.
  static constexpr uint32_t kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const uint32_t month = std::clamp<uint32_t>(now.month, 1, 12);
  const bool leap = (now.year % 4 == 0 && now.year % 100 != 0) || now.year % 400 == 0;
  uint32_t yday = kDaysBefore[month - 1] + (now.day > 0 ? now.day - 1 : 0);
  if (leap && month > 2) ++yday;
  return (now.hour + yday * 24) * 60 + now.minute;
}

const char16_t* GetOwnerStatusText(uint32_t code) {
  static constexpr const char16_t* kTexts[8] = {
      u"ログインしてください",       u"ログイン中…",
      u"ログイン済み・通話へ接続中", u"ログイン済み・通話接続済み",
      u"ログイン済み・通話は未接続", u"ログインできませんでした",
      u"ログアウト中…",              u"通話の終了を確認中",
  };
  return code < 8 ? kTexts[code] : u"状態を確認してください";
}
