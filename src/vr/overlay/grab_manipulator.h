#pragma once
// Direct manipulation of one overlay at a time with the grip buttons: a grip
// pressed while a hand points at or touches a target grabs it and the target
// follows that hand rigidly; the other hand's grip pressed on the same target,
// once the hands are 0.06 m apart, moves the target with the hands' midpoint
// and scales its width with their distance. Main thread only.
#include <array>
#include <cstdint>

#include "platform/vr/vr_runtime.h"

// The target as the manipulator sees it; target id 0 is none.
struct GrabTarget {
  uint32_t target_id = 0;
  uint64_t content_key = 0;
  platform::vr::Matrix34 transform{};
  float width = 0.0f;
  float min_width = 0.12f;
  float max_width = 1.4f;
};

struct GrabHand {
  uint8_t tracked = 0;
  uint8_t grip_held = 0;
  platform::vr::Matrix34 pose{};
};

// Hands: 0 left, 1 right.
struct GrabInput {
  uint8_t valid = 0;
  uint64_t sample_time = 0;
  std::array<GrabHand, 2> hands{};
};

struct GrabResult {
  uint8_t active = 0;
  uint8_t scaling = 0;
  uint8_t started = 0;
  uint8_t scale_started = 0;
  uint8_t hand_switched = 0;
  uint8_t released = 0;
  uint8_t cancelled = 0;
  uint8_t changed = 0;
  int32_t hand = -1;
  GrabTarget target;
};

class GrabManipulator {
 public:
  GrabManipulator() = default;

  // One frame: `candidates` are the left and right hand's candidates (id 0
  // where a hand has none); `current` is the held target as the caller has
  // it this frame (same id and key), or null.
  GrabResult Step(const GrabInput& input, const std::array<GrabTarget, 2>& candidates, const GrabTarget* current);
  // Back to the constructed state: nothing held, both hands latched.
  void Reset();

  GrabTarget target;
  int32_t active_hand = -1;
  uint8_t grabbing = 0;
  uint8_t scaling = 0;
  uint8_t second_hand_armed = 0;
  std::array<uint8_t, 2> seen_held{1, 1};
  std::array<uint8_t, 2> latch{1, 1};
  platform::vr::Matrix34 grab_offset{};
  platform::vr::Matrix34 scale_start_transform{};
  std::array<float, 3> scale_start_midpoint{};
  float scale_start_distance = 0.0f;
  float scale_start_width = 0.0f;
  uint64_t last_sample_time = 0;
};
