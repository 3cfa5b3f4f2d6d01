// The autostart preference, the policy step with a scripted child, and the
// configure mode with a real scripted verifier child.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "autostart_fixture.h"
#include "event_log_capture.h"
#include "leftovers.h"
#include "platform/clock.h"
#include "platform/process_handle.h"
#include "vr/autostart.h"

namespace {

namespace fs = std::filesystem;
using quorix_test::ReadFile;
using quorix_test::WriteFile;

constexpr int kRunning = platform::ProcessHandle::kStillActive;

TEST(AutostartPreference, ReadsWritesAndLeavesNoTemporary) {
  quorix_test::AutostartPreferenceScope scope(nullptr);
  const fs::path path = GetAutostartPreferencePath();
  EXPECT_EQ(path, scope.path());
  EXPECT_EQ(ReadAutostartPreference(path), 0u);
  EXPECT_EQ(ReadAutostartPreference({}), 3u);
  for (const auto& [content, value] : {std::pair{"enabled\n", 1u}, {"disabled\n", 2u}, {"enabled", 3u},
                                       {"ENABLED\n", 3u}, {"", 3u}, {"\xEF\xBB\xBF" "enabled\n", 3u},
                                       {"enabled\nenabled\nenabled\nenabled\nenabled\n", 3u}}) {
    WriteFile(path, content);
    EXPECT_EQ(ReadAutostartPreference(path), value) << content;
  }
  for (const bool enabled : {true, false}) {
    ASSERT_TRUE(WriteAutostartPreference(path, enabled));
    EXPECT_EQ(ReadFile(path), enabled ? "enabled\n" : "disabled\n");
  }
  // A folder in the way: the rename fails and the temporary goes with it.
  fs::remove(path);
  fs::create_directories(path / "x");
  EXPECT_FALSE(WriteAutostartPreference(path, true));
  EXPECT_EQ(quorix_test::CountDirectoryEntries(path.parent_path()), 1u);
  ScopedEnvironmentVariable unset(u"LOCALAPPDATA", std::nullopt);
  EXPECT_TRUE(GetAutostartPreferencePath().empty());
}

// A write killed before its rename left its temporary file. Its name once
// came from the pid and the tick count, so a later run with that pid at that
// tick could not write; neither that nor anything at the names taken now
// stops a write.
TEST(AutostartPreference, LeftoversOfKilledWritesNeverStopAWrite) {
  quorix_test::AutostartPreferenceScope scope(nullptr);
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  const std::string tick_name =
      scope.path().filename().string() + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(clock.TickMs());
  const quorix_test::Leftovers leftovers(scope.path(), {tick_name});
  const bool written = WriteAutostartPreference(scope.path(), true);
  platform::SetClockForTesting(nullptr);
  ASSERT_TRUE(written);
  EXPECT_EQ(ReadFile(scope.path()), "enabled\n");
  EXPECT_EQ(quorix_test::FileMode(scope.path()), 0644u);
  leftovers.ExpectOnlyEndedWritersRemoved();
}

// Children that report the script's exit code until terminated.
struct Script {
  int starts = 0, code = kRunning;
  std::vector<int> terminated;
};

class ScriptedRunner final : public AutostartChildRunner {
 public:
  explicit ScriptedRunner(Script* script) : script_(script) {}
  bool Start(const fs::path&, const std::string&, const fs::path&) override { return ++script_->starts > 0; }
  bool Poll(int* code) override { return *code = killed_ ? killed_ : script_->code, true; }
  bool Wait(uint32_t, int* code) override { return Poll(code) && *code != kRunning; }
  void Terminate(int code) override { script_->terminated.push_back(killed_ = code); }
  void Close() override {}

 private:
  Script* script_;
  int killed_ = 0;
};

// The runner factory and the clock point into the test's locals: both are put
// back however the test ends, since a later test makes runners too.
class AutostartPolicy : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetClockForTesting(nullptr);
    SetAutostartRunnerFactoryForTesting(nullptr);
  }
};

TEST_F(AutostartPolicy, SettlesOncePerServerRetriesAndKills) {
  Script script;
  SetAutostartRunnerFactoryForTesting([&script] { return std::make_unique<ScriptedRunner>(&script); });
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  quorix_test::EventLogCapture log;
  AutostartPolicyState state;
  struct Step {
    uint64_t now;
    uint32_t pid, preference;
    int child_code;  // what a running child reports
    bool result;
    int starts;
    const char* event;  // the last event so far
    uint64_t n, code;
  } steps[] = {
      {1000, 0, 0, kRunning, true, 0, "", 0, 0},  // no server
      {1000, 7, 0, kRunning, false, 1, "", 0, 0},
      {3000, 7, 0, 9, true, 1, "STEAMVR_AUTOSTART_FAILED", 14, 9},
      {32999, 7, 0, 9, true, 1, "STEAMVR_AUTOSTART_FAILED", 14, 9},  // retried only after 30 s
      {33000, 7, 1, kRunning, false, 2, "STEAMVR_AUTOSTART_FAILED", 14, 9},
      {77999, 7, 1, kRunning, false, 2, "STEAMVR_AUTOSTART_FAILED", 14, 9},
      {78000, 7, 1, kRunning, true, 2, "STEAMVR_AUTOSTART_FAILED", 14, 31},  // killed at 45 s
      {108000, 7, 0, kRunning, false, 3, "STEAMVR_AUTOSTART_FAILED", 14, 31},
      {109000, 8, 0, kRunning, false, 4, "STEAMVR_AUTOSTART_FAILED", 14, 31},  // new server: kill, restart
      {110000, 8, 0, 0, true, 4, "STEAMVR_AUTOSTART_REGISTERED", 1, 0},
      {500000, 8, 0, 0, true, 4, "STEAMVR_AUTOSTART_REGISTERED", 1, 0},  // settled
      {500000, 9, 0, 16, false, 5, "STEAMVR_AUTOSTART_REGISTERED", 1, 0},
      {501000, 9, 0, 16, true, 5, "STEAMVR_AUTOSTART_DISABLED", 1, 16},
      {502000, 10, 3, 16, true, 5, "STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0},
      {531999, 10, 3, 16, true, 5, "STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0},
      {532000, 10, 3, 16, true, 5, "STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0},
      {533000, 10, 2, 16, true, 5, "STEAMVR_AUTOSTART_DISABLED", 1, 0},
      {900000, 10, 2, 16, true, 5, "STEAMVR_AUTOSTART_DISABLED", 1, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.now);
    clock.Set(s.now);
    script.code = s.child_code;
    EXPECT_EQ(AutostartPolicyStep(state, "/opt/q/Quorix", s.pid, s.preference, s.now), s.result);
    EXPECT_EQ(script.starts, s.starts);
    const auto events = log.Events();
    if (*s.event) {
      ASSERT_FALSE(events.empty());
      EXPECT_EQ(std::tuple(events.back().event, events.back().n, events.back().code), std::tuple(s.event, s.n, s.code));
    }
  }
  EXPECT_EQ(script.terminated, (std::vector<int>{31, 31}));
  EXPECT_EQ(log.Count("STEAMVR_AUTOSTART_POLICY_UNAVAILABLE"), 2u);
  EXPECT_EQ(log.Count("STEAMVR_AUTOSTART_DISABLED"), 2u);
  for (const fs::path& bad : {fs::path("rel/Quorix"), fs::path("/opt/\"q/Quorix")}) {
    AutostartPolicyState fresh;
    EXPECT_TRUE(AutostartPolicyStep(fresh, bad, 7, 0, 1000));
    EXPECT_EQ(log.Events().back().n, 15u);
  }
  EXPECT_EQ(script.starts, 5);
}

// The verifier child is a script installed as the program.
class ConfigureTest : public quorix_test::AutostartSimTest {
 public:
  ~ConfigureTest() override { SetAutostartTimingsForTesting({}); }
  std::pair<int, std::string> Configure(const fs::path& exe, bool enable, bool explicit_choice) {
    testing::internal::CaptureStdout();
    const int code = ConfigureSteamVrAutostart(exe, enable, explicit_choice);
    return {code, testing::internal::GetCapturedStdout()};
  }
  static std::string Line(bool verified, int stage, int api, const char* legacy) {
    const char* b = verified ? "true" : "false";
    return std::string("{\"steamvr_autostart_enabled\":") + b + ",\"configuration_verified\":" + b +
           ",\"preference_saved\":true,\"diagnostic_stage\":" + std::to_string(stage) +
           ",\"api_error\":" + std::to_string(api) + ",\"rollback_complete\":true,\"legacy_present\":" + legacy +
           ",\"legacy_owned\":false,\"legacy_autostart_off\":false,\"legacy_verified\":false"
           ",\"next_steamvr_launch\":\"NOT_RUN\"}\n";
  }

  quorix_test::AutostartPreferenceScope preference_{nullptr};
};

TEST_F(ConfigureTest, TheVerifierDecidesAndAFailureIsRolledBack) {
  const std::string own = "quorix.phone=" + (exe_.parent_path() / kAutostartManifestFile).string() + ":on;";
  for (const auto& [script, wait_ms, code, line, registry] :
       {std::tuple{"exit 65", 60000u, 0, Line(true, 0, 0, "true"), own},
        {"exit 9", 60000u, 1, Line(false, 9, 9, "false"), std::string()},
        {"exec sleep 600", 300u, 1, Line(false, 14, 31, "false"), std::string()}}) {
    SCOPED_TRACE(script);
    WriteFile(exe_, std::string("#!/bin/sh\n") + script + "\n");
    ::chmod(exe_.c_str(), 0755);
    SetAutostartTimingsForTesting({wait_ms, 1000});
    fs::remove(root_.path() / "sim" / "applications.json");
    EXPECT_EQ(Configure(exe_, true, true), std::pair(code, line));
    EXPECT_EQ(Snapshot(), registry);
    EXPECT_EQ(ReadFile(preference_.path()), "enabled\n");  // kept whatever happened later
  }
  EXPECT_EQ(Configure("rel/Quorix", true, true), std::pair(1, Line(false, 1, 0, "false")));
  EXPECT_EQ(Configure(MakeProgramFolder("q\"x"), true, true), std::pair(1, Line(false, 15, 0, "false")));
  EXPECT_EQ(Snapshot(), "");
  // Automatic runs obey the preference; without a runtime: 2, no line.
  for (const auto& [choice, code] : {std::pair{"disabled\n", 16}, {"enabled", 1}}) {
    WriteFile(preference_.path(), choice);
    EXPECT_EQ(Configure(exe_, true, false), std::pair(code, std::string()));
  }
  fs::remove(root_.path() / "sim" / "server.pid");
  EXPECT_EQ(Configure(exe_, true, true), std::pair(2, std::string()));
}

}  // namespace
