// Controller sampling against the simulated runtime with the shipped action
// manifest, and the thumbstick's wheel notches.
#include <cmath>
#include <limits>

#include "browser/browser_vr.h"
#include "test_util.h"
#include "vr/vr_input.h"
#include "vr_sim_fixture.h"

namespace {

namespace pvr = platform::vr;

const std::string kIn = "/actions/quorix/in/";

pvr::Matrix34 At(float x) { return {{{1, 0, 0, x}, {0, 1, 0, 0}, {0, 0, 1, 0}}}; }

pvr::PoseActionData Pose(float x, int32_t result = pvr::kTrackingRunningOk) {
  return {true, true, true, result, At(x)};
}

class VrInputTest : public quorix_test::VrSimTest {
 protected:
  void SetUp() override { ASSERT_TRUE(input_.Init(quorix_test::ShippedAssets())); }
  bool Sample() { return input_.Sample(system_, &frame_, &left_grip_, &point_click_); }

  VrInputActions input_;
  ControllerFrame frame_;
  bool left_grip_ = false;
  bool point_click_ = false;
};

TEST_F(VrInputTest, ShippedManifestDeclaresTheTwelveTypedActions) {
  std::map<std::string, std::string> expected;
  for (const char* name : {"left_pose", "right_pose"}) expected[kIn + name] = "pose";
  for (const char* name : {"left_grip", "right_grip", "point_click", "left_click", "left_scroll_touch",
                           "right_scroll_touch"}) {
    expected[kIn + name] = "boolean";
  }
  for (const char* name : {"left_squeeze", "right_squeeze"}) expected[kIn + name] = "vector1";
  for (const char* name : {"left_scroll", "right_scroll"}) expected[kIn + name] = "vector2";
  EXPECT_EQ(sim_.manifest_actions(), expected);
  EXPECT_EQ(sim_.manifest_sets(), std::vector<std::string>{"/actions/quorix"});
  for (uint64_t handle : {input_.left_scroll, input_.right_scroll_touch, input_.left_squeeze, input_.point_click}) {
    EXPECT_NE(handle, 0u);
  }
}

TEST_F(VrInputTest, MissingOptionalActionsStayUnboundAndARequiredOneFails) {
  quorix_test::TempDir dir;
  auto write = [&](std::vector<std::string> names) {
    std::string actions;
    for (const std::string& name : names) actions += ",{\"name\":\"" + kIn + name + "\",\"type\":\"boolean\"}";
    quorix_test::WriteFile(dir.path() / "actions.json", "{\"action_sets\":[{\"name\":\"/actions/quorix\"}],"
                                                        "\"actions\":[" + actions.substr(1) + "]}");
  };
  write({"left_pose", "right_pose", "left_grip", "right_grip", "point_click"});
  VrInputActions minimal;
  ASSERT_TRUE(minimal.Init(dir.path()));
  EXPECT_EQ(minimal.left_scroll | minimal.right_squeeze | minimal.left_click | minimal.right_scroll_touch, 0u);
  write({"left_pose", "right_pose", "left_grip", "right_grip"});
  EXPECT_FALSE(minimal.Init(dir.path()));
}

TEST_F(VrInputTest, SqueezeHysteresisPerHand) {
  struct Step {
    float value;
    bool held;
  };
  const Step steps[] = {{0.44f, false}, {0.45f, true}, {0.26f, true}, {0.25f, true}, {0.24f, false}, {0.44f, false}};
  for (const char* hand : {"left_squeeze", "right_squeeze"}) {
    SCOPED_TRACE(hand);
    for (const Step& step : steps) {
      SCOPED_TRACE(step.value);
      sim_.SetAnalog(kIn + hand, true, step.value, 0.0f);
      ASSERT_TRUE(Sample());
      const bool held = std::string(hand) == "left_squeeze" ? left_grip_ : frame_.right_grip_held;
      EXPECT_EQ(held, step.held);
    }
    sim_.SetAnalog(kIn + hand, false, 0.0f, 0.0f);
  }
}

TEST_F(VrInputTest, GripSourceBits) {
  sim_.SetDigital(kIn + "right_grip", true, true);
  sim_.SetAnalog(kIn + "right_squeeze", true, 0.9f, 0.0f);
  ASSERT_TRUE(Sample());
  EXPECT_EQ(input_.grip_source_bits, kGripRightAction | kGripRightSqueezeAction | kGripRightButton |
                                         kGripRightSqueezePressed);
  sim_.SetDigital(kIn + "right_grip", false, false);
  sim_.SetAnalog(kIn + "right_squeeze", true, 0.1f, 0.0f);
  ASSERT_TRUE(Sample());
  EXPECT_EQ(input_.grip_source_bits, kGripRightSqueezeAction);
  EXPECT_TRUE(frame_.right_grip_action_active);
}

TEST_F(VrInputTest, PosesFromActionsOrRoleFallback) {
  struct Case {
    const char* name;
    pvr::PoseActionData left_action;
    pvr::DevicePose left_device;
    bool valid;
    uint32_t fallback;
    float x;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"action pose", Pose(0.1f), {}, true, 0, 0.1f},
      {"fallback to the role's device", {}, {true, true, pvr::kTrackingRunningOk, At(0.2f)}, true, kFallbackLeft, 0.2f},
      {"device not running", {}, {true, true, 101, At(0.2f)}, false, 0, 0.0f},
      {"action not running", Pose(0.3f, 101), {}, false, 0, 0.0f},
      {"NaN action pose", Pose(nan), {}, false, 0, 0.0f},
      {"NaN device pose", {}, {true, true, pvr::kTrackingRunningOk, At(nan)}, false, 0, 0.0f},
  };
  sim_.SetControllerRole(pvr::kRoleLeftHand, 3);
  sim_.SetDevicePose(0, {true, true, pvr::kTrackingRunningOk, At(0.0f)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.SetPose(kIn + "left_pose", c.left_action);
    sim_.SetDevicePose(3, c.left_device);
    ASSERT_TRUE(Sample());
    EXPECT_EQ(frame_.left_pose_valid, c.valid);
    EXPECT_EQ(input_.pose_fallback_bits, c.fallback);
    EXPECT_FLOAT_EQ(frame_.left_pose[0][3], c.x);
  }
}

TEST_F(VrInputTest, FailedUpdateLeavesOnlyTheHeadset) {
  sim_.SetPose(kIn + "left_pose", Pose(0.1f));
  sim_.SetDigital(kIn + "point_click", true, true);
  sim_.SetControllerRole(pvr::kRoleRightHand, 2);
  sim_.SetDevicePose(2, {true, true, pvr::kTrackingRunningOk, At(0.2f)});
  sim_.SetDevicePose(0, {true, true, pvr::kTrackingRunningOk, At(0.0f)});
  sim_.FailUpdateActionState(true);
  ASSERT_TRUE(Sample());
  EXPECT_TRUE(frame_.headset_pose_valid);
  EXPECT_FALSE(frame_.left_pose_valid || frame_.right_pose_valid || point_click_);
  EXPECT_EQ(input_.pose_fallback_bits, 0u);
}

TEST_F(VrInputTest, ScrollAxisAndTouch) {
  sim_.SetAnalog(kIn + "right_scroll", true, 0.0f, 1.7f);
  sim_.SetDigital(kIn + "right_scroll_touch", true, true);
  ASSERT_TRUE(Sample());
  EXPECT_TRUE(input_.scroll_active[1] && !input_.scroll_active[0]);
  EXPECT_FLOAT_EQ(input_.scroll_value[1], 1.0f);
  sim_.SetDigital(kIn + "right_scroll_touch", true, false);
  ASSERT_TRUE(Sample());
  EXPECT_FALSE(input_.scroll_active[1]);
  EXPECT_FLOAT_EQ(input_.scroll_value[1], 0.0f);
}

// ---- wheel ----

class WheelTest : public ::testing::Test {
 protected:
  WheelTest() {
    auto& slot = feature_.panels[0];
    slot.overlay = MakePanelOverlayRecord("p");
    slot.overlay->pixel_height = kPanelTextureRows;
    slot.overlay->shown = true;
    slot.engine = std::make_unique<quorix_browser::normal::Engine>();
    slot.engine->wheel_hook = [this](int32_t x, int32_t y, int32_t delta) {
      delivered_.push_back({x, y, delta});
      return accept_;
    };
    slot.state = quorix_browser_vr::kPanelLive;
    feature_.site_active[0] = true;
    feature_.input_enabled[0] = true;
  }
  int32_t Scroll(uint64_t now, float value, BrowserHit hit = {1, 500.0f, 300.0f}) {
    return BrowserThumbstickScroll(feature_, repeater_, &hit, true, value, false, now, 1);
  }

  quorix_browser_vr::Feature feature_;
  ThumbstickWheelRepeater repeater_;
  std::vector<std::array<int32_t, 3>> delivered_;
  bool accept_ = true;
};

TEST_F(WheelTest, HeldStickRepeatsOnItsTimeline) {
  Scroll(0, 0.0f);  // arms, resting
  std::vector<uint64_t> notches;
  for (uint64_t t = 100; t <= 600; t += 10) {
    if (Scroll(t, 0.9f) == 1) notches.push_back(t - 100);
  }
  EXPECT_EQ(notches, (std::vector<uint64_t>{0, 250, 370, 490}));
  EXPECT_EQ(Scroll(610, 0.3f), 0);  // released to 0.3: stops at once
  EXPECT_EQ(Scroll(720, 0.3f), 0);
  EXPECT_EQ(delivered_.front(), (std::array<int32_t, 3>{500, 212, 120}));
  EXPECT_EQ(feature_.wheel_sent, 4u);
}

TEST_F(WheelTest, AGapReArmsAndNeedsRestFirst) {
  Scroll(0, 0.0f);
  EXPECT_EQ(Scroll(10, -0.9f), 1);
  EXPECT_EQ(delivered_.back()[2], -120);
  EXPECT_EQ(Scroll(261, -0.9f), 0);  // 251 ms gap
  EXPECT_EQ(Scroll(270, -0.9f), 0);
  EXPECT_EQ(Scroll(280, 0.1f), 0);  // rest
  EXPECT_EQ(Scroll(290, -0.9f), 1);
}

TEST_F(WheelTest, HitsOutsideThePageNeverScroll) {
  const BrowserHit hits[] = {{1, 500.0f, 87.0f}, {1, 1024.0f, 300.0f}, {0, 500.0f, 300.0f}, {4, 500.0f, 300.0f},
                             {1, std::nanf(""), 300.0f}, {1, 500.0f, 1048.0f}};
  for (const BrowserHit& hit : hits) {
    SCOPED_TRACE(hit.x + hit.y);
    Scroll(0, 0.0f);
    EXPECT_EQ(Scroll(10, 0.9f, hit), 0);
  }
  EXPECT_TRUE(delivered_.empty());
}

TEST_F(WheelTest, RefusedDeliveryResetsTheRepeater) {
  accept_ = false;
  Scroll(0, 0.0f);
  EXPECT_EQ(Scroll(10, 0.9f), 0);
  EXPECT_EQ(feature_.wheel_failed, 1u);
  accept_ = true;
  EXPECT_EQ(Scroll(20, 0.9f), 0);  // re-armed with the stick pushed
  feature_.panels[0].state = 1;
  EXPECT_FALSE(feature_.InjectPanelWheel(0, 1, 1, 120));
  EXPECT_EQ(feature_.wheel_refused, 1u);
}

}  // namespace
