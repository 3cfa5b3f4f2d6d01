#include "core/app_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/environment.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/message_box.h"
#include "platform/message_pump.h"
#include "platform/process.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;

const std::string kBom = "\xEF\xBB\xBF";

// Records every call in order; results are set per test.
class RecordingHost final : public AppHost {
 public:
  explicit RecordingHost(platform::ManualClock& clock) : clock_(clock) {}

  std::vector<std::string> calls;
  bool session_ok = true;
  bool settings_ok = true;
  bool desktop_ok = true;
  bool vr_server = false;
  std::function<bool()> connect_vr = [] { return false; };
  std::function<bool(int pass)> vr_frame = [](int) { return true; };
  std::function<void(int pass)> on_pass = [](int) {};
  uint64_t step_ms = 100;
  bool show_request_once = false;
  bool first_wait_ok = true;
  int passes = 0;
  bool vr = false;
  double longest_pass = 0;

  void StartBrowserAudioGuard(const std::filesystem::path& status_file) override {
    calls.push_back("guard:" + status_file.filename().string());
  }
  bool BuildSession() override { return Log("session", session_ok); }
  bool BuildSettings() override { return Log("settings", settings_ok); }
  void BuildPhoneUi() override { calls.push_back("phone_ui"); }
  bool CreateDesktop() override { return Log("desktop", desktop_ok); }
  bool DesktopQuitRequested() override { return false; }
  bool OwnerWindowGone() override { return false; }
  void HandleShowMessage() override { calls.push_back("show_message"); }
  void PumpGateway() override {
    ++passes;
    on_pass(passes);
    calls.push_back("pump");
  }
  void TickOwner() override { calls.push_back("tick_owner"); }
  void TickPhoneUi() override {
    calls.push_back("tick_ui");
    clock_.Advance(step_ms);
  }
  bool TakePhoneDirty() override { return false; }
  void FeedBrowserAudio(const BrowserRouteEnvironment&) override {}
  bool VrServerRunning() override { return vr_server; }
  bool ConnectVr(const std::filesystem::path& assets) override {
    calls.push_back("connect_vr@" + std::to_string(clock_.TickMs()) + ":" + assets.filename().string());
    vr = connect_vr();
    return vr;
  }
  bool HasVrSession() override { return vr; }
  void DisconnectVr() override {
    calls.push_back("disconnect_vr");
    vr = false;
  }
  void ClearShowPhoneRequest() override {}
  void UpdateDesktop(bool force) override {
    if (force) calls.push_back("update_desktop_forced");
  }
  bool VrFrame(uint8_t*, bool) override { return vr_frame(passes); }
  void LogVrStats() override { calls.push_back("stats@" + std::to_string(clock_.TickMs())); }
  bool TakeShowRequest() override {
    const bool was = show_request_once;
    show_request_once = false;
    return was;
  }
  void ShowDesktop() override { calls.push_back("show_desktop"); }
  bool TakeRepaintRequest() override { return false; }
  void RecordVrPass(double ms) override { longest_pass = std::max(longest_pass, ms); }
  void DestroyDesktop() override { calls.push_back("destroy_desktop"); }
  void CloseOwner() override { calls.push_back("close_owner"); }
  void StopService() override { calls.push_back("stop_service"); }
  void StopSounds() override { calls.push_back("stop_sounds"); }
  void DestroyObjects() noexcept override { calls.push_back("destroy_objects"); }
  bool ShutdownBrowserAudio(uint32_t ms, BrowserAudioRouteStatus* status) override {
    calls.push_back("audio_shutdown:" + std::to_string(ms));
    status->state = 4;
    status->volume_restored = 1;
    status->volume_pending = 2;
    return true;
  }
  bool WaitForBrowserWorkerThreads(uint32_t ms) override {
    calls.push_back("wait_workers:" + std::to_string(ms));
    return first_wait_ok;
  }
  bool BrowserShutdownWait(uint32_t ms) override {
    calls.push_back("wait_browser:" + std::to_string(ms));
    return true;
  }

  size_t Count(const std::string& prefix) const {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(),
                                             [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
  }
  std::vector<std::string> After(const std::string& marker) const {
    auto it = std::find(calls.begin(), calls.end(), marker);
    return it == calls.end() ? std::vector<std::string>{} : std::vector<std::string>(it, calls.end());
  }

 private:
  bool Log(const char* name, bool result) {
    calls.push_back(name);
    return result;
  }
  platform::ManualClock& clock_;
};

class AppLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockForTesting(&clock_);
    platform::env::Set("USERPROFILE", profile_.path().string());
    exe_ = exe_dir_.path() / "Quorix";
    quorix_test::WriteFile(exe_, "exe");
    platform::SetMessageBoxHandler([this](std::string_view text, std::string_view caption) {
      boxes_.push_back(std::string(caption) + ": " + std::string(text));
    });
  }
  void TearDown() override {
    platform::SetClockForTesting(nullptr);
    platform::SetMessageBoxHandler({});
  }

  std::filesystem::path RunDir() const {
    for (const auto& e : std::filesystem::directory_iterator(profile_.path() / "Documents" / "QuorixPhone_Development")) {
      return e.path();
    }
    return {};
  }
  // Creates the stop file during pass `passes`; the next pass sees it and is the last.
  void StopAfter(int passes) {
    host_.on_pass = [this, passes](int pass) {
      if (pass == passes) quorix_test::WriteFile(RunDir() / "STOP.requested", "");
    };
  }
  int Run() { return RunApplication(host_, pump_, exe_, clock_, AppLoopTiming{2500, 15000, 0}); }
  std::string Events() { return ReadFile(RunDir() / "events.private.jsonl"); }

  platform::ManualClock clock_;
  RecordingHost host_{clock_};
  platform::MessagePump pump_;
  quorix_test::TempDir profile_;
  quorix_test::TempDir exe_dir_;
  std::filesystem::path exe_;
  std::vector<std::string> boxes_;
  ScopedEnvironmentVariable restore_profile_{u"USERPROFILE"};
  ScopedEnvironmentVariable restore_log_{u"QUORIX_2PC_EVENT_LOG"};
};

TEST_F(AppLoopTest, StopFileEndsTheLoopAndShutdownRunsInOrder) {
  StopAfter(3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host_.passes, 4);
  const std::vector<std::string> start(host_.calls.begin(), host_.calls.begin() + 6);
  EXPECT_EQ(start, (std::vector<std::string>{"guard:BROWSER_ROUTE.safe.json", "session", "settings", "phone_ui",
                                             "desktop", "update_desktop_forced"}));
  EXPECT_EQ(host_.After("disconnect_vr"),
            (std::vector<std::string>{"disconnect_vr", "destroy_desktop", "close_owner", "stop_service", "stop_sounds",
                                      "destroy_objects", "audio_shutdown:5000", "wait_workers:3000",
                                      "wait_browser:3000"}));
  const auto run_dir = RunDir();
  EXPECT_EQ(ReadFile(run_dir / "STARTUP.safe.json"),
            kBom + "{\"stage\":\"READY\",\"desktop_initialized\":true,\"production_changed\":false}");
  EXPECT_EQ(ReadFile(run_dir / "EXIT.safe.json"),
            kBom + "{\"owner\":\"Quorix_UI3_Unified\",\"normal_exit\":true,\"raw_audio_recorded\":false}");
  const std::string events = Events();
  EXPECT_NE(events.find("\"UI3_UNIFIED_STARTED\",\"n\":1"), std::string::npos);
  EXPECT_NE(events.find("\"UI3_UNIFIED_STOPPED\",\"n\":1"), std::string::npos);
  EXPECT_NE(events.find("\"BROWSER_ROUTE_EXIT_STATE\",\"n\":4,\"code\":0"), std::string::npos);
  EXPECT_NE(events.find("\"BROWSER_ROUTE_EXIT_CONFIRMED\",\"n\":1"), std::string::npos);
  EXPECT_NE(events.find("\"BROWSER_VOLUME_RESTORED\",\"n\":1,\"code\":2"), std::string::npos);
  EXPECT_NE(events.find("\"BROWSER_CLEANUP_DONE\",\"n\":1"), std::string::npos);
  EXPECT_EQ(events.find("VR_"), std::string::npos);  // no VR server: nothing about VR
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(AppLoopTest, QuitMessageAndShowMessageArriveThroughThePump) {
  host_.on_pass = [this](int pass) {
    if (pass == 2) {
      host_.show_request_once = true;
      pump_.PostQuit();
    }
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host_.passes, 3);  // the pass that saw the quit still ran to its end
  EXPECT_EQ(host_.Count("show_desktop"), 1u);
}

TEST_F(AppLoopTest, VrAttemptsAreSpacedAndNeedTheServer) {
  host_.vr_server = true;
  host_.step_ms = 500;
  StopAfter(19);  // 20 passes, ticks 1500 to 11000
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host_.Count("connect_vr"), 4u);  // 1.5, 4, 6.5 and 9 s
  EXPECT_NE(std::find(host_.calls.begin(), host_.calls.end(), "connect_vr@1500:vr_assets"), host_.calls.end());
  std::string events = Events();
  size_t failures = 0;
  for (size_t at = events.find("VR_MVP_INIT_FAILED"); at != std::string::npos;
       at = events.find("VR_MVP_INIT_FAILED", at + 1)) {
    ++failures;
  }
  EXPECT_EQ(failures, 4u);
}

TEST_F(AppLoopTest, LossWaitsBeforeReconnectingAndStatsFollowTheConnect) {
  host_.vr_server = true;
  host_.step_ms = 1000;
  host_.connect_vr = [] { return true; };
  host_.vr_frame = [](int pass) { return pass != 20; };  // lost on pass 20
  StopAfter(26);
  EXPECT_EQ(Run(), 0);
  // Connected at tick 2000 (first pass): stats at +15 s; lost at 21000; back 2.5 s later.
  EXPECT_NE(std::find(host_.calls.begin(), host_.calls.end(), "connect_vr@2000:vr_assets"), host_.calls.end());
  EXPECT_NE(std::find(host_.calls.begin(), host_.calls.end(), "stats@17000"), host_.calls.end());
  EXPECT_EQ(host_.Count("stats@"), 1u);
  EXPECT_NE(std::find(host_.calls.begin(), host_.calls.end(), "connect_vr@24000:vr_assets"), host_.calls.end());
  EXPECT_EQ(host_.Count("connect_vr"), 2u);
  EXPECT_NE(Events().find("\"VR_MVP_RECONNECT_WAIT\",\"n\":1,\"code\":0"), std::string::npos);
  EXPECT_GT(host_.longest_pass, 0.0);
}

struct StageFailure {
  const char* component;
  bool RecordingHost::*flag;
};

class StageFailureTest : public AppLoopTest, public ::testing::WithParamInterface<StageFailure> {};

TEST_P(StageFailureTest, FailureIsRecordedShownAndCleanedUp) {
  host_.*(GetParam().flag) = false;
  EXPECT_EQ(Run(), 1);
  const std::string record = kBom + "{\"stage\":\"ERROR\",\"component\":\"" + GetParam().component +
                             "\",\"secret_or_chat_body_collected\":false}";
  EXPECT_EQ(ReadFile(RunDir() / "STARTUP.safe.json"), record);
  EXPECT_EQ(ReadFile(exe_dir_.path() / ("STARTUP_" + std::to_string(platform::CurrentProcessId()) + ".safe.json")),
            record);
  EXPECT_EQ(ReadFile(RunDir() / "EXIT.safe.json"),
            kBom + "{\"owner\":\"Quorix_UI3_Unified\",\"normal_exit\":false,\"fixed_error\":\"UI3_START_OR_RUNTIME_FAILED\"}");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].find("Quorix: Quorix could not finish starting."), std::string::npos);
  EXPECT_EQ(host_.After("destroy_objects"),
            (std::vector<std::string>{"destroy_objects", "audio_shutdown:5000", "wait_workers:3000",
                                      "wait_browser:3000"}));
  EXPECT_EQ(host_.passes, 0);
}

INSTANTIATE_TEST_SUITE_P(Stages, StageFailureTest,
                         ::testing::Values(StageFailure{"SESSION", &RecordingHost::session_ok},
                                           StageFailure{"SETTINGS", &RecordingHost::settings_ok},
                                           StageFailure{"DESKTOP", &RecordingHost::desktop_ok}),
                         [](const auto& info) { return std::string(info.param.component); });

TEST_F(AppLoopTest, NoProfileFailsBeforeTheRunDirectory) {
  platform::env::Unset("USERPROFILE");
  host_.first_wait_ok = false;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(ReadFile(exe_dir_.path() / ("STARTUP_" + std::to_string(platform::CurrentProcessId()) + ".safe.json")),
            kBom + "{\"stage\":\"ERROR\",\"component\":\"BOOTSTRAP\",\"secret_or_chat_body_collected\":false}");
  EXPECT_FALSE(std::filesystem::exists(profile_.path() / "Documents"));
  EXPECT_EQ(boxes_.size(), 1u);
  // The first wait timed out, so the second is not made.
  EXPECT_EQ(host_.Count("wait_browser"), 0u);
}

TEST_F(AppLoopTest, UnwritableExecutableFolderStillEndsWithCleanUp) {
  exe_ = exe_dir_.path() / "gone" / "Quorix";  // LAST_RUN.txt and the error record cannot be written
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(host_.After("destroy_objects"),
            (std::vector<std::string>{"destroy_objects", "audio_shutdown:5000", "wait_workers:3000",
                                      "wait_browser:3000"}));
}

}  // namespace
