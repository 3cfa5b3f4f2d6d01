// The autostart preference, the policy step with a scripted child, and the
// configure mode with a real scripted verifier child.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "autostart_fixture.h"
#include "core/environment.h"
#include "core/text.h"
#include "event_log_capture.h"
#include "platform/clock.h"
#include "platform/process_handle.h"
#include "vr/autostart.h"

namespace {

namespace fs = std::filesystem;
using quorix_test::AutostartSimTest;
using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WriteFile;

constexpr int kRunning = platform::ProcessHandle::kStillActive;

TEST(AutostartPreference, ReadsWritesAndLeavesNoTemporary) {
  TempDir dir;
  const fs::path path = dir.path() / "p" / "steamvr-autostart.preference";
  EXPECT_EQ(ReadAutostartPreference(path), 0u);
  EXPECT_EQ(ReadAutostartPreference({}), 3u);
  EXPECT_FALSE(WriteAutostartPreference({}, true));
  struct Case {
    std::string content;
    uint32_t value;
  } cases[] = {{"enabled\n", 1},  {"disabled\n", 2}, {"enabled", 3},           {"ENABLED\n", 3},
               {"", 3},           {std::string(40, 'e'), 3}, {"\xEF\xBB\xBF" "enabled\n", 3}};
  fs::create_directories(path.parent_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    WriteFile(path, c.content);
    EXPECT_EQ(ReadAutostartPreference(path), c.value);
  }
  for (const bool enabled : {true, false}) {
    ASSERT_TRUE(WriteAutostartPreference(dir.path() / "new" / "pref", enabled));
    EXPECT_EQ(ReadFile(dir.path() / "new" / "pref"), enabled ? "enabled\n" : "disabled\n");
  }
  // A folder in the way: the rename fails and the temporary goes with it.
  fs::remove(path);
  fs::create_directories(path / "x");
  EXPECT_FALSE(WriteAutostartPreference(path, true));
  EXPECT_EQ(ReadAutostartPreference(path), 3u);
  EXPECT_EQ(quorix_test::CountDirectoryEntries(path.parent_path()), 1u);
  ScopedEnvironmentVariable local(u"LOCALAPPDATA", u"/l");
  EXPECT_EQ(GetAutostartPreferencePath(), "/l/QuorixPhone/startup/steamvr-autostart.preference");
  ScopedEnvironmentVariable empty(u"LOCALAPPDATA", std::nullopt);
  EXPECT_EQ(GetAutostartPreferencePath(), fs::path());
}

// What the scripted children did; each runner reports the latest exit code.
struct Script {
  int starts = 0;
  bool start_ok = true;
  int code = kRunning;
  std::vector<int> terminated;
};

class ScriptedRunner final : public AutostartChildRunner {
 public:
  explicit ScriptedRunner(Script* script) : script_(script) {}
  bool Start(const fs::path&, const std::string& argument, const fs::path&) override {
    EXPECT_EQ(argument, "--automatic-autostart");
    ++script_->starts;
    return script_->start_ok;
  }
  bool Poll(int* code) override {
    *code = ended_ ? killed_code_ : script_->code;
    return true;
  }
  bool Wait(uint32_t, int* code) override { return Poll(code) && *code != kRunning; }
  void Terminate(int code) override {
    ended_ = true;
    killed_code_ = code;
    script_->terminated.push_back(code);
  }
  void Close() override {}

 private:
  Script* script_;
  bool ended_ = false;
  int killed_code_ = 0;
};

TEST(AutostartPolicy, SettlesRetriesAndKills) {
  Script script;
  SetAutostartRunnerFactoryForTesting([&script] { return std::make_unique<ScriptedRunner>(&script); });
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  quorix_test::EventLogCapture log;
  AutostartPolicyState state;
  const fs::path exe = "/opt/q/Quorix";
  struct Step {
    uint64_t now;
    uint32_t pid, preference;
    int child_code;  // what a running child reports
    bool result;
    int starts;
    const char* event;  // the last event logged, or ""
    uint64_t n, code;
  } steps[] = {
      {1000, 0, 0, kRunning, true, 0, "", 0, 0},                               // no runtime
      {1000, 7, 0, kRunning, false, 1, "", 0, 0},                              // started
      {2000, 7, 0, kRunning, false, 1, "", 0, 0},                              // still running
      {3000, 7, 0, 9, true, 1, "STEAMVR_AUTOSTART_FAILED", 14, 9},             // failed: retry later
      {32999, 7, 0, 9, true, 1, "STEAMVR_AUTOSTART_FAILED", 14, 9},
      {33000, 7, 1, kRunning, false, 2, "STEAMVR_AUTOSTART_FAILED", 14, 9},    // retried
      {78000, 7, 1, kRunning, true, 2, "STEAMVR_AUTOSTART_FAILED", 14, 31},    // killed at 45 s
      {108000, 7, 0, kRunning, false, 3, "STEAMVR_AUTOSTART_FAILED", 14, 31},
      {109000, 8, 0, kRunning, false, 4, "STEAMVR_AUTOSTART_FAILED", 14, 31},  // new server: kill, restart
      {110000, 8, 0, 0, true, 4, "STEAMVR_AUTOSTART_REGISTERED", 1, 0},        // settled
      {500000, 8, 0, 0, true, 4, "STEAMVR_AUTOSTART_REGISTERED", 1, 0},
      {500000, 9, 0, 16, false, 5, "STEAMVR_AUTOSTART_REGISTERED", 1, 0},
      {501000, 9, 0, 16, true, 5, "STEAMVR_AUTOSTART_DISABLED", 1, 16},
      {502000, 10, 3, 16, true, 5, "STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0},
      {531999, 10, 3, 16, true, 5, "STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0},
      {532000, 10, 3, 16, true, 5, "STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0},
      {533000, 10, 2, 16, true, 5, "STEAMVR_AUTOSTART_DISABLED", 1, 0},  // disabled: none started
      {900000, 10, 2, 16, true, 5, "STEAMVR_AUTOSTART_DISABLED", 1, 0},
  };
  size_t events = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.now);
    clock.Set(s.now);
    script.code = s.child_code;
    EXPECT_EQ(AutostartPolicyStep(state, exe, s.pid, s.preference, s.now), s.result);
    EXPECT_EQ(script.starts, s.starts);
    const auto logged = log.Events();
    if (*s.event) {
      ASSERT_FALSE(logged.empty());
      EXPECT_EQ(logged.back().event, s.event);
      EXPECT_EQ(std::make_pair(logged.back().n, logged.back().code), std::make_pair(s.n, s.code));
    }
    events = logged.size();
  }
  EXPECT_EQ(script.terminated, (std::vector<int>{31, 31}));
  EXPECT_EQ(log.Count("STEAMVR_AUTOSTART_POLICY_UNAVAILABLE"), 2u);
  EXPECT_EQ(log.Count("STEAMVR_AUTOSTART_DISABLED"), 2u);
  EXPECT_GT(events, 0u);
  // A path the child cannot be started from: no start, n 15.
  for (const fs::path& bad : {fs::path("rel/Quorix"), fs::path("/opt/\"q/Quorix")}) {
    AutostartPolicyState fresh;
    EXPECT_TRUE(AutostartPolicyStep(fresh, bad, 7, 0, 1000));
    EXPECT_EQ(log.Events().back().n, 15u);
  }
  EXPECT_EQ(script.starts, 5);
  platform::SetClockForTesting(nullptr);
  SetAutostartRunnerFactoryForTesting(nullptr);
}

// A program folder whose "Quorix" is a script: the verifier child.
class ConfigureTest : public AutostartSimTest {
 public:
  ConfigureTest() : local_(u"LOCALAPPDATA", Utf8ToWide((root_.path() / "local").string())) {}
  ~ConfigureTest() override { SetAutostartTimingsForTesting({}); }

  void Script(const std::string& body) {
    WriteFile(exe_, "#!/bin/sh\n" + body + "\n");
    ::chmod(exe_.c_str(), 0755);
  }
  // The exit code and the printed line.
  std::pair<int, std::string> Configure(const fs::path& exe, bool enable, bool explicit_choice) {
    testing::internal::CaptureStdout();
    const int code = ConfigureSteamVrAutostart(exe, enable, explicit_choice);
    return {code, testing::internal::GetCapturedStdout()};
  }
  static std::string Line(bool enabled, bool verified, bool saved, int stage, int api, bool rollback,
                          const char* legacy) {
    auto b = [](bool v) { return v ? std::string("true") : std::string("false"); };
    return "{\"steamvr_autostart_enabled\":" + b(enabled) + ",\"configuration_verified\":" + b(verified) +
           ",\"preference_saved\":" + b(saved) + ",\"diagnostic_stage\":" + std::to_string(stage) +
           ",\"api_error\":" + std::to_string(api) + ",\"rollback_complete\":" + b(rollback) + legacy +
           ",\"next_steamvr_launch\":\"NOT_RUN\"}\n";
  }

  ScopedEnvironmentVariable local_;
};

constexpr char kNoLegacy[] =
    ",\"legacy_present\":false,\"legacy_owned\":false,\"legacy_autostart_off\":false,\"legacy_verified\":false";

TEST_F(ConfigureTest, TheVerifierDecidesAndAFailureIsRolledBack) {
  const fs::path preference = root_.path() / "local" / "QuorixPhone" / "startup" / "steamvr-autostart.preference";
  struct Case {
    const char* script;
    int code;
    std::string line;
    bool registered;
    uint32_t wait_ms;  // only the hanging verifier gets a short wait
  } cases[] = {
      {"exit 65", 0,
       Line(true, true, true, 0, 0, true,
            ",\"legacy_present\":true,\"legacy_owned\":false,\"legacy_autostart_off\":false,\"legacy_verified\":false"),
       true, 60000},
      {"exit 9", 1, Line(false, false, true, 9, 9, true, kNoLegacy), false, 60000},
      {"exec sleep 600", 1, Line(false, false, true, 14, 31, true, kNoLegacy), false, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Script(c.script);
    SetAutostartTimingsForTesting({c.wait_ms, 1000});
    fs::remove(root_.path() / "sim" / "applications.json");
    EXPECT_EQ(Configure(exe_, true, true), std::make_pair(c.code, c.line));
    EXPECT_EQ(Snapshot(), c.registered ? "quorix.phone=" + (exe_.parent_path() / kAutostartManifestFile).string() +
                                             ":on;"
                                       : "");
    EXPECT_EQ(ReadFile(preference), "enabled\n");  // kept whatever happened later
  }
  // Automatic runs obey the preference; no runtime: 2 without a line.
  WriteFile(preference, "disabled\n");
  EXPECT_EQ(Configure(exe_, true, false), std::make_pair(16, std::string()));
  WriteFile(preference, "enabled");
  EXPECT_EQ(Configure(exe_, true, false), std::make_pair(1, std::string()));
  fs::remove(root_.path() / "sim" / "server.pid");
  EXPECT_EQ(Configure(exe_, true, true), std::make_pair(2, std::string()));
}

TEST_F(ConfigureTest, PathsTheChildCannotBeStartedFrom) {
  const fs::path quoted = MakeProgramFolder("q\"x");
  EXPECT_EQ(Configure("rel/Quorix", true, true),
            std::make_pair(1, Line(false, false, true, 1, 0, true, kNoLegacy)));
  EXPECT_EQ(Configure(quoted, true, true), std::make_pair(1, Line(false, false, true, 15, 0, true, kNoLegacy)));
  EXPECT_EQ(Snapshot(), "");
}

}  // namespace
