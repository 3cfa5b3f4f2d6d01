// The wrist ring solver with scripted controller frames.
#include <gtest/gtest.h>

#include <cmath>

#include "core/ui_settings.h"
#include "vr/overlay/pointer_geometry.h"
#include "vr/wrist_ring.h"

namespace {

using platform::vr::Matrix34;

constexpr float kPi = 3.14159265f;

// The left controller at the origin, turned about X so that its +Y normal
// makes `deg` with the direction to the head straight above the wrist.
Matrix34 LeftTurned(float deg) {
  const float a = deg * kPi / 180.0f;
  return {{{1, 0, 0, 0}, {0, std::cos(a), -std::sin(a), 0}, {0, std::sin(a), std::cos(a), 0}}};
}

class WristRingTest : public ::testing::Test {
 protected:
  WristRingTest() {
    settings_.wrist_x = settings_.wrist_y = settings_.wrist_z = 0.0f;
    settings_.ring_smoothing_ms = 0.0f;
    frame_.headset_pose_valid = frame_.left_pose_valid = true;
    frame_.headset_pose = {{{1, 0, 0, 0}, {0, 1, 0, 0.5f}, {0, 0, 1, 0}}};
    frame_.left_pose = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
    // The right hand at the ring, its ray pointing down at it.
    frame_.right_pose_valid = true;
    frame_.right_pose = {{{1, 0, 0, 0}, {0, 1, 0, 0.1f}, {0, 0, 1, 0}}};
    settings_.ray_pitch_deg = -90.0f;
  }
  WristRingResult Step(uint64_t dt, bool grip, bool counts = true) {
    now_ += dt;
    frame_.right_grip_held = grip;
    return SolveWristRing(state_, nullptr, {&frame_, now_, counts}, settings_);
  }
  void MoveRight(float dy) { frame_.right_pose[1][3] += dy; }

  UiSettings settings_;
  ControllerFrame frame_;
  WristRingState state_;
  uint64_t now_ = 1000;
};

TEST_F(WristRingTest, ShowAndHideAngles) {
  struct Case {
    float visibility, angle;
    bool from_hidden, from_shown;
  } cases[] = {{80, 78.5f, true, true}, {80, 79.5f, false, true}, {80, 80.5f, false, false}, {30, 50, false, false},
               {30, 29, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.angle);
    settings_.ring_visibility_deg = c.visibility;
    state_ = WristRingState{};
    frame_.left_pose = LeftTurned(c.angle);
    EXPECT_EQ(Step(11, false).shown != 0, c.from_hidden);
    state_.shown = 1;
    EXPECT_EQ(Step(11, false).shown != 0, c.from_shown);
  }
}

TEST_F(WristRingTest, GrabPullAndRelease) {
  struct Case {
    const char* name;
    uint64_t appear_wait, hold;
    float pull;
    bool toggle, cancel;
  } cases[] = {
      {"released after 90 ms", 200, 90, 0.04f, false, false}, {"released after 150 ms", 200, 150, 0.04f, true, false},
      {"unpulled", 200, 150, 0.01f, false, false},            {"held too long", 200, 2600, 0.04f, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state_ = WristRingState{};
    frame_.right_pose[1][3] = 0.1f;
    Step(11, false);
    Step(c.appear_wait, false);
    ASSERT_TRUE(Step(11, true).grab_begins);
    MoveRight(c.pull);
    const WristRingResult held = Step(c.hold - 1, true);
    EXPECT_EQ(held.cancel != 0, c.cancel);
    if (c.cancel) continue;
    const WristRingResult done = Step(1, false);
    EXPECT_EQ(done.toggle != 0, c.toggle);
  }
}

TEST_F(WristRingTest, RefusalReasons) {
  Step(11, false);
  EXPECT_EQ(Step(50, true).refusal, kRingRefuseTooSoon);
  Step(200, false);
  ASSERT_TRUE(Step(11, true).grab_begins);
  MoveRight(0.04f);
  Step(150, true);
  ASSERT_TRUE(Step(11, false).toggle);
  MoveRight(-0.04f);
  EXPECT_EQ(Step(100, true).refusal, kRingRefuseCooldown);
  Step(11, false);
  MoveRight(0.13f);  // 0.13 m beyond the reach along the ray
  settings_.ray_pitch_deg = 0.0f;
  for (int i = 0; i < 4; ++i) Step(200, false);
  const WristRingResult far = Step(11, true);
  EXPECT_EQ(far.refusal, kRingRefuseOutOfReach);
  EXPECT_NEAR(far.hand_distance, 0.23f - 0.035f, 1e-4f);
  frame_.left_pose = LeftTurned(120);
  Step(11, false);
  EXPECT_EQ(Step(11, true).refusal, kRingRefuseNotShown);
}

TEST_F(WristRingTest, SmoothingAndRestart) {
  settings_.ring_smoothing_ms = 35.0f;
  Step(11, false);
  frame_.left_pose[0][3] = 0.1f;
  const WristRingResult r = Step(35, false);
  EXPECT_NEAR(r.ring_position[0], 0.1f * (1.0f - std::exp(-1.0f)), 1e-4f);  // a ≈ 0.632
  frame_.left_pose[0][3] = 0.3f;
  EXPECT_NEAR(Step(300, false).ring_position[0], 0.3f, 1e-6f);  // a gap restarts the smoothing
  frame_.headset_pose_valid = false;
  EXPECT_FALSE(Step(11, false).shown);
  EXPECT_FALSE(state_.initialized);
}

}  // namespace
