// The native screens' taps and the screen switch: navigation, the settings
// rows (each change saved at once), friend requests, the friend detail and
// the history file dialog.
#include <algorithm>
#include <array>
#include <cmath>

#include "core/event_log.h"
#include "core/text.h"
#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/phone_ui_internal.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/clock.h"
#include "text_input/tsf_draft_bridge.h"

using phone_ui_detail::In;

namespace {

constexpr int32_t kTapSound = 9;
constexpr uint64_t kFriendRefreshMs = 15000;
constexpr size_t kListRows = 6;
constexpr size_t kRequestRows = 4;

// Inclusive at both ends.
bool Within(float v, float low, float high) { return v >= low && v <= high; }

// The screens the sign-in page leaves reachable.
bool SignedOutScreen(uint32_t screen) {
  return screen == 0 || screen == 3 || screen == 6 || screen == 7 || screen == 9;
}

// truncate(value) clamped to [low, high], clamping the float first so a huge
// value never reaches the integer conversion.
uint32_t ClampedIndex(float value, float low, float high) {
  return static_cast<uint32_t>(std::clamp(value, low, high));
}

// The next of the six axis directions after the one nearest `normal`.
std::array<float, 3> NextNormal(const std::array<float, 3>& normal) {
  static constexpr std::array<std::array<float, 3>, 6> kAxes = {{
      {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}}};
  size_t best = 0;
  float best_dot = -std::numeric_limits<float>::infinity();
  for (size_t i = 0; i < kAxes.size(); ++i) {
    const float dot = kAxes[i][0] * normal[0] + kAxes[i][1] * normal[1] + kAxes[i][2] * normal[2];
    if (dot > best_dot) {
      best_dot = dot;
      best = i;
    }
  }
  return kAxes[(best + 1) % kAxes.size()];
}

// One step of `value` by `step`, kept within [low, high]; true when it moved.
bool StepSetting(float& value, float step, float low, float high) {
  const float next = std::clamp(value + step, low, high);
  if (next == value) return false;
  value = next;
  return true;
}

}  // namespace

std::vector<std::string> CollectFriendIds(const ChatModel& model) {
  std::vector<std::string> ids;
  ids.reserve(model.friends().size());
  for (const ChatFriend& entry : model.friends()) ids.push_back(entry.user_id);
  return ids;
}

void PhoneUi::ShowNativeScreen(uint32_t screen) {
  const bool signed_in = phone_ui_detail::OwnerSignedIn(owner);
  const uint32_t target = signed_in || SignedOutScreen(screen) ? screen : 0;
  if (tsf_bridge != nullptr) tsf_bridge->CancelComposition();
  if (chat_model.mode() == 2 && target != 4) {
    ResetLiveConversation();
    chat_model.SelectRightTab();
  }
  native_screen = target;
  native_list_page = 0;
  keyboard_open = 0;
  friend_id_entry_active = 0;
  audio_panel_open = target == 6 ? 1 : 0;
  vr_settings_wrist_page_open = vr_settings_fine_tune_open = target == 7 ? 1 : 0;
  launcher_screen = 1;
  launcher_app = 0;
  transition_kind = kTransitionNone;
  chat_view_open = target < 6 || target > 7 ? 1 : 0;
  if (signed_in) {
    const bool list_screen = target == 1 || target == 2;
    if (chat_model.snapshot_loaded()) {
      if (list_screen) list_refresh_wanted = 1;
    } else if (target != 6 && target != 7 && target != 9) {
      StartListFetch();
      if (list_screen) list_refresh_wanted = 1;
    }
    if (target == 5) {
      owner->RequestFriendOperation(0, std::string());
      friend_request_refresh_deadline = platform::TickCount64() + kFriendRefreshMs;
    }
  }
  dirty = 1;
}

void PhoneUi::TapNativeScreen(float x, float y) {
  if (owner == nullptr || settings == nullptr) return;
  const quorix_native::Ui::Status status = owner->GetStatus();
  bool sound = false;
  if (status.signed_in == 0) {
    if (!SignedOutScreen(native_screen) || native_screen == 0) {
      sound = TapSignInPage(x, y, status.code);
    } else if (y >= 900) {
      ShowNativeScreen(0);
      sound = true;
    } else {
      sound = TapNativeHandler(x, y, false);
    }
  } else if (status.revision != drawn_status_revision) {
    // The frame the user saw was stale.
    dirty = 1;
    return;
  } else if (y >= 900) {
    ShowNativeScreen(ClampedIndex(x / 135, 0, 3));
    sound = true;
  } else {
    sound = TapNativeHandler(x, y, true);
  }
  if (!sound) return;
  UiSoundPlayer::Instance().Play(kTapSound, false);
  dirty = 1;
}

bool PhoneUi::TapSignInPage(float x, float y, uint32_t status_code) {
  if (x >= 405 && In(y, 80, 123)) {
    settings->english = !settings->english;
    settings->Save();
    return true;
  }
  if (Within(x, 393, 510) && In(y, 139, 182)) {
    ShowNativeScreen(3);
    return true;
  }
  if (!Within(x, 30, 510)) return false;
  if (In(y, 536, 601) || In(y, 655, 720)) {
    keyboard.active_field = y >= 620 ? kFieldPassword : kFieldId;
    keyboard_open = 1;
    chat_view_open = 0;
    audio_panel_open = 0;
    vr_settings_wrist_page_open = vr_settings_fine_tune_open = 0;
    launcher_screen = 1;
    launcher_app = 0;
    transition_kind = kTransitionNone;
    return true;
  }
  if (In(y, 761, 829) && status_code != 1) {
    RunOwnerAuthAction(1);
    return true;
  }
  return false;
}

bool PhoneUi::TapNativeHandler(float x, float y, bool signed_in) {
  switch (native_screen) {
    case 0: return TapHomeScreen(x, y);
    case 1:
    case 2: return TapListScreen(x, y);
    case 3: return TapSettingsScreen(x, y, signed_in);
    case 4: return TapConversationScreen(x, y);
    case 5: return TapFriendRequestScreen(x, y);
    case 6:
      if (x >= 390 && In(y, 78, 145)) {
        ShowNativeScreen(3);
      } else {
        TapAudioPanel(x, y);
        if (audio_panel_open == 0) ShowNativeScreen(3);
      }
      return true;
    case 7: return TapVrSettingsScreen(x, y);
    case 8: return TapFriendDetailScreen(x, y);
    case 9: return TapPointerScreen(x, y);
    case 10: return TapHistoryScreen(x, y);
    default: return false;
  }
}

bool PhoneUi::TapHomeScreen(float x, float y) {
  if (x >= 440 && In(y, 80, 155)) {
    ShowNativeScreen(3);
  } else if (In(y, 195, 441) || In(y, 615, 660)) {
    ShowNativeScreen(1);
  } else if (In(y, 463, 585)) {
    ShowNativeScreen(x < 270 ? 1 : 2);
  } else if (In(y, 665, 891) && chat_model.snapshot_loaded()) {
    const std::vector<std::string> ids = chat_model.FriendIds();
    const auto row = static_cast<size_t>(std::max(0.0f, (y - 672) / 73));
    if (row < 3 && row < ids.size()) OpenConversation(ids[row]);
  }
  return true;
}

bool PhoneUi::TapListScreen(float x, float y) {
  const bool friends = native_screen == 2;
  if (x >= 400 && In(y, 120, 168)) {
    if (friends) {
      ShowNativeScreen(5);
    } else {
      StartListFetch();
    }
    return true;
  }
  if (friends && In(y, 177, 210)) {
    ShowNativeScreen(5);
    return true;
  }
  std::vector<std::string> ids;
  if (chat_model.snapshot_loaded()) ids = friends ? CollectFriendIds(chat_model) : chat_model.FriendIds();
  if (In(y, 831, 874)) {
    if (Within(x, 180, 360)) {
      StartListFetch();
    } else if (x < 140 && native_list_page > 0) {
      --native_list_page;
    } else if (x >= 400 && (native_list_page + 1) * kListRows < ids.size()) {
      ++native_list_page;
    }
    return true;
  }
  if (!In(y, 212, 792)) return false;
  const size_t row = static_cast<size_t>((y - 212) / 96) + native_list_page * kListRows;
  if (row < ids.size()) {
    if (friends && x >= 452) {
      selected_friend_id = ids[row];
      ShowNativeScreen(8);
    } else {
      OpenConversation(ids[row]);
    }
  }
  return true;
}

bool PhoneUi::TapSettingsScreen(float x, float y, bool signed_in) {
  if (x >= 393 && In(y, 83, 132)) {
    ShowNativeScreen(6);
  } else if (In(y, 204, 265)) {
    settings->dark = x >= 279;
    settings->Save();
  } else if (In(y, 339, 398)) {
    settings->english = x >= 279;
    settings->Save();
  } else if (In(y, 471, 529)) {
    settings->notification_mode = static_cast<int32_t>(ClampedIndex((x - 30) / 164, 0, 2));
    settings->notifications = settings->notification_mode != 2;
    settings->Save();
    owner->SetNotificationsEnabled(settings->notifications);
  } else if (In(y, 550, 606) && x >= 256) {
    settings->ring_black = x >= 390;
    settings->Save();
  } else if (In(y, 624, 678)) {
    if (In(x, 291, 346)) settings->SetRingVisibilityDegrees(settings->ring_visibility_deg - 5);
    if (x >= 454) settings->SetRingVisibilityDegrees(settings->ring_visibility_deg + 5);
    settings->Save();
  } else if (In(y, 704, 761)) {
    if (x < 279 || !signed_in) {
      show_phone_request = 1;
      desktop_position_reset_request = 1;
    } else {
      ShowNativeScreen(10);
    }
  } else if (In(y, 839, 883) && Within(x, 30, 510)) {
    ShowNativeScreen(9);
  } else if (In(y, 775, 832)) {
    if (x < 270) {
      ShowNativeScreen(7);
    } else if (!signed_in) {
      ShowNativeScreen(0);
    } else if (!HasPendingFetch()) {
      owner->SignOut();
      keyboard_open = 0;
    }
  } else {
    return false;
  }
  return true;
}

bool PhoneUi::TapConversationScreen(float x, float y) {
  if (In(y, 80, 143)) {
    if (x < 70) {
      ShowNativeScreen(1);
    } else if (x >= 408 && owner->GetStatus().call_ready != 0) {
      TapChatApp(460, 211);
    }
  } else if (In(y, 744, 783)) {
    if (x < 140) {
      TapChatApp(380, 263);
    } else if (x < 255) {
      TapChatApp(460, 263);
    }
  } else if (In(y, 803, 867)) {
    TapChatApp(x < 390 ? 180 : 440, 812);
  }
  return true;
}

bool PhoneUi::TapFriendRequestScreen(float x, float y) {
  const quorix_native::Ui::FriendRequestState state = owner->GetFriendRequests();
  if (state.revision != drawn_friend_request_revision) return false;
  if (x >= 412 && In(y, 83, 129)) {
    owner->RequestFriendOperation(0, std::string());
    return true;
  }
  if (In(y, 207, 271)) {
    if (x >= 367) {
      if (state.busy == 0 && friend_id_entry_active != 0) {
        // The strict conversion gives nothing for a text it cannot convert;
        // the owner refuses an empty id.
        owner->RequestFriendOperation(1, WideToUtf8(keyboard.message));
        keyboard_open = 0;
      }
    } else {
      if (friend_id_entry_active == 0) {
        keyboard.SetMessageText(u"");
        if (tsf_bridge != nullptr) tsf_bridge->SyncDraft(u"");
      }
      friend_id_entry_active = 1;
      keyboard.Tap(185, 296);
      keyboard_open = 1;
      chat_view_open = 0;
    }
    return true;
  }
  if (In(y, 835, 877)) {
    if (x < 140 && friend_request_page > 0) {
      --friend_request_page;
    } else if (x >= 400 && friend_request_page * kRequestRows + kRequestRows < state.incoming.size() + state.outgoing.size()) {
      ++friend_request_page;
    }
    return true;
  }
  if (!In(y, 391, 811) || state.busy != 0) return false;
  const size_t row = static_cast<size_t>((y - 391) / 105) + friend_request_page * kRequestRows;
  if (row < state.incoming.size()) {
    if (x >= 416) {
      owner->RequestFriendOperation(2, state.incoming[row]);
    } else if (In(x, 329, 405)) {
      owner->RequestFriendOperation(3, state.incoming[row]);
    }
  }
  return true;
}

bool PhoneUi::TapVrSettingsScreen(float x, float y) {
  if (x >= 400 && In(y, 78, 145)) {
    ShowNativeScreen(3);
    return true;
  }
  if (keyboard_panel_tap != 0) return true;
  bool changed = false;
  if (vr_settings_wrist_page_open == 0) {
    if (launcher_screen == 0 && Within(x, 34, 506)) {
      if (In(y, 245, 440)) {
        launcher_screen = 1;
        launcher_app = 0;
        transition_kind = kTransitionNone;
      } else if (In(y, 474, 588)) {
        vr_settings_wrist_page_open = 1;
      } else if (In(y, 625, 704)) {
        wrist_calibration_request = 1;
      }
    }
    return true;
  }
  if (vr_settings_fine_tune_open == 0) {
    if (!Within(x, 30, 510)) return true;
    if (In(y, 238, 303)) {
      const bool before = settings->ring_black;
      if (x <= 258) settings->ring_black = false;
      if (x >= 282) settings->ring_black = true;
      changed = settings->ring_black != before;
    } else if (In(y, 387, 450)) {
      settings->notifications = !settings->notifications;
      owner->SetNotificationsEnabled(settings->notifications);
      changed = true;
    } else if (In(y, 490, 555)) {
      show_phone_request = 1;
    } else if (In(y, 595, 660)) {
      vr_settings_fine_tune_open = 1;
    } else if (In(y, 717, 777) && (x < 140 || x >= 400)) {
      const float before = settings->ring_visibility_deg;
      settings->SetRingVisibilityDegrees(before + (x < 140 ? -5.0f : 5.0f));
      changed = settings->ring_visibility_deg != before;
    }
  } else {
    static constexpr std::array<float, 3> kWristRows = {190, 275, 360};
    float* const wrist[3] = {&settings->wrist_x, &settings->wrist_y, &settings->wrist_z};
    for (size_t i = 0; i < kWristRows.size(); ++i) {
      if (!In(y, kWristRows[i], kWristRows[i] + 62)) continue;
      if (In(x, 165, 245)) changed = StepSetting(*wrist[i], -0.01f, -0.2f, 0.2f);
      if (Within(x, 390, 500)) changed = StepSetting(*wrist[i], 0.01f, -0.2f, 0.2f);
    }
    if (Within(x, 30, 500) && In(y, 455, 515)) {
      const std::array<float, 3> next = NextNormal({settings->normal_x, settings->normal_y, settings->normal_z});
      changed = next[0] != settings->normal_x || next[1] != settings->normal_y || next[2] != settings->normal_z;
      settings->normal_x = next[0];
      settings->normal_y = next[1];
      settings->normal_z = next[2];
    } else if (Within(x, 30, 500) && In(y, 535, 595)) {
      wrist_calibration_request = 1;
    } else if (In(y, 615, 678)) {
      if (In(x, 165, 245)) changed = StepSetting(settings->pull_m, -0.005f, 0.015f, 0.08f);
      if (Within(x, 390, 500)) changed = StepSetting(settings->pull_m, 0.005f, 0.015f, 0.08f);
    }
  }
  if (changed) {
    settings->Save();
    WriteEventLog("VR_SETTINGS_CHANGED", 1, settings->store_failed ? 0 : 1);
  }
  return true;
}

bool PhoneUi::TapFriendDetailScreen(float, float y) {
  if (In(y, 300, 561)) {
    const auto row = static_cast<int32_t>((y - 300) / 87);
    if (row < 3) settings->SetPeerNotificationMode(owner->GetOwnUserId(), selected_friend_id, row);
    return true;
  }
  if (In(y, 720, 786)) {
    OpenConversation(selected_friend_id);
    return true;
  }
  return false;
}

bool PhoneUi::TapPointerScreen(float x, float y) {
  if (Within(x, 405, 510) && In(y, 83, 129)) {
    ShowNativeScreen(3);
    return true;
  }
  bool changed = false;
  if ((In(x, 30, 261) || Within(x, 279, 510)) && In(y, 218, 279)) {
    changed = settings->pointer_left != (x < 261);
    settings->pointer_left = x < 261;
  } else if ((In(x, 30, 261) || Within(x, 279, 510)) && In(y, 363, 424)) {
    changed = settings->pointer_blue != (x >= 279);
    settings->pointer_blue = x >= 279;
  } else if (In(y, 510, 571) && (In(x, 30, 150) || Within(x, 390, 510))) {
    // Signed arithmetic: a small value must not wrap below zero.
    const auto value = static_cast<int64_t>(settings->pointer_size_percent);
    int64_t next = In(x, 30, 150) ? (value < 51 ? 50 : value - 25) : value + 25;
    next = std::clamp<int64_t>(next, 50, 200);
    next = (next + 12) / 25 * 25;
    changed = next != value;
    settings->pointer_size_percent = static_cast<uint32_t>(next);
  }
  if (!changed) return false;
  settings->Save();
  return true;
}

bool PhoneUi::TapHistoryScreen(float x, float y) {
  if (x >= 405 && In(y, 83, 132)) {
    ShowNativeScreen(3);
    return true;
  }
  if (!In(y, 300, 457) || HasPendingFetch()) return false;
  owner->RunHistoryFileDialog(y >= 390);
  list_refresh_wanted = 1;
  return true;
}
