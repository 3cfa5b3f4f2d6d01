#include "vr/vr_input.h"

#include <algorithm>
#include <cmath>

#include "browser/browser_vr.h"
#include "vr/overlay/overlay_record.h"

namespace pvr = platform::vr;

namespace {

constexpr char kActionSet[] = "/actions/quorix";
// Squeeze hysteresis: press at 0.45, release below 0.25.
constexpr float kSqueezePress = 0.45f;
constexpr float kSqueezeHold = 0.25f;
// Thumbstick: dead zone, direction threshold, first repeat, later repeats.
constexpr float kDeadZone = 0.35f;
constexpr float kDirectionThreshold = 0.55f;
constexpr uint64_t kFirstRepeatMs = 250;
constexpr uint64_t kRepeatMs = 120;
// A gap this long between samples re-arms the repeater.
constexpr uint64_t kRearmGapMs = 251;
constexpr int32_t kWheelNotch = 120;
// The page area of a panel is 1024 pixels wide.
constexpr float kPanelPageWidth = 1024.0f;

bool BindOptional(pvr::Input* input, const char* name, uint64_t* handle) {
  uint64_t bound = 0;
  if (input->GetActionHandle(name, &bound) != 0) return false;
  *handle = bound;
  return true;
}

// Reads a squeeze with hysteresis; false when the action is inactive.
bool ReadSqueeze(pvr::Input* input, uint64_t action, bool* pressed) {
  pvr::AnalogActionData data;
  if (!input || action == 0 || input->GetAnalogActionData(action, &data) != 0 || !data.active) {
    *pressed = false;
    return false;
  }
  const float threshold = *pressed ? kSqueezeHold : kSqueezePress;
  *pressed = std::isfinite(data.x) && data.x >= threshold;
  return true;
}

bool UsablePose(bool connected, bool valid, int32_t result, const pvr::Matrix34& matrix) {
  return connected && valid && result == pvr::kTrackingRunningOk && IsFiniteMatrix(matrix);
}

}  // namespace

bool VrInputActions::Init(const std::filesystem::path& assets_dir) {
  *this = VrInputActions{};
  pvr::Input* input = pvr::CurrentRuntime().GetInput();
  if (!input) return false;
  if (input->SetActionManifestPath((assets_dir / "actions.json").string()) != 0) return false;
  BindOptional(input, "/actions/quorix/in/right_squeeze", &right_squeeze);
  BindOptional(input, "/actions/quorix/in/left_squeeze", &left_squeeze);
  BindOptional(input, "/actions/quorix/in/left_click", &left_click);
  BindOptional(input, "/actions/quorix/in/left_scroll", &left_scroll);
  BindOptional(input, "/actions/quorix/in/right_scroll", &right_scroll);
  BindOptional(input, "/actions/quorix/in/left_scroll_touch", &left_scroll_touch);
  BindOptional(input, "/actions/quorix/in/right_scroll_touch", &right_scroll_touch);
  if (input->GetActionSetHandle(kActionSet, &action_set) != 0) return false;
  return BindOptional(input, "/actions/quorix/in/left_pose", &left_pose) &&
         BindOptional(input, "/actions/quorix/in/right_pose", &right_pose) &&
         BindOptional(input, "/actions/quorix/in/left_grip", &left_grip) &&
         BindOptional(input, "/actions/quorix/in/right_grip", &right_grip) &&
         BindOptional(input, "/actions/quorix/in/point_click", &point_click);
}

bool ReadHandPose(pvr::Input* input, uint64_t action, pvr::Matrix34* pose) {
  pvr::PoseActionData data;
  if (!input || input->GetPoseActionDataRelativeToNow(action, pvr::kOriginStanding, 0.0f, &data) != 0 ||
      !data.active || !UsablePose(data.connected, data.valid, data.tracking_result, data.matrix)) {
    return false;
  }
  *pose = data.matrix;
  return true;
}

bool ReadDigitalAction(pvr::Input* input, uint64_t action, bool* state) {
  pvr::DigitalActionData data;
  if (input && input->GetDigitalActionData(action, &data) == 0 && data.active) {
    *state = data.state;
    return true;
  }
  *state = false;
  return false;
}

bool ReadScrollAxis(pvr::Input* input, uint64_t action, float* value) {
  if (!input || action == 0) return false;
  pvr::AnalogActionData data;
  if (input->GetAnalogActionData(action, &data) != 0 || !data.active) return false;
  if (!std::isfinite(data.x) || !std::isfinite(data.y)) return false;
  *value = std::clamp(data.y, -1.0f, 1.0f);
  return true;
}

void ReadScrollTouch(pvr::Input* input, uint64_t action, float* value, bool* active) {
  if (!*active || action == 0) return;
  bool touched = false;
  if (ReadDigitalAction(input, action, &touched) && !touched) {
    *value = 0.0f;
    *active = false;
  }
}

void ApplyPoseFallback(pvr::System* system, const pvr::DevicePose* poses, int32_t role, bool* valid,
                       pvr::Matrix34* pose, uint32_t bit, uint32_t* bits) {
  if (*valid) return;
  const uint32_t device = system->DeviceIndexForControllerRole(role);
  if (device >= pvr::kMaxDevices) return;
  const pvr::DevicePose& found = poses[device];
  if (!UsablePose(found.connected, found.valid, found.tracking_result, found.matrix)) return;
  *pose = found.matrix;
  *valid = true;
  *bits |= bit;
}

bool VrInputActions::Sample(pvr::System* system, ControllerFrame* frame, bool* left_grip_held,
                            bool* point_click_held) {
  pvr::Input* input = pvr::CurrentRuntime().GetInput();
  if (!system || !frame || !left_grip_held || !point_click_held || !input) return false;
  *frame = ControllerFrame{};
  *left_grip_held = false;
  *point_click_held = false;
  scroll_active = {false, false};
  // A failed update reads every action as inactive: only the headset is read.
  pvr::Input* actions = input->UpdateActionState(action_set) == 0 ? input : nullptr;

  scroll_active[0] = ReadScrollAxis(actions, left_scroll, &scroll_value[0]);
  scroll_active[1] = ReadScrollAxis(actions, right_scroll, &scroll_value[1]);
  ReadScrollTouch(actions, left_scroll_touch, &scroll_value[0], &scroll_active[0]);
  ReadScrollTouch(actions, right_scroll_touch, &scroll_value[1], &scroll_active[1]);

  frame->left_pose_valid = ReadHandPose(actions, left_pose, &frame->left_pose);
  frame->right_pose_valid = ReadHandPose(actions, right_pose, &frame->right_pose);

  frame->right_grip_action_active = ReadDigitalAction(actions, right_grip, &frame->right_grip_held);
  left_grip_source = ReadDigitalAction(actions, left_grip, left_grip_held);
  point_click_active = ReadDigitalAction(actions, point_click, point_click_held);
  point_click_state = *point_click_held;
  if (left_click != 0) left_click_active = ReadDigitalAction(actions, left_click, &left_click_state);

  if (ReadSqueeze(actions, left_squeeze, &left_squeeze_pressed)) {
    *left_grip_held = *left_grip_held || left_squeeze_pressed;
    left_grip_source = true;
  }

  grip_source_bits = (frame->right_grip_action_active ? kGripRightAction : 0u) |
                     (frame->right_grip_held ? kGripRightButton : 0u);
  if (ReadSqueeze(actions, right_squeeze, &right_squeeze_pressed)) {
    grip_source_bits |= kGripRightSqueezeAction | (right_squeeze_pressed ? kGripRightSqueezePressed : 0u);
    frame->right_grip_held = frame->right_grip_held || right_squeeze_pressed;
    frame->right_grip_action_active = true;
  }

  std::array<pvr::DevicePose, pvr::kMaxDevices> poses{};
  system->DeviceToAbsoluteTrackingPose(pvr::kOriginStanding, 0.0f, poses.data(), pvr::kMaxDevices);
  const pvr::DevicePose& head = poses[0];
  if (UsablePose(head.connected, head.valid, head.tracking_result, head.matrix)) {
    frame->headset_pose_valid = true;
    frame->headset_pose = head.matrix;
  }

  pose_fallback_bits = 0;
  if (actions) {
    ApplyPoseFallback(system, poses.data(), pvr::kRoleLeftHand, &frame->left_pose_valid, &frame->left_pose,
                      kFallbackLeft, &pose_fallback_bits);
    ApplyPoseFallback(system, poses.data(), pvr::kRoleRightHand, &frame->right_pose_valid, &frame->right_pose,
                      kFallbackRight, &pose_fallback_bits);
  }
  return true;
}

int32_t ThumbstickWheelRepeater::Step(uint64_t now, uint32_t panel_index,
                                      const quorix_browser::normal::Engine* panel_engine, uint32_t hand_index,
                                      float value, bool axis_active, bool blocked) {
  if (!axis_active || blocked || panel_index >= quorix_browser_vr::kPanelCount || !panel_engine || hand_index >= 2 ||
      !std::isfinite(value)) {
    Reset();
    return 0;
  }
  const bool dead = std::fabs(value) <= kDeadZone;
  const bool same = armed && panel == static_cast<int32_t>(panel_index) && engine == panel_engine &&
                    hand == hand_index && now >= last_time && now - last_time < kRearmGapMs;
  if (!same) {
    Reset();
    armed = true;
    panel = static_cast<int32_t>(panel_index);
    engine = panel_engine;
    hand = hand_index;
    last_time = now;
    neutral_seen = dead;
    return 0;
  }
  last_time = now;
  if (!neutral_seen) {
    neutral_seen = dead;
    return 0;
  }
  if (dead) {
    direction = 0;
    next_repeat = 0;
    return 0;
  }
  const int32_t wanted = value >= kDirectionThreshold ? 1 : value <= -kDirectionThreshold ? -1 : 0;
  if (direction != 0) {
    if (static_cast<float>(direction) * value > kDeadZone) {
      if (now < next_repeat) return 0;
      next_repeat += kRepeatMs;
      if (next_repeat < now) next_repeat = now + kRepeatMs;
      return direction * kWheelNotch;
    }
    direction = 0;
    next_repeat = 0;
  }
  if (wanted != 0) {
    direction = wanted;
    next_repeat = now + kFirstRepeatMs;
    return direction * kWheelNotch;
  }
  return 0;
}

int32_t BrowserThumbstickScroll(quorix_browser_vr::Feature& feature, ThumbstickWheelRepeater& repeater,
                                const BrowserHit* hit, bool axis_active, float axis_value, bool trigger_held,
                                uint64_t sample_time_ms, uint32_t hand) {
  using namespace quorix_browser_vr;
  const uint32_t panel = hit ? hit->panel - 1 : kPanelCount;
  const bool usable =
      hit && hit->panel >= 1 && hit->panel <= kPanelCount && !feature.capturing && feature.input_enabled[panel] &&
      std::isfinite(hit->x) && std::isfinite(hit->y) && hit->x >= 0.0f && hit->x < kPanelPageWidth &&
      hit->y >= static_cast<float>(kToolbarHeight) && feature.site_active[panel] && feature.panels[panel].engine &&
      feature.panels[panel].overlay && hit->y < static_cast<float>(feature.panels[panel].overlay->pixel_height) &&
      feature.panels[panel].overlay->shown && feature.panels[panel].state == kPanelLive &&
      !feature.panels[panel].busy;
  if (!usable) {
    repeater.Reset();
    return 0;
  }
  const bool blocked = trigger_held || feature.pressing || feature.dragging;
  const int32_t delta = repeater.Step(sample_time_ms, panel, feature.panels[panel].engine.get(), hand, axis_value,
                                      axis_active, blocked);
  if (delta == 0) return 0;
  const int32_t page_y = static_cast<int32_t>(hit->y) - static_cast<int32_t>(kToolbarHeight);
  if (feature.InjectPanelWheel(panel, static_cast<int32_t>(hit->x), page_y, delta)) {
    return 1;
  }
  repeater.Reset();
  return 0;
}
