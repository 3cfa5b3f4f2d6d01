#pragma once
// The controllers, read through the runtime's input actions with our own
// action manifest ("actions.json"), plus the device poses for the headset
// and as a fallback for the hands; and the thumbstick as mouse-wheel notches
// on a browser panel. Main thread only.
#include <array>
#include <cstdint>
#include <filesystem>

#include "platform/vr/vr_runtime.h"

namespace quorix_browser_vr {
class Feature;
}
namespace quorix_browser::normal {
class Engine;
}

// One frame's controller state for the frame driver.
struct ControllerFrame {
  bool left_pose_valid = false;
  bool right_pose_valid = false;
  bool headset_pose_valid = false;
  bool right_grip_action_active = false;
  bool right_grip_held = false;
  platform::vr::Matrix34 left_pose{};
  platform::vr::Matrix34 right_pose{};
  platform::vr::Matrix34 headset_pose{};
};

// Pose fallback bits.
constexpr uint32_t kFallbackLeft = 1;
constexpr uint32_t kFallbackRight = 2;
// Grip source bits.
constexpr uint32_t kGripRightAction = 1;
constexpr uint32_t kGripRightSqueezeAction = 2;
constexpr uint32_t kGripRightButton = 4;
constexpr uint32_t kGripRightSqueezePressed = 8;

struct VrInputActions {
  // All handles 0 until bound; the optional ones (squeezes, left click,
  // scrolls, scroll touches) stay 0 when the manifest lacks them.
  bool Init(const std::filesystem::path& assets_dir);
  // False only when the system or the input interface is missing.
  bool Sample(platform::vr::System* system, ControllerFrame* frame, bool* left_grip_held, bool* point_click_held);

  uint64_t action_set = 0;
  uint64_t left_pose = 0, right_pose = 0;
  uint64_t left_grip = 0, right_grip = 0;
  uint64_t point_click = 0;
  uint64_t right_squeeze = 0;
  uint64_t left_click = 0;
  uint64_t left_squeeze = 0;
  uint64_t left_scroll = 0, right_scroll = 0;
  uint64_t left_scroll_touch = 0, right_scroll_touch = 0;
  std::array<float, 2> scroll_value{};
  std::array<bool, 2> scroll_active{};
  uint32_t pose_fallback_bits = 0;
  uint32_t grip_source_bits = 0;
  bool left_grip_source = false;
  bool right_squeeze_pressed = false, left_squeeze_pressed = false;
  bool left_click_state = false;
  bool point_click_state = false;
  bool left_click_active = false, point_click_active = false;
};

// Each read marks its output invalid/false on any failure of the runtime.
// A pose needs an active, valid, connected, running and finite answer.
bool ReadHandPose(platform::vr::Input* input, uint64_t action, platform::vr::Matrix34* pose);
bool ReadDigitalAction(platform::vr::Input* input, uint64_t action, bool* state);
// The stick's y axis clamped to -1..1; false when unbound, inactive or not finite.
bool ReadScrollAxis(platform::vr::Input* input, uint64_t action, float* value);
// An active axis whose touch action reports "not touched" reads as 0, inactive.
void ReadScrollTouch(platform::vr::Input* input, uint64_t action, float* value, bool* active);
// A hand without a valid pose takes its role's tracked device pose and sets `bit`.
void ApplyPoseFallback(platform::vr::System* system, const platform::vr::DevicePose* poses, int32_t role,
                       bool* valid, platform::vr::Matrix34* pose, uint32_t bit, uint32_t* bits);

// Turns a held stick into wheel notches: one at once, a second after 250 ms,
// then one every 120 ms; after (re)arming the stick must rest in the dead
// zone once before the first notch.
struct ThumbstickWheelRepeater {
  bool armed = false;
  bool neutral_seen = false;
  int32_t panel = -1;
  const quorix_browser::normal::Engine* engine = nullptr;
  uint32_t hand = 0;
  uint64_t last_time = 0;
  int32_t direction = 0;
  uint64_t next_repeat = 0;

  // The wheel delta for this sample: 0 or ±120.
  int32_t Step(uint64_t now_ms, uint32_t panel_index, const quorix_browser::normal::Engine* panel_engine,
               uint32_t hand_index, float value, bool axis_active, bool blocked);
  void Reset() { *this = ThumbstickWheelRepeater{}; }
};

// Where the pointer meets a browser panel: panel 1..3, panel pixels.
struct BrowserHit {
  uint32_t panel = 0;  // 0 = no panel
  float x = 0.0f;
  float y = 0.0f;
};

// Scrolls the panel under the pointer by the stick of `hand` (0 left,
// 1 right); 1 when a notch was delivered.
int32_t BrowserThumbstickScroll(quorix_browser_vr::Feature& feature, ThumbstickWheelRepeater& repeater,
                                const BrowserHit* hit, bool axis_active, float axis_value, bool trigger_held,
                                uint64_t sample_time_ms, uint32_t hand);
