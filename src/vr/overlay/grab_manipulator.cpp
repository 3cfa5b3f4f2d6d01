#include "vr/overlay/grab_manipulator.h"

#include <algorithm>
#include <cmath>

#include "vr/overlay/pointer_geometry.h"

using platform::vr::Matrix34;

namespace {

constexpr uint64_t kRestartGapMs = 251;
constexpr float kScaleStartDistance = 0.06f;
constexpr float kScaleDeadBand = 0.008f;
constexpr float kChangeThreshold = 1e-5f;

Vec3 Midpoint(const Vec3& a, const Vec3& b) {
  return {(a[0] + b[0]) / 2.0f, (a[1] + b[1]) / 2.0f, (a[2] + b[2]) / 2.0f};
}

float Distance(const Vec3& a, const Vec3& b) { return Length({a[0] - b[0], a[1] - b[1], a[2] - b[2]}); }

bool ChangedFrom(const GrabTarget& result, const GrabTarget& before) {
  if (std::fabs(result.width - before.width) > kChangeThreshold) return true;
  for (size_t r = 0; r < 3; ++r) {
    for (size_t c = 0; c < 4; ++c) {
      if (std::fabs(result.transform[r][c] - before.transform[r][c]) > kChangeThreshold) return true;
    }
  }
  return false;
}

}  // namespace

void GrabManipulator::Reset() {
  target = GrabTarget{};
  active_hand = -1;
  grabbing = 0;
  scaling = 0;
  second_hand_armed = 0;
  seen_held = {1, 1};
  latch = {1, 1};
}

GrabResult GrabManipulator::Step(const GrabInput& input, const std::array<GrabTarget, 2>& candidates,
                                 const GrabTarget* current) {
  GrabResult result;
  const bool gap = last_sample_time != 0 && input.sample_time > last_sample_time &&
                   input.sample_time - last_sample_time >= kRestartGapMs;
  last_sample_time = input.sample_time;
  const auto cancel = [&] {
    result = GrabResult{};
    result.cancelled = 1;
    Reset();
    return result;
  };
  if (!input.valid || gap) {
    const uint8_t was_grabbing = grabbing;
    Reset();
    result.cancelled = was_grabbing;
    return result;
  }

  std::array<bool, 2> usable{};
  std::array<uint8_t, 2> edge{};
  for (size_t h = 0; h < 2; ++h) {
    const GrabHand& hand = input.hands[h];
    const bool finite = IsFiniteTransform(hand.pose);
    usable[h] = hand.tracked && finite;
    if (!usable[h]) {
      latch[h] = 1;
    } else if (!hand.grip_held) {
      latch[h] = 0;
    }
    if (!hand.tracked) {
      edge[h] = 0;
      seen_held[h] = 1;
    } else if (!finite || !hand.grip_held || seen_held[h] || latch[h]) {
      edge[h] = 0;
      seen_held[h] = hand.grip_held;
    } else {
      edge[h] = 1;
      seen_held[h] = 1;
    }
  }

  if (grabbing) {
    if (!current || current->target_id == 0 || current->target_id != target.target_id ||
        current->content_key != target.content_key || !IsFiniteTransform(current->transform)) {
      return cancel();
    }
    target = *current;
  } else {
    int32_t start = -1;
    for (int32_t h = 0; h < 2 && start < 0; ++h) {
      const GrabTarget& c = candidates[h];
      if (edge[h] && c.target_id != 0 && std::isfinite(c.width) && c.width > 0.0f &&
          IsFiniteTransform(c.transform)) {
        start = h;
      }
    }
    if (start < 0) return result;
    grabbing = 1;
    scaling = 0;
    second_hand_armed = 0;
    active_hand = start;
    target = candidates[start];
    grab_offset = ComposeTransforms(InvertRigidTransform(input.hands[start].pose), target.transform);
    result.started = 1;
  }

  // Tracking check.
  const bool both_usable = usable[0] && usable[1];
  if ((scaling || second_hand_armed) ? !both_usable : !usable[active_hand]) return cancel();

  const auto& hands = input.hands;
  if (!scaling) {
    if (!hands[active_hand].grip_held) {
      grabbing = 0;
      second_hand_armed = 0;
      active_hand = -1;
      const uint8_t started = result.started;
      result = GrabResult{};
      result.started = started;
      result.released = 1;
      return result;
    }
  } else if (!hands[0].grip_held && !hands[1].grip_held) {
    scaling = 0;
    second_hand_armed = 0;
    grabbing = 0;
    active_hand = -1;
    result = GrabResult{};
    result.released = 1;
    return result;
  } else if (!(hands[0].grip_held && hands[1].grip_held)) {
    scaling = 0;
    active_hand = hands[0].grip_held ? 0 : 1;
    grab_offset = ComposeTransforms(InvertRigidTransform(hands[active_hand].pose), target.transform);
    result.hand_switched = 1;
  }

  if (!scaling) {
    const int32_t o = 1 - active_hand;
    if (!hands[o].grip_held) second_hand_armed = 0;
    if (both_usable) {
      const GrabTarget& other = candidates[o];
      if (hands[o].grip_held && edge[o] && other.target_id != 0 && other.target_id == target.target_id &&
          other.content_key == target.content_key) {
        second_hand_armed = 1;
      }
      if (second_hand_armed && hands[o].grip_held) {
        const Vec3 a = PositionOf(hands[0].pose);
        const Vec3 b = PositionOf(hands[1].pose);
        const float d = Distance(a, b);
        if (d >= kScaleStartDistance) {
          scale_start_distance = d;
          scaling = 1;
          second_hand_armed = 0;
          scale_start_width = target.width;
          scale_start_transform = target.transform;
          scale_start_midpoint = Midpoint(a, b);
          result.scale_started = 1;
        }
      }
    }
  }

  result.active = 1;
  result.scaling = scaling;
  result.hand = scaling ? -1 : active_hand;
  result.target = target;
  if (scaling) {
    const Vec3 a = PositionOf(hands[0].pose);
    const Vec3 b = PositionOf(hands[1].pose);
    const float d = Distance(a, b);
    const float ratio = std::fabs(d - scale_start_distance) <= kScaleDeadBand ? 1.0f : d / scale_start_distance;
    const float w = std::min(ratio * scale_start_width, target.max_width);
    result.target.width = w > target.min_width ? w : target.min_width;
    const Vec3 mid = Midpoint(a, b);
    result.target.transform = scale_start_transform;
    for (size_t r = 0; r < 3; ++r) result.target.transform[r][3] += mid[r] - scale_start_midpoint[r];
  } else if (!result.hand_switched) {
    result.target.transform = ComposeTransforms(hands[active_hand].pose, grab_offset);
  }
  result.changed = ChangedFrom(result.target, target) ? 1 : 0;
  return result;
}
