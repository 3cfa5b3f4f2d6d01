// Pointer input of the phone: taps on the phone screen (launcher, chat app,
// cards, audio panel), taps and flicks on the keyboard panel, the account
// keys, and presses on the popup windows.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <optional>
#include <system_error>

#include "core/event_log.h"
#include "core/secret_text.h"
#include "core/ui_settings.h"
#include "phone_ui/app_lifecycle.h"
#include "phone_ui/launcher.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/phone_ui_internal.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/env.h"
#include "text_input/tsf_draft_bridge.h"

using phone_ui_detail::In;
using phone_ui_detail::OwnerSignedIn;

namespace {

// Keyboard-panel y plus this is panel space.
constexpr float kPanelOffset = 297;
constexpr int32_t kTypingKeySound = 10;

// A point from a broken presenter lies outside every region.
bool Finite(float x, float y) { return std::isfinite(x) && std::isfinite(y); }

// Inclusive at both ends.
bool Within(float v, float low, float high) { return v >= low && v <= high; }

// Marks the nested Tap as a keyboard-panel tap for its whole run.
class PanelTapScope {
 public:
  explicit PanelTapScope(uint8_t& flag) : flag_(flag) { flag_ = 1; }
  ~PanelTapScope() { flag_ = 0; }
  PanelTapScope(const PanelTapScope&) = delete;
  PanelTapScope& operator=(const PanelTapScope&) = delete;

 private:
  uint8_t& flag_;
};

// What a keyboard-panel tap or flick may change, taken before it runs.
struct KeyboardBefore {
  const QuorixVrKeyboard* keyboard;
  uint64_t editor_id;
  std::u16string message;
  std::u16string id;
  size_t password_length;
  SecretWideText field;

  KeyboardBefore(const QuorixVrKeyboard& active, uint64_t editor)
      : keyboard(&active),
        editor_id(editor),
        message(active.message),
        id(active.id),
        password_length(active.password.size()),
        field(active.GetActiveFieldText(), kMessageLimit) {}

  // The editor remembered is still the one open.
  bool SameEditor(const QuorixVrKeyboard* editor, uint64_t id) const {
    return editor_id != 0 && editor == keyboard && id == editor_id;
  }
  // The keyboard remembered still exists: the model's own, or the same editor.
  bool KeyboardAlive(const QuorixVrKeyboard* editor, uint64_t id) const {
    return editor_id == 0 || SameEditor(editor, id);
  }

  bool Typed(const QuorixVrKeyboard& now) const {
    return now.message != message || now.id != id || now.password.size() != password_length;
  }
};

// The QWERTY control row as drawn beside the conversion keys: each drawn
// button does its own action, whatever the plain row would make of the point.
float DrawnControlKeyX(float x) {
  if (In(x, 18, 101)) return 60;    // symbols page
  if (In(x, 104, 177)) return 175;  // back to the flick layout
  if (In(x, 181, 334)) return 296;  // blank
  if (In(x, 337, 397)) return 400;  // backspace
  return -1;
}

void SetUiSoundVolume(uint32_t ui_volume) {
  const auto volume = static_cast<int32_t>(std::min<uint32_t>(ui_volume, 100));
  UiSoundPlayer& player = UiSoundPlayer::Instance();
  if (volume == player.volume) return;
  player.StopAll();
  player.volume = volume;
}

}  // namespace

bool PhoneUi::TsfCandidatesShown() const {
  const QuorixVrKeyboard& active = external_editor != nullptr ? *external_editor : keyboard;
  if (active.active_field != kFieldMessage || tsf_bridge == nullptr) return false;
  const QuorixTsfDraftBridge::State* state = tsf_bridge->GetState();
  return state->candidates_present != 0 && (state->focused != 0 || state->background_candidates != 0);
}

void PhoneUi::Tap(float x, float y) {
  if (!Finite(x, y)) return;
  const bool panel = keyboard_panel_tap != 0;
  // A tap on the phone ends the editing of another component's field; it
  // then goes on even while the launcher slides.
  const bool was_editing = external_editor != nullptr;
  if (was_editing && !panel) CloseExternalEditor(external_editor_id);
  if (!panel) {
    if (settings != nullptr) {
      TapNativeScreen(x, y);
      return;
    }
    if (TapPhoneCards(x, y, false)) return;
  }
  if (!was_editing && transition_kind != kTransitionNone) return;

  const bool app_open = launcher_screen == 1;
  if (y >= 900) {
    if (Within(x, 180, 360)) {
      GoHome();
    } else if (x < 180 && transition_kind == kTransitionNone) {
      if (!app_open) {
        if (launcher_page >= 1) {
          GoToPage(static_cast<int32_t>(launcher_page) - 1);
          std::cout << "[PF17_UI] BACK=PREVIOUS_PAGE\n";
        } else {
          std::cout << "[PF17_UI] BACK=NOOP reason=HOME_ROOT\n";
        }
      } else if (launcher_app != 0 || (audio_panel_open == 0 && chat_view_open == 0)) {
        StartTransition(kTransitionAppClose, 0, -1);
        std::cout << "[PF17_UI] BACK=APP_TO_HOME\n";
      } else if (audio_panel_open != 0) {
        audio_panel_open = 0;
        dirty = 1;
      } else {
        if (!chat_model.CloseThread()) {
          if (chat_model.snapshot_loaded()) chat_model.Reset();
          chat_view_open = 0;
        }
        dirty = 1;
      }
    }
    return;
  }

  const bool chat_app = app_open && launcher_app == 0;
  if (chat_app && !panel) {
    if (owner != nullptr) {
      if (audio_panel_open != 0) {
        TapAudioPanel(x, y);
        return;
      }
      if (chat_view_open == 0 && Within(x, 38, 502) && In(y, 635, 690)) {
        audio_panel_open = 1;
        last_owner_action_failed = 0;
        keyboard_open = 0;
        dirty = 1;
        return;
      }
    }
    if (chat_view_open != 0) {
      TapChatApp(x, y);
      return;
    }
    // The chat app's main page.
    if (Within(x, 38, 502) && In(y, 574, 617)) {
      if (owner == nullptr || OwnerSignedIn(owner)) {
        keyboard_open = 0;
        chat_model.SelectLeftTab();
        chat_view_open = 1;
        if (owner == nullptr) {
          std::cout << "MVP03B1_VIEW=FRIENDS_DEMO_OFFLINE NETWORK=NONE\n";
        } else {
          StartListFetch();
        }
      } else {
        last_owner_action_failed = 1;
      }
      dirty = 1;
      return;
    }
    if (Within(x, 22, 518) && In(y, 225, 419)) {
      keyboard.Tap(x, y < 284 ? 180 : y < 351 ? 239 : 296);
      keyboard_open = 1;
      candidate_page = 0;
      dirty = 1;
      return;
    }
    if (Within(x, 18, 520) && In(y, 489, 546)) {
      // The account card's buttons are the keyboard's account keys 1..3.
      const float width = owner != nullptr ? 151 : 168;
      static constexpr float kKeyX[3] = {90, 262, 436};
      for (int i = 0; i < 3; ++i) {
        const float x0 = 18 + 174 * static_cast<float>(i);
        if (In(x, x0, x0 + width)) {
          PanelTapScope scope(keyboard_panel_tap);
          Tap(kKeyX[i], 827);
          break;
        }
      }
      return;
    }
  }

  if (panel && (external_editor != nullptr || chat_app) && Within(x, 16, 523) && Within(y, 165, 890)) {
    TapKeyboardArea(x, y);
    return;
  }
  TapLauncher(x, y);
}

void PhoneUi::TapKeyboardArea(float x, float y) {
  QuorixVrKeyboard& active = ActiveKeyboard();
  const bool tsf_shown = TsfCandidatesShown();
  const bool message = active.active_field == kFieldMessage;

  // The candidate bar.
  if (message && In(y, 405, 458)) {
    if (external_editor != nullptr && !tsf_shown) return;
    if (x < 70) {
      PageCandidates(-1);
      return;
    }
    if (x >= 470) {
      PageCandidates(+1);
      return;
    }
    const uint64_t slot = std::min<uint64_t>(static_cast<uint64_t>((x - 70) / 133), 2) + candidate_page * 3;
    const uint64_t count = tsf_shown ? tsf_bridge->GetState()->candidates.size() : active.GetCandidates().size();
    if (slot >= count) return;
    if (tsf_shown) {
      const QuorixTsfDraftBridge::State* state = tsf_bridge->GetState();
      // Read before selecting: a background selection clears it.
      const bool background = state->background_candidates != 0;
      const uint64_t length_before = active.message.size();
      if (tsf_bridge->SelectCandidate(static_cast<uint32_t>(slot)) != 0) {
        if (background) active.SetMessageText(state->draft);
        if (external_editor == nullptr) {
          keyboard.MoveCaretToEnd();
        } else {
          selection_start = selection_end = changed_from = caret_base + (active.message.size() - length_before);
        }
      }
    } else {
      const std::u16string before = active.message;
      active.ApplyCandidate(static_cast<size_t>(slot));
      SyncDraftToBridge(before);
    }
    candidate_page = 0;
    dirty = 1;
    return;
  }
  // Keys are locked while the input method's list is on display.
  if (tsf_shown && In(y, 352, 794)) return;

  const bool flick = active.keyboard_kind == kKeyboardFlick;
  if (external_editor != nullptr && active.active_field == kFieldPassword &&
      ((flick && In(x, 418, 518) && In(y, 597, 729)) || (!flick && In(x, 440, 520) && In(y, 741, 794)))) {
    CommitExternalEditor();
    return;
  }

  if (message && tsf_bridge != nullptr && tsf_bridge->IsVrConvertEnabled()) {
    int action = 0;  // 1 confirm, 2 convert, 3 a control key, 4 nothing
    float key_x = x;
    if (flick) {
      if (In(x, 418, 518) && In(y, 663, 729)) action = 1;
      if (In(x, 418, 518) && In(y, 597, 663)) action = 2;
    } else if (In(y, 741, 794)) {
      key_x = DrawnControlKeyX(x);
      action = In(x, 400, 460) ? 1 : In(x, 462, 519) ? 2 : key_x >= 0 ? 3 : 4;
    }
    if (action == 1) {
      if (external_editor == nullptr) {
        keyboard.MoveCaretToEnd();
      } else {
        changed_from = selection_end;
      }
      candidate_page = 0;
      std::cout << "MVP02CH_SEGMENT_CONFIRM=PASS units=" << active.caret << "\n";
      dirty = 1;
      return;
    }
    if (action == 2) {
      if (external_editor == nullptr) {
        tsf_bridge->RequestVrConvert(keyboard.caret, QuorixTsfDraftBridge::kToDraftEnd);
      } else {
        caret_base = selection_end;
        const uint64_t start =
            selection_start < selection_end ? selection_start : std::min(selection_start, changed_from);
        tsf_bridge->RequestVrConvert(start, selection_end);
      }
      dirty = 1;
      return;
    }
    if (action == 3) {
      const std::u16string before = active.message;
      PressKey(key_x, y);
      SyncDraftToBridge(before);
      candidate_page = 0;
      dirty = 1;
      return;
    }
    if (action == 4) return;
  }
  RunOrdinaryKey(x, y);
}

void PhoneUi::RunOrdinaryKey(float x, float y) {
  const std::u16string before = ActiveKeyboard().message;
  const uint32_t key = PressKey(x, y);
  candidate_page = 0;
  SyncDraftToBridge(before);
  if (external_editor != nullptr || RunOwnerAuthAction(key)) {
    dirty = 1;
    return;
  }
  if (key >= 1 && key <= 3) {
    const std::optional<std::string> real = platform::env::Get("QUORIX_2PC_REAL_ACCOUNTS");
    if (real && *real == "1") {
      keyboard.WipePassword();
      std::cout << "REAL_ACCOUNT_LOGIN_USE_NATIVE_PANEL\n";
    } else if (key == 1) {
      SecretWideText id(keyboard.id, kIdLimit);
      SecretWideText password(keyboard.password, kPasswordLimit);
      bool started = false;
      try {
        started = sign_in_worker.Start(std::move(id.mutable_text()), std::move(password.mutable_text()));
      } catch (const std::system_error&) {
        started = false;
      }
      if (started) keyboard.WipePassword();
    } else if (key == 2) {
      auth_helper.StartStatusCheck();
    } else {
      auth_helper.StartLogout();
      keyboard.WipePassword();
      sign_in_worker.TakeState();
    }
  }
  dirty = 1;
}

void PhoneUi::TapLauncher(float x, float y) {
  if (launcher_screen != 0) {
    if (launcher_screen != 1 || launcher_app < 0 || app_lifecycle == nullptr || !Within(y, 620, 710)) return;
    const auto index = static_cast<uint32_t>(launcher_app);
    const char* tap = x < 210 ? "DETACH_TAP" : x < 370 ? "CLOSE_TAP" : "UNINSTALL_TAP";
    const bool ok = x < 210   ? app_lifecycle->DetachForeground()
                    : x < 370 ? app_lifecycle->Close(index)
                              : app_lifecycle->Uninstall(index);
    std::cout << "[PF19_UI] " << tap << "=" << (ok ? "PASS" : "FAIL") << " app=" << GetAppCatalogEntry(index).id
              << "\n";
    if (ok) GoHome();
    dirty = 1;
    return;
  }
  if (In(y, 786, 888)) {
    if (Within(x, 82, 162)) {
      GoHome();
    } else if (Within(x, 230, 310)) {
      StartTransition(kTransitionAppOpen, 1, 1);
    } else if (Within(x, 378, 458)) {
      StartTransition(kTransitionAppOpen, 1, 2);
    }
    return;
  }
  static constexpr float kRowTop[2] = {190, 440};
  static constexpr float kColumnLeft[3] = {42, 214, 386};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (!Within(x, kColumnLeft[column], kColumnLeft[column] + 112) || !Within(y, kRowTop[row], kRowTop[row] + 150)) {
        continue;
      }
      const int32_t index = column + (row + static_cast<int32_t>(launcher_page) * 2) * 3;
      if (app_lifecycle == nullptr || IsAppInstalled(*app_lifecycle, static_cast<uint32_t>(index))) {
        StartTransition(kTransitionAppOpen, 1, index);
        std::cout << "[PF17_UI] APP_ICON=TAP app=" << LauncherTileOf(std::clamp(index, 0, 11)).label
                  << " page=" << launcher_page + 1 << "\n";
      } else {
        std::cout << "[PF19_UI] APP_ICON=BLOCKED_UNINSTALLED app="
                  << GetAppCatalogEntry(static_cast<uint32_t>(index)).id << "\n";
        dirty = 1;
      }
      return;
    }
  }
}

bool PhoneUi::TapKeyboard(float x, float y) {
  if (!Finite(x, y) || !IsTextInputActive()) return false;
  const float panel_y = y + kPanelOffset;
  if (In(panel_y, 304, 346)) {
    if (external_editor != nullptr && In(x, 18, 116)) {
      if (tsf_bridge != nullptr) tsf_bridge->CancelComposition();
      const std::u16string before = external_editor->message;
      ApplyEditorEdit(nullptr, false, true);
      SyncDraftToBridge(before);
      FinishExternalEditor(false);
      dirty = 1;
      return true;
    }
    if (external_editor != nullptr && In(x, 330, 424)) {
      CommitExternalEditor();
      return true;
    }
    if (Within(x, 428, 520)) {
      if (external_editor == nullptr) {
        keyboard_open = 0;
      } else {
        CloseExternalEditor(external_editor_id);
      }
      dirty = 1;
      return true;
    }
  }
  if (!In(panel_y, 353, 794)) return false;
  const KeyboardBefore before(ActiveKeyboard(), external_editor_id);
  {
    PanelTapScope scope(keyboard_panel_tap);
    Tap(x, panel_y);
  }
  const bool same_editor = before.SameEditor(external_editor.get(), external_editor_id);
  if (same_editor && external_editor->GetActiveFieldText() != before.field.text()) FinishExternalEditor(false);
  // The keyboard remembered may have gone with its editor.
  if (before.KeyboardAlive(external_editor.get(), external_editor_id) && before.Typed(*before.keyboard)) {
    PlayUiSound(kTypingKeySound, false);
  }
  return true;
}

bool PhoneUi::SwipeKeyboard(float x, float y, int32_t dx, int32_t dy) {
  if (!Finite(x, y) || !IsTextInputActive()) return false;
  const KeyboardBefore before(ActiveKeyboard(), external_editor_id);
  const bool changed = Swipe(x, y + kPanelOffset, dx, dy);
  if (before.SameEditor(external_editor.get(), external_editor_id) &&
      external_editor->GetActiveFieldText() != before.field.text()) {
    FinishExternalEditor(false);
  }
  if (changed && before.KeyboardAlive(external_editor.get(), external_editor_id) && before.Typed(*before.keyboard)) {
    PlayUiSound(kTypingKeySound, false);
  }
  return changed;
}

bool PhoneUi::Swipe(float x, float y, int32_t dx, int32_t dy) {
  if (!Finite(x, y)) return false;
  QuorixVrKeyboard& active = ActiveKeyboard();
  const bool message = active.active_field == kFieldMessage;
  if (IsTextInputActive() && message && In(y, 405, 458) && Within(x, 18, 520) && dx != 0) {
    return PageCandidates(dx > 0 ? 1 : -1);
  }
  if (message && TsfCandidatesShown()) return false;
  if (external_editor == nullptr && !(launcher_screen == 1 && launcher_app == 0 && transition_kind == kTransitionNone)) {
    return false;
  }
  if (dx == 0 && dy == 0) return false;
  const std::u16string before = active.message;
  const int64_t ax = std::abs(static_cast<int64_t>(dx));
  const int64_t ay = std::abs(static_cast<int64_t>(dy));
  uint32_t direction = kFlickRight;
  if (ax < ay) {
    direction = dy < 0 ? kFlickUp : kFlickDown;
  } else if (dx < 0) {
    direction = kFlickLeft;
  }
  bool changed = false;
  if (external_editor != nullptr) {
    changed = ApplyEditorEdit([&](QuorixVrKeyboard& scratch) { scratch.Flick(x, y, direction); }, false, false);
  } else {
    const SecretWideText field(keyboard.GetActiveFieldText(), kMessageLimit);
    keyboard.Flick(x, y, direction);
    changed = keyboard.GetActiveFieldText() != field.text();
  }
  if (changed) {
    SyncDraftToBridge(before);
    dirty = 1;
  }
  return changed;
}

bool PhoneUi::IsKeyboardSwipeArea(float x, float y) const {
  if (!Finite(x, y) || !IsTextInputActive()) return false;
  const float panel_y = y + kPanelOffset;
  const QuorixVrKeyboard& active = ActiveKeyboard();
  if (active.active_field == kFieldMessage && In(panel_y, 405, 458) && In(x, 18, 520)) return true;
  if (TsfCandidatesShown()) return false;
  if (external_editor == nullptr && !(launcher_screen == 1 && launcher_app == 0 && transition_kind == kTransitionNone)) {
    return false;
  }
  if (active.keyboard_kind != kKeyboardFlick) return false;
  return active.IsFlickKeyArea(x, panel_y);
}

uint32_t PhoneUi::PressKey(float x, float y) {
  if (external_editor == nullptr) return keyboard.Tap(x, y);
  const bool flick = external_editor->keyboard_kind == kKeyboardFlick;
  const bool backspace = flick ? (In(x, 418, 518) && In(y, 465, 531)) || (In(y, 741, 794) && In(x, 120, 234))
                               : (In(x, 418, 468) && In(y, 641, 729)) || (In(y, 741, 794) && In(x, 362, 440));
  const bool clear = flick && In(y, 741, 794) && In(x, 362, 520);
  uint32_t key = 0;
  ApplyEditorEdit([&](QuorixVrKeyboard& scratch) { key = scratch.Tap(x, y); }, backspace, clear);
  return key;
}

bool PhoneUi::PageCandidates(int32_t direction) {
  if (ActiveKeyboard().active_field != kFieldMessage) return false;
  uint64_t count = 0;
  if (TsfCandidatesShown()) {
    count = tsf_bridge->GetState()->candidates.size();
  } else if (external_editor == nullptr) {
    count = keyboard.GetCandidates().size();
  }
  const uint64_t entries = count + 2;
  if (entries < 6) {
    candidate_page = 0;
    return true;
  }
  if (direction > 0) {
    candidate_page = std::min(entries / 3 - 1, candidate_page + 1);
  } else if (direction < 0 && candidate_page > 0) {
    --candidate_page;
  }
  dirty = 1;
  return true;
}

bool PhoneUi::TapAudioPanel(float x, float y) {
  if (owner == nullptr || !Finite(x, y)) return false;
  const bool left = In(x, 22, 145);
  const bool right = Within(x, 375, 518);
  if (settings != nullptr && In(y, 792, 850) && (left || right)) {
    uint32_t& volume = settings->ui_volume;
    volume = x >= 145 ? std::min<uint32_t>(volume + 10, 100) : (volume < 10 ? 0 : volume - 10);
    SetUiSoundVolume(volume);
    settings->Save();
    dirty = 1;
    return true;
  }
  if ((x >= 390 && In(y, 78, 145)) || (In(x, 280, 518) && In(y, 625, 685))) {
    audio_panel_open = 0;
    dirty = 1;
    return true;
  }
  bool ok = false;
  if (Within(x, 22, 250) && In(y, 625, 685)) {
    ok = owner->RefreshAudioDevices();
  } else {
    const bool microphone = In(y, 310, 368);
    if ((!microphone && !In(y, 510, 568)) || (!left && !right)) return true;
    const quorix_native::Ui::AudioDeviceList list = owner->GetAudioDevices(microphone);
    if (!list.names.empty()) {
      const auto count = static_cast<int32_t>(list.names.size());
      int32_t index = 0;
      if (list.selected < 0) {
        index = left ? count - 1 : 0;
      } else {
        index = ((list.selected + (left ? -1 : 1)) % count + count) % count;
      }
      ok = owner->SelectAudioDevice(microphone, index, list.revision);
    }
  }
  last_owner_action_failed = ok ? 0 : 1;
  WriteEventLog("VR_AUDIO_ACTION", ok ? 1 : 0, 0);
  dirty = 1;
  return true;
}

bool PhoneUi::RunOwnerAuthAction(uint32_t key) {
  if (owner == nullptr || key == 0) return false;
  bool ok = false;
  if (key == 1) {
    if (!HasPendingFetch()) {
      SecretWideText id(keyboard.id, kIdLimit);
      SecretWideText password(keyboard.password, kPasswordLimit);
      if (!id.empty() && !password.empty()) {
        // The owner takes both buffers over (reserved, so never inline).
        ok = owner->SignIn(std::move(id.mutable_text()), std::move(password.mutable_text()));
      }
    }
  } else if (key == 3) {
    if (!HasPendingFetch()) ok = owner->SignOut();
  } else if (key == 2) {
    cached_status_code = owner->GetStatus().code;
    ok = true;
  }
  keyboard.WipePassword();
  last_owner_action_failed = ok ? 0 : 1;
  WriteEventLog("VR_AUTH_ACTION", key, ok ? 1 : 0);
  dirty = 1;
  return true;
}

bool PhoneUi::TapPhoneCards(float x, float y, bool second_target) {
  if (!Finite(x, y) || !OwnerSignedIn(owner) || !Within(x, 14, 526)) return false;
  const size_t target = second_target ? 1 : 0;
  const uint64_t expected_call = drawn_call_revision[target];
  const uint64_t expected_notice = drawn_notice_id[target];

  bool card = false;
  float height = 0;
  CallSession::Snapshot snapshot;
  if (call_session != nullptr) {
    snapshot = call_session->GetSnapshot();
    const uint32_t state = snapshot.state;
    card = state != CallSession::kIdle && state != CallSession::kEnding &&
           (settings == nullptr || state != CallSession::kFailed);
    height = state == CallSession::kIncoming || call_card_expanded != 0 ? 326 : 146;
  }
  if (card && In(y, 72, height)) {
    const uint32_t state = snapshot.state;
    const bool incoming = state == CallSession::kIncoming;
    if (expected_call == 0 || expected_call != owner->GetCallRevision()) {
      dirty = 1;
      return true;
    }
    if (!incoming && x >= 420 && y < 146) {
      call_card_expanded = call_card_expanded != 0 ? 0 : 1;
    } else if ((call_card_expanded != 0 || incoming) && In(y, 248, 310)) {
      if (In(x, 30, 260) && (incoming || state == CallSession::kConnected)) {
        owner->PerformCallAction(incoming ? 1 : 4, expected_call);
      } else if (Within(x, 280, 510)) {
        owner->PerformCallAction(incoming ? 2 : state == CallSession::kFailed ? 5 : 3, expected_call);
      }
    }
    dirty = 1;
    return true;
  }
  const float top = card ? height + 12 : 78;
  const quorix_native::Ui::Notice notice = owner->GetActiveNotice();
  if (notice.id != 0 && In(y, top, top + 180)) {
    if (notice.id == expected_notice && x >= 470 && y < top + 40) owner->DismissNotice(notice.id);
    dirty = 1;
    return true;
  }
  return false;
}

bool PhoneUi::PressPopup(uint32_t slot, float x, float y, const std::array<uint64_t, 3>& identity, bool open) {
  if (!Finite(x, y) || owner == nullptr || GetPopupItemKey(slot) == 0) return false;
  const bool corner = x >= 479 && y < 57;
  if (slot == 0) {
    if (call_popup_ended_shown != 0 || owner->GetCallRevision() != identity[0]) return true;
    const uint32_t state = call_session != nullptr ? call_session->GetSnapshot().state : CallSession::kIdle;
    const bool incoming = state == CallSession::kIncoming;
    uint32_t action = 0;
    if (In(y, 203, 268)) {
      if (In(x, 28, 259)) {
        action = incoming ? 2 : state == CallSession::kConnected ? 4 : 0;
      } else if (In(x, 281, 512)) {
        action = incoming ? 1 : 3;
      }
    }
    if (action != 0) owner->PerformCallAction(action, identity[0]);
    dirty = 1;
    return true;
  }
  if (slot <= 3) {
    const std::vector<quorix_native::Ui::Notice> list = owner->GetPendingNotices();
    if (slot > list.size() || identity[1] != list[slot - 1].id) return true;
    const quorix_native::Ui::Notice& notice = list[slot - 1];
    if (open) {
      if (OpenConversation(notice.peer_id)) {
        show_desktop_request = 1;
        owner->DismissNotice(notice.id);
        WriteEventLog("UI_NOTICE_OPEN_CONVERSATION", 1, 0);
      }
    } else if (corner) {
      owner->DismissNotice(notice.id);
    }
    return true;
  }
  const quorix_native::Ui::Notice notice = owner->GetSystemNotice();
  if (identity[2] == notice.id && corner) owner->DismissSystemNotice(notice.id);
  return true;
}
