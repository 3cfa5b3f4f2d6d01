// The VR frame against the simulated runtime and a scripted phone port:
// change-only updates, pointing and taps, the pointer's laser, the grab,
// popups, the thumbstick wheel, calibration, latency and the loss of the
// runtime.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "core/ui_settings.h"
#include "event_log_capture.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "test_util.h"
#include "vr/fake_vr_phone_port.h"
#include "vr/overlay/overlay_images.h"
#include "vr/vr_session.h"
#include "autostart_fixture.h"
#include "vr_sim_fixture.h"

namespace {

namespace pvr = platform::vr;
using pvr::Matrix34;
using quorix_test::EventLogCapture;
using quorix_test::FakeVrPhonePort;
using vr_sim::SimCall;
using vr_sim::SimRuntime;

const std::string kIn = "/actions/quorix/in/";
constexpr float kEye = 1.6f;

Matrix34 At(float x, float y, float z) { return {{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}}; }
// Turned round: looking along +z.
Matrix34 TurnedRoundAt(float x, float y, float z) { return {{{-1, 0, 0, x}, {0, 1, 0, y}, {0, 0, -1, z}}}; }

class VrFrameTest : public ::testing::Test {
 protected:
  VrFrameTest() : scoped_(sim_) {
    platform::SetClockForTesting(&clock_);
    sim_.StartServer(4321);
    settings_.ray_pitch_deg = 0.0f;
    settings_.pointer_size_percent = 100;
    EXPECT_TRUE(session_->Init(settings_, quorix_test::ShippedAssets()));
    SetHead(At(0, kEye, 0));
    // The right hand 0.35 m in front of the eye, the left hand down and away.
    SetRight(At(0, kEye, -0.3f));
    SetLeft(At(-0.4f, 0.8f, 0.0f));
    sim_.SetDigital(kIn + "point_click", true, false);
    sim_.SetDigital(kIn + "right_grip", true, false);
    sim_.SetDigital(kIn + "left_grip", true, false);
  }
  ~VrFrameTest() override {
    session_.reset();
    platform::SetClockForTesting(nullptr);
  }

  void SetHead(const Matrix34& m, bool valid = true) {
    sim_.SetDevicePose(0, {valid, valid, pvr::kTrackingRunningOk, m});
  }
  void SetRight(const Matrix34& m) { sim_.SetPose(kIn + "right_pose", {true, true, true, pvr::kTrackingRunningOk, m}); }
  void SetLeft(const Matrix34& m) { sim_.SetPose(kIn + "left_pose", {true, true, true, pvr::kTrackingRunningOk, m}); }
  void Trigger(bool held) { sim_.SetDigital(kIn + "point_click", true, held); }
  void Grips(bool left, bool right) {
    sim_.SetDigital(kIn + "left_grip", true, left);
    sim_.SetDigital(kIn + "right_grip", true, right);
  }
  bool Frame() {
    clock_.Advance(11);
    return session_->Frame(port_, settings_, &phone_shown_, false);
  }
  // Opens the phone and runs frames until it and what it shows are settled.
  void Settle(int frames = 6) {
    for (int i = 0; i < frames; ++i) ASSERT_TRUE(Frame());
  }
  // The ray hits the phone at pixel (x, y) when the right hand sits here.
  Matrix34 RightAtPhonePixel(float x, float y) const {
    const OverlayRecord& phone = session_->overlays[kPhoneOverlay];
    const float w = phone.width, h = phone.width * 960 / 540;
    return At(phone.transform[0][3] + (x / 540 - 0.5f) * w, phone.transform[1][3] + (0.5f - y / 960) * h,
              phone.transform[2][3] + 0.3f);
  }
  uint64_t RuntimeCalls() const {
    uint64_t n = 0;
    for (SimCall c : {SimCall::kSetWidth, SimCall::kSetTransform, SimCall::kShow, SimCall::kHide,
                      SimCall::kSetTexelAspect, SimCall::kSetTexture, SimCall::kUpdateTexture, SimCall::kCopyTexture}) {
      n += sim_.CallCount(c);
    }
    return n;
  }

  quorix_test::AutostartPreferenceScope autostart_off_;
  EventLogCapture log_;
  platform::ManualClock clock_;
  SimRuntime sim_;
  pvr::ScopedRuntime scoped_;
  UiSettings settings_;
  FakeVrPhonePort port_;
  uint8_t phone_shown_ = 1;
  std::unique_ptr<VrSession> session_ = VrSession::Create();
};

TEST_F(VrFrameTest, SettledFramesChangeNothingThenATapAndItsLatency) {
  Settle();
  EXPECT_TRUE(sim_.FindOverlay("quorix.k19.phone")->shown);
  sim_.ResetCallCounts();
  const uint64_t renders = port_.renders;
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(RuntimeCalls(), 0u);
  EXPECT_EQ(port_.renders, renders);
  // Moving only the right controller moves only the pointer and the laser.
  SetRight(At(0.01f, kEye, -0.3f));
  ASSERT_TRUE(Frame());
  EXPECT_EQ(sim_.CallCount(SimCall::kSetTransform), 2u);
  EXPECT_EQ(sim_.CallCount(SimCall::kUpdateTexture), 0u);

  // A tap at the hit pixel; holding makes no second tap; the corner pixel misses.
  SetRight(RightAtPhonePixel(270, 480));
  ASSERT_TRUE(Frame());
  Trigger(true);
  ASSERT_TRUE(Frame());
  ASSERT_EQ(port_.calls.size(), 1u);
  EXPECT_EQ(port_.calls[0].name, "Tap");
  EXPECT_NEAR(port_.calls[0].x, 270.0f, 0.5f);
  EXPECT_NEAR(port_.calls[0].y, 480.0f, 0.5f);
  EXPECT_EQ(log_.Count("VR_INPUT_ACCEPTED"), 1u);
  ASSERT_TRUE(Frame());
  Trigger(false);
  SetRight(RightAtPhonePixel(2, 2));
  ASSERT_TRUE(Frame());
  Trigger(true);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(port_.calls.size(), 1u);

  // The first tap's latency ends with the next picture; then two taps whose
  // pictures are uploaded together log one latency.
  Trigger(false);
  SetRight(RightAtPhonePixel(270, 480));
  port_.phone_frame.data()[8] ^= 1;
  port_.dirty = true;
  Settle();
  const size_t latencies = log_.Count("VR_INPUT_TO_FRAME_MS"), coalesced = log_.Count("VR_INPUT_FRAME_COALESCED");
  sim_.SetFenceLatency(3);
  for (int tap = 0; tap < 2; ++tap) {
    port_.phone_frame.data()[tap] ^= 1;
    port_.dirty = true;
    Trigger(true);
    ASSERT_TRUE(Frame());
    Trigger(false);
    ASSERT_TRUE(Frame());
  }
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(log_.Count("VR_INPUT_FRAME_COALESCED") - coalesced, 1u);
  EXPECT_EQ(log_.Count("VR_INPUT_TO_FRAME_MS") - latencies, 1u);
  EXPECT_EQ(sim_.held_texture_writes(), 0u);
}

TEST_F(VrFrameTest, TheLaserShowsInTheChosenColourUntilItsTextureFails) {
  const std::string laser_key = "quorix.ui3.pointer.laser";
  const vr_sim::OverlayView* laser = sim_.FindOverlay(laser_key);
  ASSERT_NE(laser, nullptr);
  // Frames in which the runtime really shows the laser with a picture.
  uint64_t shown_frames = 0;
  const auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(Frame());
      if (laser->shown && laser->has_texture) ++shown_frames;
    }
  };
  // Pointing at the phone from the first frame.
  frames(8);
  EXPECT_TRUE(laser->shown);
  EXPECT_EQ(sim_.ShownPixels(laser_key), MakeLaserImage(false));
  EXPECT_GE(shown_frames, 4u);
  EXPECT_EQ(session_->laser_visible_frames, shown_frames);
  // The colour chosen in the settings reaches the laser on screen.
  settings_.pointer_blue = true;
  frames(3);
  EXPECT_TRUE(laser->shown);
  EXPECT_EQ(sim_.ShownPixels(laser_key), MakeLaserImage(true));
  session_->LogStats();
  EXPECT_EQ(log_.Events("VR_POINTER_LASER_VISIBLE_FRAMES").back().n, shown_frames);
  EXPECT_EQ(log_.Events("VR_POINTER_LASER_COLOR_QUEUES").back().n, 2u);

  // Pointing away, the colour goes back to red: the pointer dot takes it at
  // once, the laser when it is shown again; its picture cannot be uploaded.
  SetRight(At(2.0f, kEye, -0.3f));
  settings_.pointer_blue = false;
  frames(3);
  EXPECT_FALSE(laser->shown);
  sim_.FailCall(SimCall::kUpdateTexture, pvr::kErrorDevice);
  SetRight(At(0, kEye, -0.3f));
  frames(4);
  EXPECT_TRUE(sim_.FindOverlay("quorix.k19.pointer")->shown);
  EXPECT_FALSE(laser->shown);
  EXPECT_FALSE(session_->laser_available);
  const auto available = log_.Events("VR_POINTER_LASER_AVAILABLE");
  ASSERT_EQ(available.size(), 2u);  // 1 at the start, then 0 once
  EXPECT_EQ(available.back().n, 0u);
  EXPECT_EQ(session_->laser_visible_frames, shown_frames);
  EXPECT_EQ(sim_.held_texture_writes(), 0u);
}

TEST_F(VrFrameTest, APopupThatComesBackIsPlacedInViewAgain) {
  Settle();
  const vr_sim::OverlayView* call = sim_.FindOverlay("quorix.k19.notifications");
  port_.popup_keys = {5, 0, 0, 0, 0};
  Settle(4);
  ASSERT_TRUE(call->shown);
  EXPECT_NEAR(call->transform[2][3], -0.52f, 1e-4f);
  const size_t spawns = log_.Count("UI_POPUP_WORLD_SPAWN");
  // The call ends, the user turns round, and the same call comes back.
  port_.popup_keys[0] = 0;
  ASSERT_TRUE(Frame());
  EXPECT_FALSE(call->shown);
  SetHead(TurnedRoundAt(0, kEye, 0));
  ASSERT_TRUE(Frame());
  port_.popup_keys[0] = 5;
  Settle(2);
  EXPECT_TRUE(call->shown);
  const auto placed = log_.Events("UI_POPUP_WORLD_SPAWN");
  ASSERT_EQ(placed.size() - spawns, 1u);
  EXPECT_EQ(placed.back().n, 0u);
  EXPECT_NEAR(call->transform[0][3], 0.0f, 1e-4f);
  EXPECT_NEAR(call->transform[2][3], 0.52f, 1e-4f);  // in front of the turned head
}

TEST_F(VrFrameTest, TheWheelStartsAfreshWhenTheRayComesBackToAPanel) {
  auto& panel = session_->browser.panels[0];
  panel.overlay = MakePanelOverlayRecord("panel");
  ASSERT_TRUE(CreateVrOverlay(*panel.overlay, "test.panel", "Panel", session_->device, 1024, kPanelTextureRows, 0.5f,
                              201));
  panel.overlay->SetTransform(At(0, kEye, -0.55f));
  panel.overlay->shown = true;  // the browser feature's own business
  panel.sort_order = 201;
  panel.state = quorix_browser_vr::kPanelLive;
  panel.engine = std::make_unique<quorix_browser::normal::Engine>();
  std::vector<uint64_t> notches;  // clock times of the delivered notches
  panel.engine->wheel_hook = [&](int32_t, int32_t, int32_t) {
    notches.push_back(clock_.TickMs());
    return true;
  };
  session_->browser.site_active[0] = true;
  session_->browser.input_enabled[0] = true;
  const auto stick = [&](float y) { sim_.SetAnalog(kIn + "right_scroll", true, 0.0f, y); };
  const auto frames_until = [&](uint64_t t) {
    while (clock_.TickMs() + 11 <= t) ASSERT_TRUE(Frame());
  };
  stick(0.0f);
  Settle(3);
  ASSERT_EQ(session_->browser.last_pointer_hit.target, 1);
  // Pushed: a notch at once; the ray slips off the panel for one frame and
  // comes back with the stick still pushed.
  stick(0.9f);
  ASSERT_TRUE(Frame());
  ASSERT_EQ(notches.size(), 1u);
  const uint64_t pushed = notches[0];
  frames_until(pushed + 100);
  SetRight(At(2.0f, kEye, -0.3f));
  ASSERT_TRUE(Frame());
  SetRight(At(0, kEye, -0.3f));
  frames_until(pushed + 600);
  EXPECT_EQ(notches.size(), 1u);  // re-armed: the stick must rest first
  // Rested and pushed again: a notch at once, the next after the full delay.
  stick(0.0f);
  ASSERT_TRUE(Frame());
  stick(0.9f);
  ASSERT_TRUE(Frame());
  ASSERT_EQ(notches.size(), 2u);
  const uint64_t again = notches[1];
  frames_until(again + 249);
  EXPECT_EQ(notches.size(), 2u);
  frames_until(again + 261);
  ASSERT_EQ(notches.size(), 3u);
  EXPECT_GE(notches[2] - again, 250u);
}

TEST_F(VrFrameTest, PointingPriorities) {
  struct Case {
    const char* name;
    float keyboard_z, popup_z, panel_z;  // 0 = absent; the phone is at −0.65
    uint8_t popup_alpha;
    const char* expected;  // the call a press and release makes, "" none
  } cases[] = {
      {"phone", 0, 0, 0, 0, "Tap"},
      {"nearer keyboard", -0.6f, 0, 0, 0, "TapKeyboard"},
      {"keyboard behind the phone", -0.7f, 0, 0, 0, "Tap"},
      {"popup over the keyboard, farther", -0.5f, -0.6f, 0, 255, "PressPopup"},
      {"popup alpha 19 lets the ray through", -0.6f, -0.5f, 0, 19, "TapKeyboard"},
      {"panel 201 beats the phone", 0, 0, -0.55f, 0, ""},
      {"panel 201 loses to the keyboard", -0.6f, 0, -0.55f, 0, "TapKeyboard"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    session_.reset();
    ShutdownVrRuntime();
    session_ = VrSession::Create();
    ASSERT_TRUE(session_->Init(settings_, quorix_test::ShippedAssets()));
    port_ = FakeVrPhonePort{};
    port_.text_input_active = c.keyboard_z != 0;
    port_.popup_keys = {0, c.popup_z != 0 ? 11u : 0u, 0, 0, 0};
    for (size_t i = 3; i < port_.popup_frames[1].size(); i += 4) port_.popup_frames[1].data()[i] = c.popup_alpha;
    Trigger(false);
    SetRight(At(0, kEye, -0.3f));
    if (c.panel_z != 0) {
      auto& panel = session_->browser.panels[0];
      panel.overlay = MakePanelOverlayRecord("panel");
      ASSERT_TRUE(CreateVrOverlay(*panel.overlay, "test.panel", "Panel", session_->device, 540, 1048, 0.5f, 201));
      panel.overlay->SetTransform(At(0, kEye, c.panel_z));
      panel.sort_order = 201;
    }
    Settle(3);
    if (c.keyboard_z != 0) session_->overlays[kKeyboardOverlay].SetTransform(At(0, kEye, c.keyboard_z));
    if (c.popup_z != 0) session_->messages[0].SetTransform(At(0, kEye, c.popup_z));
    Settle(3);
    Trigger(true);
    ASSERT_TRUE(Frame());
    Trigger(false);
    ASSERT_TRUE(Frame());
    if (*c.expected == 0) {
      EXPECT_TRUE(port_.calls.empty());
      EXPECT_EQ(session_->browser.last_pointer_hit.target, 1);
    } else {
      ASSERT_EQ(port_.calls.size(), 1u);
      EXPECT_EQ(port_.calls[0].name, c.expected);
    }
    EXPECT_EQ(sim_.held_texture_writes(), 0u);
  }
}

TEST_F(VrFrameTest, KeyboardSwipeAreaTapsAndSwipes) {
  port_.text_input_active = true;
  port_.dirty = true;
  port_.swipe_area_from_y = 0.0f;
  Settle();
  ASSERT_TRUE(session_->overlays[kKeyboardOverlay].shown);
  const OverlayRecord& kb = session_->overlays[kKeyboardOverlay];
  const auto at_key = [&](float x, float y) {
    const float w = kb.width, h = kb.width * 508 / 540;
    return At(kb.transform[0][3] + (x / 540 - 0.5f) * w, kb.transform[1][3] + (0.5f - y / 508) * h,
              kb.transform[2][3] + 0.3f);
  };
  struct Case {
    float dx;
    const char* expected;
  } cases[] = {{32, "TapKeyboard"}, {33, "SwipeKeyboard"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    port_.calls.clear();
    SetRight(at_key(200, 250));
    ASSERT_TRUE(Frame());
    Trigger(true);
    ASSERT_TRUE(Frame());
    EXPECT_TRUE(port_.calls.empty());  // waits for the release
    SetRight(at_key(200 + c.dx, 250));
    ASSERT_TRUE(Frame());
    Trigger(false);
    ASSERT_TRUE(Frame());
    ASSERT_EQ(port_.calls.size(), 1u);
    EXPECT_EQ(port_.calls[0].name, c.expected);
    EXPECT_NEAR(port_.calls[0].x, 200.0f, 0.5f);
    EXPECT_NEAR(port_.calls[0].y, 250.0f, 0.5f);
  }
  // A release on another target drops the press.
  port_.calls.clear();
  SetRight(at_key(200, 250));
  ASSERT_TRUE(Frame());
  Trigger(true);
  ASSERT_TRUE(Frame());
  SetRight(RightAtPhonePixel(270, 300));
  ASSERT_TRUE(Frame());
  Trigger(false);
  ASSERT_TRUE(Frame());
  EXPECT_TRUE(port_.calls.empty());
  EXPECT_EQ(sim_.held_texture_writes(), 0u);
}

TEST_F(VrFrameTest, TwoHandScaleThenTapAndKeyboardFollow) {
  Settle();
  const OverlayRecord& phone = session_->overlays[kPhoneOverlay];
  ASSERT_NEAR(phone.width, 0.24f, 1e-6f);
  // Both hands touch the phone 0.1 m apart, press both grips, then spread to 0.2 m.
  const float z = phone.transform[2][3] + 0.03f;
  SetLeft(At(-0.05f, kEye, z));
  SetRight(At(0.05f, kEye, z));
  ASSERT_TRUE(Frame());
  Grips(true, true);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(log_.Count("VR_TWO_HAND_SCALE_BEGIN"), 1u);
  SetLeft(At(-0.3f, kEye, z));
  SetRight(At(0.3f, kEye, z));
  ASSERT_TRUE(Frame());
  EXPECT_NEAR(phone.width, 1.2f, 1e-4f);
  EXPECT_NEAR(sim_.FindOverlay("quorix.k19.phone")->width_m, 1.2f, 1e-4f);
  Grips(false, false);
  SetLeft(At(-0.4f, 0.8f, 0.0f));
  SetRight(At(0.05f, 0.5f, 0.0f));
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame());
  // A ray at a known point of the scaled phone taps the right pixel.
  SetRight(RightAtPhonePixel(100, 700));
  ASSERT_TRUE(Frame());
  Trigger(true);
  ASSERT_TRUE(Frame());
  ASSERT_EQ(port_.calls.size(), 1u);
  EXPECT_NEAR(port_.calls[0].x, 100.0f, 0.5f);
  EXPECT_NEAR(port_.calls[0].y, 700.0f, 0.5f);
  // The keyboard placed next hangs under the new size.
  port_.text_input_active = true;
  ASSERT_TRUE(Frame());
  const OverlayRecord& kb = session_->overlays[kKeyboardOverlay];
  const float phone_h = 1.2f * 960 / 540, kb_h = kb.width * 508 / 540;
  EXPECT_NEAR(kb.transform[0][3], phone.transform[0][3], 1e-4f);
  EXPECT_NEAR(kb.transform[1][3], phone.transform[1][3] - (phone_h + kb_h) / 2 - 0.025f, 1e-4f);
  EXPECT_NEAR(kb.transform[2][3], phone.transform[2][3] + 0.025f, 1e-4f);
  EXPECT_EQ(sim_.held_texture_writes(), 0u);
}

TEST_F(VrFrameTest, NoticesStackAndWaitForTracking) {
  Settle();
  // A notice arrives while the headset is lost.
  SetHead(At(0, kEye, 0), false);
  port_.popup_keys = {0, 11, 12, 0, 0};
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame());
  EXPECT_FALSE(sim_.FindOverlay("quorix.ui2.message.0")->shown);
  SetHead(At(0, kEye, 0));
  Settle(4);
  const auto* first = sim_.FindOverlay("quorix.ui2.message.0");
  const auto* second = sim_.FindOverlay("quorix.ui2.message.1");
  ASSERT_TRUE(first->shown);
  ASSERT_TRUE(second->shown);
  EXPECT_NEAR(first->transform[1][3] - second->transform[1][3], 0.155f, 1e-5f);
  EXPECT_NEAR(first->transform[2][3], -0.52f, 1e-4f);
  EXPECT_EQ(sim_.held_texture_writes(), 0u);
}

TEST_F(VrFrameTest, HeldNoticeOpensOnTheDraggingHandsTrigger) {
  struct Case {
    const char* name;
    bool conversation_opens, left_trigger;
    const char* expected;
  } cases[] = {{"opened", true, false, "VR_NOTICE_OPENED"},
               {"no conversation", false, false, "VR_NOTICE_OPEN_REJECTED"},
               {"the other hand's trigger", true, true, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port_ = FakeVrPhonePort{};
    port_.popup_keys = {0, 11, 0, 0, 0};
    port_.popup_opens_conversation = c.conversation_opens;
    phone_shown_ = 0;
    Grips(false, false);
    Settle(4);
    // The right hand grips the notice, then clicks its trigger.
    const auto* notice = sim_.FindOverlay("quorix.ui2.message.0");
    ASSERT_TRUE(notice->shown);
    SetRight(At(notice->transform[0][3], notice->transform[1][3], notice->transform[2][3] + 0.03f));
    ASSERT_TRUE(Frame());
    Grips(false, true);
    ASSERT_TRUE(Frame());
    ASSERT_TRUE(session_->drag_active);
    const size_t requests = log_.Count("VR_NOTICE_OPEN_REQUEST");
    const size_t outcomes = *c.expected ? log_.Count(c.expected) : 0;
    sim_.SetDigital(kIn + (c.left_trigger ? "left_click" : "point_click"), true, true);
    ASSERT_TRUE(Frame());
    sim_.SetDigital(kIn + (c.left_trigger ? "left_click" : "point_click"), true, false);
    EXPECT_EQ(log_.Count("VR_NOTICE_OPEN_REQUEST") - requests, *c.expected ? 1u : 0u);
    if (*c.expected) {
      EXPECT_EQ(log_.Count(c.expected) - outcomes, 1u);
    }
    EXPECT_EQ(phone_shown_, c.conversation_opens && !c.left_trigger ? 1 : 0);
    EXPECT_EQ(port_.desktop_show_from_vr, phone_shown_ == 1);
    EXPECT_EQ(sim_.FindOverlay("quorix.k19.phone")->shown, phone_shown_ == 1);
  }
}

TEST_F(VrFrameTest, CalibrationCountsDownAndSavesTheNormal) {
  quorix_test::TempDir dir;
  ASSERT_TRUE(settings_.Load(dir.path().string()));
  settings_.ray_pitch_deg = 0.0f;
  Settle();
  port_.calibration_request = true;
  for (int i = 0; i < 300 && !port_.countdowns.empty() && port_.countdowns.back() != 0; ++i) ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame());
  for (int i = 0; i < 300 && port_.countdowns.back() != 0; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(port_.countdowns.front(), 3u);
  EXPECT_NE(std::find(port_.countdowns.begin(), port_.countdowns.end(), 2u), port_.countdowns.end());
  EXPECT_NE(std::find(port_.countdowns.begin(), port_.countdowns.end(), 1u), port_.countdowns.end());
  EXPECT_FALSE(port_.calibration_failed);
  EXPECT_EQ(log_.Count("VR_WRIST_CALIBRATE"), 1u);
  UiSettings read;
  ASSERT_TRUE(read.Load(dir.path().string()));
  // The wrist sits below and left of the eye: the normal points up and right.
  EXPECT_GT(read.normal_y, 0.5f);
  EXPECT_GT(read.normal_x, 0.0f);
}

TEST_F(VrFrameTest, LossOfTheRuntime) {
  struct Case {
    const char* name;
    std::function<void(SimRuntime&)> cause;
  } cases[] = {
      {"quit event", [](SimRuntime& sim) { sim.PushEvent(pvr::kEventQuit); }},
      {"server stopped", [](SimRuntime& sim) { sim.StopServer(); }},
      {"new server", [](SimRuntime& sim) { sim.RestartServer(9999); }},
      {"device removed", [](SimRuntime& sim) { sim.SetDeviceRemoved(true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    session_.reset();
    ShutdownVrRuntime();
    sim_.SetDeviceRemoved(false);
    sim_.StartServer(4321);
    session_ = VrSession::Create();
    ASSERT_TRUE(session_->Init(settings_, quorix_test::ShippedAssets()));
    Settle(2);
    c.cause(sim_);
    sim_.ResetCallCounts();
    bool lost = false;
    for (int i = 0; i < 200 && !lost; ++i) lost = !Frame();  // 2200 ms of frames at most
    EXPECT_TRUE(lost);
    EXPECT_EQ(sim_.CallCount(SimCall::kSetTransform) + sim_.CallCount(SimCall::kSetTexture), 0u);
  }
  EXPECT_TRUE(sim_.quit_acknowledged());
}

TEST_F(VrFrameTest, ModelAdapterDeliversTheFrame) {
  PhoneUi ui;
  Settle();
  ui.show_phone_request = 1;
  ui.dirty = 1;
  clock_.Advance(11);
  ASSERT_TRUE(session_->Frame(ui, settings_, &phone_shown_, false));
  EXPECT_EQ(ui.show_phone_request, 0);
  EXPECT_EQ(ui.desktop_repaint_request, 1);
  for (int i = 0; i < 4; ++i) {
    clock_.Advance(11);
    ASSERT_TRUE(session_->Frame(ui, settings_, &phone_shown_, false));
  }
  const ContentKey key = session_->overlays[kPhoneOverlay].published_key;
  EXPECT_EQ(ui.drawn_friend_request_revision, key[1]);
  EXPECT_EQ(ui.drawn_status_revision, key[2]);
}

}  // namespace
