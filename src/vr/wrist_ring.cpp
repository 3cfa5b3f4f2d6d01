#include "vr/wrist_ring.h"

#include <algorithm>
#include <cmath>

#include "core/event_log.h"
#include "core/ui_settings.h"
#include "vr/overlay/pointer_geometry.h"
#include "vr/vr_phone_port.h"
#include "vr/vr_session.h"

using platform::vr::Matrix34;

namespace {

constexpr uint64_t kRestartGapMs = 250;
constexpr float kRadToDeg = 57.29578f;

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 AddScaled(const Vec3& a, const Vec3& b, float s) { return {a[0] + b[0] * s, a[1] + b[1] * s, a[2] + b[2] * s}; }

float AngleDeg(const Vec3& a, const Vec3& b) { return std::acos(std::clamp(Dot(a, b), -1.0f, 1.0f)) * kRadToDeg; }

}  // namespace

void ClearWristRing(WristRingState& state) {
  state.initialized = 0;
  state.shown = 0;
  state.grip_held_last = 1;
  state.grabbing = 0;
}

WristRingResult SolveWristRing(WristRingState& state, WristRingResult* out, const WristRingInput& input,
                               const UiSettings& settings) {
  WristRingResult result;
  const ControllerFrame& frame = *input.frame;
  const uint64_t now = input.sample_time;
  uint64_t dt = state.last_sample_time != 0 && now > state.last_sample_time ? now - state.last_sample_time : 0;
  state.last_sample_time = now;
  const auto finish = [&] {
    if (out) *out = result;
    return result;
  };
  if (!frame.left_pose_valid || !frame.headset_pose_valid) {
    result.cancel = state.grabbing;
    ClearWristRing(state);
    return finish();
  }
  if (dt > kRestartGapMs) {
    result.cancel = state.grabbing;
    ClearWristRing(state);
    dt = 0;
  }
  const Vec3 w = TransformPoint(frame.left_pose, {settings.wrist_x, settings.wrist_y, settings.wrist_z});
  const Vec3 n = NormalizeOrZero(RotateVector(frame.left_pose, {settings.normal_x, settings.normal_y, settings.normal_z}));
  if (!state.initialized) {
    state.smoothed_point = w;
    state.smoothed_normal = n;
    state.initialized = 1;
  }
  const float tau = settings.ring_smoothing_ms;
  const float a = tau > 0.0f ? 1.0f - std::exp(-static_cast<float>(dt) / tau) : 1.0f;
  state.smoothed_point = AddScaled(state.smoothed_point, Sub(w, state.smoothed_point), a);
  state.smoothed_normal = NormalizeOrZero(AddScaled(state.smoothed_normal, Sub(n, state.smoothed_normal), a));
  state.ring_position = AddScaled(state.smoothed_point, state.smoothed_normal, settings.ring_lift_m);
  result.ring_position = state.ring_position;

  const Vec3 head = PositionOf(frame.headset_pose);
  result.wrist_angle = AngleDeg(n, NormalizeOrZero(Sub(head, w)));
  const float smoothed_angle = AngleDeg(state.smoothed_normal, NormalizeOrZero(Sub(head, state.smoothed_point)));
  const float limit = state.shown ? settings.ring_visibility_deg : settings.ring_appear_deg;
  const bool shown = result.wrist_angle <= settings.ring_visibility_deg && smoothed_angle <= limit;
  if (shown && !state.shown) state.appear_time = now;
  state.shown = shown ? 1 : 0;
  result.shown = state.shown;

  const bool grip = frame.right_grip_held;
  if (!frame.right_pose_valid || !input.right_grip_counts) {
    result.cancel = result.cancel || state.grabbing;
    state.grabbing = 0;
    state.pulled = 0;
    state.right_usable_last = 0;
    state.grip_held_last = 1;
    return finish();
  }
  const Vec3 hand = PositionOf(frame.right_pose);
  const float p = settings.ray_pitch_deg * 0.017453292f;
  const float y = settings.ray_yaw_deg * 0.017453292f;
  const Vec3 dir = NormalizeOrZero(
      RotateVector(frame.right_pose, {std::sin(y) * -std::cos(p), std::sin(p), std::cos(y) * -std::cos(p)}));
  const float t = std::clamp(Dot(Sub(state.ring_position, hand), dir), 0.0f, settings.ring_reach_m);
  result.hand_distance = Length(Sub(state.ring_position, AddScaled(hand, dir, t)));
  result.hovered = state.shown && result.hand_distance <= settings.grab_radius_m;

  const bool press = grip && !state.grip_held_last;
  if (state.right_usable_last && press && !state.grabbing) {
    if (!state.shown) {
      result.refusal = kRingRefuseNotShown;
    } else if (now - state.appear_time < settings.ring_settle_ms) {
      result.refusal = kRingRefuseTooSoon;
    } else if (now < state.cooldown_end) {
      result.refusal = kRingRefuseCooldown;
    } else if (result.hand_distance > settings.grab_radius_m) {
      result.refusal = kRingRefuseOutOfReach;
    } else {
      state.grabbing = 1;
      state.pulled = 0;
      result.grab_begins = 1;
      state.grab_hand = hand;
      state.grab_ring = state.ring_position;
      state.grab_time = now;
    }
  }
  if (state.grabbing) {
    const Vec3 pull = Sub(Sub(hand, state.ring_position), Sub(state.grab_hand, state.grab_ring));
    if (Length(pull) >= settings.pull_m) state.pulled = 1;
    const uint64_t hold = now - state.grab_time;
    if (hold <= settings.ring_grab_timeout_ms && grip) {
      result.grabbed = 1;
    } else if (hold <= settings.ring_grab_timeout_ms) {
      if (state.pulled && hold >= settings.ring_pull_hold_ms) {
        result.toggle = 1;
        state.cooldown_end = now + settings.ring_toggle_cooldown_ms;
      }
      state.grabbing = 0;
    } else {
      result.cancel = 1;
      state.grabbing = 0;
    }
  }
  state.right_usable_last = 1;
  state.grip_held_last = grip ? 1 : 0;
  return finish();
}

void SpawnPhone(VrSession& session, const Matrix34& head, const UiSettings& settings) {
  OverlayRecord& phone = session.overlays[kPhoneOverlay];
  OverlayRecord& keyboard = session.overlays[kKeyboardOverlay];
  phone.SetWidth(settings.phone_width_m);
  const Matrix34 local =
      MakeFacingTransform({0.0f, settings.spawn_height_m, -settings.spawn_distance_m}, {0.0f, 0.0f, 0.0f});
  phone.placed = false;
  phone.SetTransform(ComposeTransforms(head, local));
  session.drag_active = false;
  session.drag_hand = -1;
  session.grab.Reset();
  session.pending_press = PendingPress{};
  session.phone_render_needed = true;
  session.keyboard_render_needed = true;
  ++session.phone_transforms;
  if (session.keyboard_lease != 0) {
    const float width = session.keyboard_saved_width > 0.0f ? session.keyboard_saved_width : keyboard.width;
    session.keyboard_saved_transform = ComputeKeyboardTransform(phone, width);
    session.keyboard_saved_placed = true;
  } else {
    PlaceKeyboardBelowPhone(session);
  }
  WriteEventLog("VR_PHONE_SPAWN", 1, 0);
}

void AttachKeyboardToBrowserPanel(VrSession& session, VrPhonePort& ui) {
  OverlayRecord& keyboard = session.overlays[kKeyboardOverlay];
  quorix_browser_vr::Feature& browser = session.browser;
  if (ui.IsExternalEditorOpen() && browser.lease_id != 0) {
    if (session.keyboard_lease == browser.lease_id) return;
    if (session.keyboard_lease == 0) {
      session.keyboard_saved_placed = keyboard.placed;
      session.keyboard_saved_width = keyboard.width;
      session.keyboard_saved_transform = keyboard.transform;
    }
    if (browser.focused_panel < quorix_browser_vr::kPanelCount && browser.panels[browser.focused_panel].overlay) {
      keyboard.SetTransform(ComputeKeyboardTransform(*browser.panels[browser.focused_panel].overlay, keyboard.width));
    }
    session.keyboard_lease = browser.lease_id;
    return;
  }
  if (session.keyboard_lease == 0) return;
  keyboard.SetWidth(session.keyboard_saved_width);
  if (session.keyboard_saved_placed) {
    keyboard.SetTransform(session.keyboard_saved_transform);
  } else {
    keyboard.placed = false;
  }
  session.keyboard_lease = 0;
}

bool OpenHeldNotice(VrSession& session, VrPhonePort& ui, const ControllerFrame& frame, const UiSettings& settings,
                    uint8_t* phone_shown) {
  const VrInputActions& in = session.input;
  const bool left_usable = frame.headset_pose_valid && frame.left_pose_valid && in.left_click_active;
  const bool right_usable =
      frame.right_pose_valid && in.point_click_active && (frame.headset_pose_valid || left_usable);
  const uint8_t held = static_cast<uint8_t>((left_usable ? (in.left_click_state ? 1 : 0) : 1) |
                                            (right_usable ? (in.point_click_state ? 2 : 0) : 2));
  const uint8_t edges = static_cast<uint8_t>(held & ~session.notice_triggers_last);
  session.notice_triggers_last = held;
  const int32_t hand = session.drag_hand;
  if (!session.drag_active || hand < 0 || hand > 1 || session.ring_state.grabbing || session.drag_index < 3 ||
      session.drag_index > 5 || !(edges & (hand == 0 ? 1 : 2))) {
    return false;
  }
  const uint32_t slot = session.drag_index - 2;
  WriteEventLog("VR_NOTICE_OPEN_REQUEST", static_cast<uint64_t>(hand), slot);
  ui.PressPopup(slot, 100.0f, 100.0f, session.messages[slot - 1].published_key, true);
  if (!ui.TakeShowDesktopRequest()) {
    WriteEventLog("VR_NOTICE_OPEN_REJECTED", static_cast<uint64_t>(hand), slot);
    return false;
  }
  if (!*phone_shown && frame.headset_pose_valid) SpawnPhone(session, frame.headset_pose, settings);
  *phone_shown = 1;
  session.phone_open = 1;
  session.phone_render_needed = true;
  session.keyboard_render_needed = true;
  session.drag_active = false;
  session.drag_hand = -1;
  session.grab.Reset();
  session.pending_press = PendingPress{};
  NoteAcceptedInput(session, 4, ui.IsTextInputActive(), 0);
  ui.RequestDesktopShowFromVr();
  WriteEventLog("VR_NOTICE_OPENED", static_cast<uint64_t>(hand), slot);
  return true;
}
