#pragma once
// The wrist ring: shown on the left wrist when its inside turns towards the
// face; grabbing it with the right grip and pulling toggles the phone. Also
// where the phone appears, how the keyboard follows a browser panel and how a
// held notice opens its conversation. Main thread only.
#include <array>
#include <cstdint>

#include "platform/vr/vr_runtime.h"
#include "vr/vr_input.h"

struct UiSettings;
class VrSession;
class VrPhonePort;

using RingVec = std::array<float, 3>;

struct WristRingState {
  uint8_t initialized = 0;
  uint8_t shown = 0;
  uint8_t right_usable_last = 0;
  uint8_t grip_held_last = 0;
  uint8_t grabbing = 0;
  uint8_t pulled = 0;
  RingVec smoothed_point{};
  RingVec smoothed_normal{};
  RingVec ring_position{};
  uint64_t appear_time = 0;
  uint64_t cooldown_end = 0;
  RingVec grab_hand{};
  RingVec grab_ring{};
  uint64_t grab_time = 0;
  uint64_t last_sample_time = 0;
};

// Refusal reasons of a grab.
inline constexpr uint32_t kRingRefuseNotShown = 1;
inline constexpr uint32_t kRingRefuseTooSoon = 2;
inline constexpr uint32_t kRingRefuseCooldown = 3;
inline constexpr uint32_t kRingRefuseOutOfReach = 4;

struct WristRingResult {
  uint8_t shown = 0;
  uint8_t toggle = 0;
  uint8_t grabbed = 0;
  uint8_t cancel = 0;
  uint8_t hovered = 0;
  uint8_t grab_begins = 0;
  RingVec ring_position{};
  float wrist_angle = 180.0f;
  float hand_distance = 10.0f;
  uint32_t refusal = 0;
};

// What the solver reads of one frame: the controller frame, the sample time
// and whether the right grip counts for the ring.
struct WristRingInput {
  const ControllerFrame* frame = nullptr;
  uint64_t sample_time = 0;
  bool right_grip_counts = false;
};

WristRingResult SolveWristRing(WristRingState& state, WristRingResult* result, const WristRingInput& input,
                               const UiSettings& settings);
// Clears the solver for a restart: nothing shown or grabbed, grip latched.
void ClearWristRing(WristRingState& state);

void SpawnPhone(VrSession& session, const platform::vr::Matrix34& head, const UiSettings& settings);
void AttachKeyboardToBrowserPanel(VrSession& session, VrPhonePort& ui);
// A trigger click of the hand dragging a notice opens its conversation.
bool OpenHeldNotice(VrSession& session, VrPhonePort& ui, const ControllerFrame& frame, const UiSettings& settings,
                    uint8_t* phone_shown);
