// The VR session's start against the simulated runtime: the overlays it
// creates, how it identifies the program, each failing step, and its
// statistics block, also as the main loop writes it.
#include <cmath>

#include "core/app_loop.h"
#include "event_log_capture.h"
#include "test_util.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/message_box.h"
#include "platform/message_pump.h"
#include "platform/process.h"
#include "vr/fake_vr_phone_port.h"
#include "vr/vr_session.h"
#include "autostart_fixture.h"
#include "vr_sim_fixture.h"

namespace {

namespace pvr = platform::vr;
using quorix_test::EventLogCapture;
using vr_sim::SimCall;
using vr_sim::SimInterface;
using vr_sim::SimRuntime;

class VrSessionTest : public ::testing::Test {
 protected:
  VrSessionTest() : scoped_(sim_) { sim_.StartServer(4321); }
  bool Init() { return session_->Init(settings_, quorix_test::ShippedAssets()); }

  quorix_test::AutostartPreferenceScope autostart_off_;
  EventLogCapture log_;
  SimRuntime sim_;
  pvr::ScopedRuntime scoped_;
  UiSettings settings_;
  std::unique_ptr<VrSession> session_ = VrSession::Create();
};

TEST_F(VrSessionTest, CreatesTheTenOverlaysAsTabled) {
  settings_.phone_width_m = 0.25f;
  ASSERT_TRUE(Init());
  struct Row {
    const char* key;
    const char* name;
    float pixels_w, pixels_h, width_m;
    uint32_t sort;
  };
  const Row rows[] = {
      {"quorix.k19.phone", "QuorixPhone", 540, 960, 0.25f, 200},
      {"quorix.k19.keyboard", "Quorix input", 540, 508, 0.25f, 210},
      {"quorix.k19.notifications", "Quorix notifications", 540, 300, 0.36f, 230},
      {"quorix.k19.wrist", "Quorix wrist ring", 128, 128, 0.06f, 220},
      {"quorix.k19.pointer", "Quorix pointer", 128, 128, 0.008f, 240},
      {"quorix.ui2.message.0", "Quorix message", 540, 200, 0.36f, 231},
      {"quorix.ui2.message.1", "Quorix message", 540, 200, 0.36f, 232},
      {"quorix.ui2.message.2", "Quorix message", 540, 200, 0.36f, 233},
      {"quorix.ui2.system", "Quorix status", 540, 200, 0.36f, 235},
      {"quorix.ui3.pointer.laser", "Quorix pointer laser", 64, 8, 0.1f, 239},
      {"quorix.browser.independent.launchers", "Quorix browser launchers", 128, 438, 0.06f, 209},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    const vr_sim::OverlayView* view = sim_.FindOverlay(row.key);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->name, row.name);
    EXPECT_FLOAT_EQ(view->mouse_width, row.pixels_w);
    EXPECT_FLOAT_EQ(view->mouse_height, row.pixels_h);
    EXPECT_FLOAT_EQ(view->width_m, row.width_m);
    EXPECT_EQ(view->sort_order, row.sort);
    EXPECT_EQ(view->input_method, pvr::kInputMethodNone);
    EXPECT_EQ(view->flags, 1u << pvr::kOverlayFlagOurs);
    EXPECT_FALSE(view->shown);
  }
  EXPECT_EQ(sim_.overlay_count(), 11u);
  EXPECT_EQ(log_.Events("VR_MVP_SESSION_READY").at(0).n, 10u);
  EXPECT_EQ(log_.Events("VR_POINTER_LASER_AVAILABLE").at(0).n, 1u);
  EXPECT_EQ(log_.Events("BROWSER_VR_AVAILABLE").at(0).n, 1u);
  EXPECT_EQ(session_->laser_image.builds, 1u);
  EXPECT_TRUE(session_->overlays[kWristRingOverlay].ring.upload_pending);  // the ring image is on its way
  EXPECT_EQ(session_->overlays[kPointerOverlay].ring.stores, 1u);
}

TEST_F(VrSessionTest, IdentifiesAnInstalledAppOrAddsTheManifestTemporarily) {
  ASSERT_TRUE(Init());
  const vr_sim::SimApplication& app = sim_.applications().at("quorix.phone");
  EXPECT_TRUE(std::filesystem::path(app.manifest_path).is_absolute() && app.temporary);
  EXPECT_EQ(std::filesystem::path(app.binary_path).filename(), "Quorix");
  EXPECT_EQ(sim_.identified(), std::make_pair(platform::CurrentProcessId(), std::string("quorix.phone")));
  EXPECT_EQ(sim_.CallCount(SimCall::kAddManifest), 1u);

  session_.reset();
  sim_.Shutdown();
  session_ = VrSession::Create();
  ASSERT_TRUE(Init());
  EXPECT_EQ(sim_.CallCount(SimCall::kAddManifest), 1u);  // installed: identify only
  EXPECT_EQ(sim_.CallCount(SimCall::kIdentify), 2u);
}

TEST_F(VrSessionTest, PointerWidthFollowsTheRoundedSize) {
  const std::pair<uint32_t, float> cases[] = {{10, 0.004f}, {62, 0.004f}, {63, 0.006f}, {300, 0.016f}};
  for (const auto& [percent, metres] : cases) {
    SCOPED_TRACE(percent);
    settings_.pointer_size_percent = percent;
    session_ = VrSession::Create();
    ASSERT_TRUE(Init());
    EXPECT_FLOAT_EQ(sim_.FindOverlay("quorix.k19.pointer")->width_m, metres);
    session_.reset();
    sim_.Shutdown();
  }
}

TEST_F(VrSessionTest, WithoutTheLaserTheSessionStillStarts) {
  sim_.AddForeignOverlay("quorix.ui3.pointer.laser");
  ASSERT_TRUE(Init());
  EXPECT_FALSE(session_->laser_available);
  EXPECT_EQ(log_.Events("VR_POINTER_LASER_AVAILABLE").at(0).n, 0u);
  EXPECT_EQ(log_.Events("VR_MVP_SESSION_READY").at(0).n, 9u);
}

TEST_F(VrSessionTest, EachFailingStepFailsInitAndLeavesNothingBehind) {
  struct Case {
    std::string name;
    std::function<void(SimRuntime&, VrSession&)> inject;
    bool connected;   // the system pointer was set: statistics at destruction
    bool has_device;  // the device was created
  };
  std::vector<Case> cases = {
      {"no server", [](SimRuntime& sim, VrSession&) { sim.StopServer(); }, false, false},
      {"init refused", [](SimRuntime& sim, VrSession&) { sim.FailNextInit(108); }, false, false},
      {"handshake refused", [](SimRuntime& sim, VrSession&) { sim.FailHandshake(306); }, false, false},
      {"autostart child running",
       [](SimRuntime&, VrSession& s) { s.autostart_policy = [](const auto&, uint32_t) { return false; }; },
       false, false},
      {"no applications interface",
       [](SimRuntime& sim, VrSession&) { sim.WithholdInterface(SimInterface::kApplications); }, true, false},
      {"manifest refused", [](SimRuntime& sim, VrSession&) { sim.FailCall(SimCall::kAddManifest, 400); }, true, false},
      {"identify refused", [](SimRuntime& sim, VrSession&) { sim.FailCall(SimCall::kIdentify, 401); }, true, false},
      {"no input interface", [](SimRuntime& sim, VrSession&) { sim.WithholdInterface(SimInterface::kInput); }, true,
       false},
      {"action manifest refused",
       [](SimRuntime& sim, VrSession&) { sim.FailCall(SimCall::kSetActionManifestPath, 7); }, true, false},
      {"no adapter", [](SimRuntime& sim, VrSession&) { sim.SetAdapterIndex(-1); }, true, false},
      {"no device", [](SimRuntime& sim, VrSession&) { sim.FailDeviceCreate(pvr::kErrorDevice); }, true, false},
      {"ring image not uploaded", [](SimRuntime& sim, VrSession&) { sim.FailCall(SimCall::kUpdateTexture, 5); }, true,
       true},
  };
  const char* required[] = {"quorix.k19.phone",     "quorix.k19.keyboard",  "quorix.k19.notifications",
                            "quorix.k19.wrist",     "quorix.k19.pointer",   "quorix.ui2.message.0",
                            "quorix.ui2.message.1", "quorix.ui2.message.2", "quorix.ui2.system"};
  for (uint32_t i = 0; i < 9; ++i) {
    const std::string key = required[i];
    cases.push_back({key + " taken", [key](SimRuntime& sim, VrSession&) { sim.AddForeignOverlay(key); }, true, true});
    cases.push_back({key + " without textures", [i](SimRuntime& sim, VrSession&) { sim.FailTextureCreate(2 * i + 1); },
                     true, true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRuntime sim;
    pvr::ScopedRuntime scoped(sim);
    sim.StartServer(4321);
    EventLogCapture log;
    auto session = VrSession::Create();
    c.inject(sim, *session);
    EXPECT_FALSE(session->Init(settings_, quorix_test::ShippedAssets()));
    session.reset();
    EXPECT_EQ(sim.overlay_count(), c.name.find("taken") != std::string::npos ? 1u : 0u);
    EXPECT_EQ(sim.live_textures(), 0u);
    EXPECT_EQ(sim.device_releases(), c.has_device ? 1u : 0u);
    EXPECT_EQ(log.Count("VR_LOOP_COUNT"), c.connected ? 1u : 0u);
    EXPECT_EQ(log.Count("VR_MVP_SESSION_READY"), 0u);
    EXPECT_EQ(log.Count("VR_INPUT_INIT"), c.name.find("input") != std::string::npos ||
                                                  c.name.find("action manifest") != std::string::npos
                                              ? 1u
                                              : 0u);
  }
}

TEST_F(VrSessionTest, StatisticsBlockInOrder) {
  ASSERT_TRUE(Init());
  session_->frame_count = 7;
  session_->longest_loop_ms = 3.2;
  session_->longest_keyboard_paint_ms = 1.0;
  session_->wrist_angle = 90.6f;
  const size_t before = log_.Events().size();
  session_->LogStats();
  const std::vector<quorix_test::LoggedEvent> events = log_.Events();
  const std::vector<std::tuple<std::string, uint64_t, uint64_t>> expected = {
      {"BROWSER_SCROLL_WHEEL_EVENTS", 0, 0}, {"BROWSER_SCROLL_REJECTED", 0, 0},
      {"BROWSER_SCROLL_ARROW_REQUESTS", 0, 0}, {"BROWSER_SCROLL_AXIS_ACTIVE", 0, 0},
      {"VR_SURFACE_ALLOCATIONS", 20, 0},     {"VR_SURFACE_UPLOADS", 1, 0},
      {"VR_SURFACE_PUBLISHES", 0, 0},        {"VR_PHONE_VISIBILITY", 0, 0},
      {"VR_PHONE_TRANSFORMS", 0, 0},         {"VR_LOOP_COUNT", 7, 0},
      {"VR_LOOP_MS_MAX", 4, 0},              {"VR_UI_PAINT_MS_MAX", 0, 0},
      {"VR_UI_PAINT_MS_MAX", 1, 1},          {"VR_GRIP_SOURCES", 0, 0},
      {"VR_INPUT_HEALTH", 0, 0},             {"VR_POSE_FALLBACKS", 0, 0},
      {"VR_RING_VISIBLE_FRAMES", 0, 0},      {"VR_RING_GRAB_FRAMES", 0, 0},
      {"VR_RING_TOGGLES_TOTAL", 0, 0},       {"VR_KEYBOARD_MOVES", 0, 0},
      {"VR_PIXEL_EVALUATIONS", 1, 0},        {"VR_WRIST_ANGLE", 91, 0},
      {"VR_RING_VISIBILITY", 0, 0},          {"VR_RING_PRESENTATION", 0, 0},
      {"VR_POINTER_LASER_COLOR_QUEUES", 1, 0}, {"VR_POINTER_LASER_VISIBLE_FRAMES", 0, 0},
      {"VR_KEYBOARD_UPLOADS", 0, 0},         {"VR_NOTICE_UPLOADS", 0, 0},
      {"VR_PHONE_UPLOADS", 0, 0},
  };
  ASSERT_EQ(events.size() - before, expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[before + i].event, std::get<0>(expected[i]));
    EXPECT_EQ(events[before + i].n, std::get<1>(expected[i]));
    EXPECT_EQ(events[before + i].code, std::get<2>(expected[i]));
  }
}

// The main loop with a real session on the simulated runtime; the rest of
// the program is left out. The host counts the loop's passes itself.
class SessionLoopHost final : public AppHost {
 public:
  SessionLoopHost(platform::ManualClock& clock, std::filesystem::path profile)
      : clock_(clock), profile_(std::move(profile)) {}

  int stop_after = 0;
  int passes = 0;
  int passes_with_session = 0;

  void StartBrowserAudioGuard(const std::filesystem::path&) override {}
  bool BuildSession() override { return true; }
  bool BuildSettings() override { return true; }
  void BuildPhoneUi() override {}
  bool CreateDesktop() override { return true; }
  bool DesktopQuitRequested() override { return false; }
  bool OwnerWindowGone() override { return false; }
  void HandleShowMessage() override {}
  void PumpGateway() override {
    ++passes;
    clock_.Advance(11);
    // The next pass sees the stop file and is the last.
    if (passes == stop_after) quorix_test::WriteFile(RunDir() / "STOP.requested", "");
  }
  void TickOwner() override {}
  void TickPhoneUi() override {}
  bool TakePhoneDirty() override { return false; }
  void FeedBrowserAudio(const BrowserRouteEnvironment&) override {}
  bool VrServerRunning() override { return FindVrServerProcess() != 0; }
  bool ConnectVr(const std::filesystem::path&) override {
    vr_ = VrSession::Create();
    if (vr_->Init(settings_, quorix_test::ShippedAssets())) return true;
    DisconnectVr();
    return false;
  }
  bool HasVrSession() override { return vr_ != nullptr; }
  void DisconnectVr() override {
    vr_.reset();
    ShutdownVrRuntime();
  }
  void ClearShowPhoneRequest() override {}
  void UpdateDesktop(bool) override {}
  bool VrFrame(uint8_t* phone_shown, bool redraw) override {
    ++passes_with_session;
    return vr_->Frame(port_, settings_, phone_shown, redraw);
  }
  void LogVrStats() override { vr_->LogStats(); }
  bool TakeShowRequest() override { return false; }
  void ShowDesktop() override {}
  bool TakeRepaintRequest() override { return false; }
  void RecordVrPass(double pass_ms) override { vr_->RecordLoopPass(pass_ms); }
  void DestroyDesktop() override {}
  void CloseOwner() override {}
  void StopService() override {}
  void StopSounds() override {}
  void DestroyObjects() noexcept override { vr_.reset(); }
  bool ShutdownBrowserAudio(uint32_t, BrowserAudioRouteStatus*) override { return true; }
  bool WaitForBrowserWorkerThreads(uint32_t) override { return true; }
  bool BrowserShutdownWait(uint32_t) override { return true; }

  std::filesystem::path RunDir() const {
    for (const auto& e : std::filesystem::directory_iterator(profile_ / "Documents" / "QuorixPhone_Development")) {
      return e.path();
    }
    return {};
  }

 private:
  platform::ManualClock& clock_;
  std::filesystem::path profile_;
  UiSettings settings_;
  quorix_test::FakeVrPhonePort port_;
  std::unique_ptr<VrSession> vr_;
};

TEST(VrSessionLoopTest, TheLoopCountsEachPassWithASessionOnce) {
  quorix_test::AutostartPreferenceScope autostart_off;
  SimRuntime sim;
  pvr::ScopedRuntime scoped(sim);
  sim.StartServer(4321);
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  quorix_test::TempDir profile, exe_dir;
  ScopedEnvironmentVariable restore_profile{u"USERPROFILE", profile.path().u16string()};
  ScopedEnvironmentVariable restore_log{u"QUORIX_2PC_EVENT_LOG"};
  std::vector<std::string> boxes;
  platform::SetMessageBoxHandler([&](std::string_view text, std::string_view) { boxes.emplace_back(text); });
  const std::filesystem::path exe = exe_dir.path() / "Quorix";
  quorix_test::WriteFile(exe, "exe");
  platform::MessagePump pump;
  SessionLoopHost host(clock, profile.path());
  host.stop_after = 40;

  EXPECT_EQ(RunApplication(host, pump, exe, clock, AppLoopTiming{2500, 15000, 0}), 0);
  platform::SetMessageBoxHandler({});
  platform::SetClockForTesting(nullptr);

  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(host.passes, 41);
  EXPECT_EQ(host.passes_with_session, 41);
  // Written once, when the session goes at the end of the run.
  const std::string events = quorix_test::ReadFile(host.RunDir() / "events.private.jsonl");
  EXPECT_NE(events.find("\"event\":\"VR_LOOP_COUNT\",\"n\":41,"), std::string::npos) << events;
}

}  // namespace
