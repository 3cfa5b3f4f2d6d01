// The grab manipulator driven with scripted hands.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "vr/overlay/grab_manipulator.h"
#include "vr/overlay/pointer_geometry.h"

namespace {

using platform::vr::Matrix34;

Matrix34 At(float x, float y, float z) { return {{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}}; }

GrabTarget Panel(float width = 0.3f, float max_width = 1.4f, uint64_t key = 7) {
  return {3, key, At(0, 1, -0.5f), width, 0.12f, max_width};
}

class GrabTest : public ::testing::Test {
 protected:
  // One step; hands are tracked unless said otherwise.
  GrabResult Step(bool left_grip, bool right_grip, float left_x = -0.05f, float right_x = 0.05f,
                  bool left_on = true, bool right_on = true) {
    time_ += 11;
    GrabInput in;
    in.valid = 1;
    in.sample_time = time_;
    in.hands[0] = {1, left_grip, At(left_x, 1, -0.3f)};
    in.hands[1] = {1, right_grip, At(right_x, 1, -0.3f)};
    std::array<GrabTarget, 2> cands{};
    if (left_on) cands[0] = target_;
    if (right_on) cands[1] = target_;
    const GrabResult r = grab_.Step(in, cands, grab_.grabbing ? &target_ : nullptr);
    if (r.active) {
      target_.transform = r.target.transform;
      target_.width = r.target.width;
    }
    return r;
  }

  GrabManipulator grab_;
  GrabTarget target_ = Panel();
  uint64_t time_ = 1000;
};

TEST_F(GrabTest, AFreshPressGrabsAndTheTargetFollowsTheHandRigidly) {
  Step(false, false);
  EXPECT_FALSE(Step(false, true, -0.05f, 0.05f, true, false).active);  // held off target
  EXPECT_FALSE(Step(false, true).active);                            // moved onto it, still held
  Step(false, false);
  GrabResult r = Step(false, true);
  EXPECT_TRUE(r.active && r.started);
  EXPECT_EQ(r.hand, 1);
  r = Step(false, true, -0.05f, 0.25f);
  EXPECT_TRUE(r.changed);
  EXPECT_NEAR(r.target.transform[0][3], 0.2f, 1e-5f);
  EXPECT_NEAR(r.target.transform[2][3], -0.5f, 1e-5f);
  EXPECT_TRUE(Step(false, false).released);
}

TEST_F(GrabTest, TwoHandScaling) {
  struct Case {
    float max_width, spread, expected;
  } cases[] = {{1.4f, 0.2f, 0.6f}, {1.4f, 0.4f, 1.2f}, {1.2f, 0.6f, 1.2f}, {1.4f, 0.105f, 0.3f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spread);
    grab_ = GrabManipulator{};
    target_ = Panel(0.3f, c.max_width);
    Step(false, false);
    // Both press in one frame, 0.1 m apart: the left grabs, the right arms and scaling begins.
    const GrabResult start = Step(true, true);
    ASSERT_TRUE(start.started && start.scale_started);
    const GrabResult r = Step(true, true, -c.spread / 2, c.spread / 2);
    EXPECT_NEAR(r.target.width, c.expected, 1e-5f);
    EXPECT_EQ(r.hand, -1);
  }
}

TEST_F(GrabTest, ArmingNeedsTheSameTargetAndDistance) {
  Step(false, false);
  Step(true, false, -0.025f, 0.025f);
  GrabResult r = Step(true, true, -0.025f, 0.025f);  // 0.05 m apart: armed only
  EXPECT_FALSE(r.scaling);
  EXPECT_TRUE(grab_.second_hand_armed);
  r = Step(true, true, -0.03f, 0.03f);
  EXPECT_TRUE(r.scale_started);
  // Releasing the left continues with the right without a jump.
  const Matrix34 before = target_.transform;
  r = Step(false, true, -0.03f, 0.2f);
  EXPECT_TRUE(r.hand_switched);
  EXPECT_EQ(r.target.transform, before);
  EXPECT_EQ(Step(false, true, -0.03f, 0.3f).hand, 1);

  grab_ = GrabManipulator{};
  Step(false, false);
  Step(true, false);
  target_.content_key = 7;
  GrabTarget other = Panel(0.3f, 1.4f, 8);
  GrabInput in;
  in.valid = 1;
  in.sample_time = time_ += 11;
  in.hands[0] = {1, 1, At(-0.1f, 1, -0.3f)};
  in.hands[1] = {1, 1, At(0.1f, 1, -0.3f)};
  r = grab_.Step(in, {target_, other}, &target_);
  EXPECT_FALSE(grab_.second_hand_armed);
  EXPECT_FALSE(r.scaling);
}

TEST_F(GrabTest, CancelsLatchAndNeedAFreshPress) {
  struct Case {
    const char* name;
    std::function<void(GrabInput&, GrabTarget&)> spoil;
  } cases[] = {
      {"gap of 300 ms", [](GrabInput& in, GrabTarget&) { in.sample_time += 300; }},
      {"NaN pose", [](GrabInput& in, GrabTarget&) { in.hands[1].pose[0][3] = NAN; }},
      {"untracked", [](GrabInput& in, GrabTarget&) { in.hands[1].tracked = 0; }},
      {"target changed", [](GrabInput&, GrabTarget& t) { t.content_key = 99; }},
      {"invalid input", [](GrabInput& in, GrabTarget&) { in.valid = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    grab_ = GrabManipulator{};
    target_ = Panel();
    Step(false, false);
    ASSERT_TRUE(Step(false, true).active);
    GrabInput in;
    in.valid = 1;
    in.sample_time = time_ += 11;
    in.hands[0] = {1, 0, At(-0.05f, 1, -0.3f)};
    in.hands[1] = {1, 1, At(0.05f, 1, -0.3f)};
    GrabTarget current = target_;
    c.spoil(in, current);
    time_ = in.sample_time;
    EXPECT_TRUE(grab_.Step(in, {target_, target_}, &current).cancelled);
    EXPECT_FALSE(Step(false, true).active);  // still held: no new grab
    Step(false, false);
    EXPECT_TRUE(Step(false, true).started);
  }
}

}  // namespace
