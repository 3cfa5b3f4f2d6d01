// The built program, started as a user would start it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "private_x_server.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;
using quorix_test::ChildProcess;
using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WaitFor;

const std::string kBom = "\xEF\xBB\xBF";

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(runtime_dir());
    ::chmod(runtime_dir().c_str(), 0700);
  }

  std::filesystem::path home() const { return home_.path() / "home"; }
  std::filesystem::path runtime_dir() const { return home_.path() / "run"; }
  std::filesystem::path profile() const { return home_.path() / "profile"; }
  std::filesystem::path local() const { return home_.path() / "local"; }
  std::filesystem::path store_root() const { return local() / "QuorixPhone" / "UI3" / "data" / "v1"; }

  std::vector<std::string> Environment() const {
    std::vector<std::string> env = {
        "HOME=" + home().string(),
        "USERPROFILE=" + profile().string(),
        "LOCALAPPDATA=" + local().string(),
        "XDG_RUNTIME_DIR=" + runtime_dir().string(),
        "PATH=/usr/bin:/bin",
    };
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    quorix_test::AddPrivateDisplay(&env);
    // The desktop window needs the X display; GTK there without an
    // accessibility bus or a settings daemon.
    env.insert(env.end(), {"NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory"});
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    return env;
  }

  // "NAME=VALUE" entries added to the environment of later starts.
  std::vector<std::string> extra_env_;

  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args = {}) {
    return ChildProcess::Start(QUORIX_EXE_PATH, args, Environment());
  }

  // Starts, waits until the program is running, stops it with the stop file
  // and returns its exit code and the run directory.
  std::pair<std::optional<int>, std::filesystem::path> RunOnce(std::unique_ptr<ChildProcess>& program) {
    program = Start();
    const auto run = WaitForReadyRun();
    if (run.empty()) return {std::nullopt, run};
    quorix_test::WriteFile(run / "STOP.requested", "");
    return {program->WaitExit(20s), run};
  }

  // One normal run logs `percent` as the browser volume at shutdown.
  void ExpectVolumeAtShutdown(int percent) {
    std::unique_ptr<ChildProcess> program;
    const auto [code, run] = RunOnce(program);
    ASSERT_FALSE(run.empty()) << program->Stderr();
    EXPECT_EQ(code, 0);
    EXPECT_NE(ReadFile(run / "events.private.jsonl")
                  .find("\"event\":\"BROWSER_VOLUME_PERCENT\",\"n\":" + std::to_string(percent) + ","),
              std::string::npos);
  }

  // The run directory, once the program has finished starting.
  std::filesystem::path WaitForReadyRun() {
    std::filesystem::path run;
    WaitFor(
        [&] {
          std::error_code ec;
          for (const auto& e :
               std::filesystem::directory_iterator(profile() / "Documents" / "QuorixPhone_Development", ec)) {
            if (std::filesystem::exists(e.path() / "STARTUP.safe.json")) run = e.path();
          }
          return !run.empty();
        },
        20s);
    return run;
  }

  TempDir home_;
};

TEST_F(ProgramTest, StopFileEndsANormalRun) {
  auto program = Start();
  const auto run = WaitForReadyRun();
  ASSERT_FALSE(run.empty()) << program->Stderr();
  EXPECT_FALSE(program->WaitExit(200ms).has_value());  // it keeps looping
  quorix_test::WriteFile(run / "STOP.requested", "");
  const auto code = program->WaitExit(20s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0) << program->Stderr();
  EXPECT_EQ(ReadFile(run / "EXIT.safe.json"),
            kBom + "{\"owner\":\"Quorix_UI3_Unified\",\"normal_exit\":true,\"raw_audio_recorded\":false}");
  const std::string events = ReadFile(run / "events.private.jsonl");
  EXPECT_NE(events.find("\"event\":\"UI3_UNIFIED_STARTED\""), std::string::npos);
  EXPECT_NE(events.find("\"event\":\"UI3_UNIFIED_STOPPED\""), std::string::npos);
  EXPECT_NE(events.find("\"event\":\"BROWSER_CLEANUP_DONE\",\"n\":1"), std::string::npos);
  EXPECT_NE(ReadFile(run / "process.private.json").find("\"mode\":\"Unified\"}"), std::string::npos);
}

TEST_F(ProgramTest, SecondStartAsksTheFirstToShowAndExits) {
  auto first = Start();
  const auto run = WaitForReadyRun();
  ASSERT_FALSE(run.empty());
  auto second = Start();
  const auto code = second->WaitExit(20s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  EXPECT_FALSE(first->WaitExit(100ms).has_value());
  int runs = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(run.parent_path())) ++runs;
  EXPECT_EQ(runs, 1);  // the second start made no run of its own
  first->Signal(SIGTERM);
  EXPECT_EQ(first->WaitExit(20s), 0);
}

TEST_F(ProgramTest, TerminationSignalRunsTheNormalShutdown) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    auto program = Start();
    const auto run = WaitForReadyRun();
    ASSERT_FALSE(run.empty());
    program->Signal(signal_number);
    EXPECT_EQ(program->WaitExit(20s), 0);
    EXPECT_NE(ReadFile(run / "EXIT.safe.json").find("\"normal_exit\":true"), std::string::npos);
    std::filesystem::remove_all(profile());
  }
}

TEST_F(ProgramTest, SiblingClientRunningRefusesToStart) {
  const auto sibling = home_.path() / "QuorixDesktopTestClient";
  std::filesystem::copy_file("/bin/sleep", sibling);
  auto client = ChildProcess::Start(sibling, {"30"}, {});
  ASSERT_TRUE(WaitFor([&] { return ReadFile("/proc/" + std::to_string(client->pid()) + "/cmdline").size() > 0; },
                      5s));
  auto program = Start();
  EXPECT_EQ(program->WaitExit(20s), 2);
  EXPECT_NE(program->Stderr().find("Close the previous Quorix client first."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(profile() / "Documents"));
}

TEST_F(ProgramTest, OwnerCheckModeExitCodes) {
  const auto existing = home_.path() / "existing";
  std::filesystem::create_directories(existing);
  EXPECT_EQ(Start({"--ui3-owner-check", existing.string()})->WaitExit(20s), 3);
  EXPECT_TRUE(std::filesystem::is_empty(existing));

  const auto dir = home_.path() / "owner" / "check";
  auto program = Start({"--ui3-owner-check", dir.string()});
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "RUN.txt"); }, 20s));
  const std::string run_txt = ReadFile(dir / "RUN.txt");
  ASSERT_EQ(run_txt.rfind(kBom, 0), 0u);
  const std::filesystem::path run = run_txt.substr(kBom.size());
  EXPECT_EQ(run.parent_path(), dir / "Documents" / "QuorixPhone_Development");
  quorix_test::WriteFile(run / "STOP.requested", "");
  EXPECT_EQ(program->WaitExit(20s), 0);

  // A folder that cannot be made fails with a line, not a crash.
  quorix_test::WriteFile(home_.path() / "plainfile", "");
  auto broken = Start({"--ui3-owner-check", (home_.path() / "plainfile" / "sub").string()});
  EXPECT_EQ(broken->WaitExit(20s), 1);
  EXPECT_NE(broken->Stdout().find("UI3_OWNER_CHECK_FAILED"), std::string::npos);
}

TEST_F(ProgramTest, MaintenanceAndSelfCheckModesNeverPretendToPass) {
  auto check = Start({"--ui33-checks", (home_.path() / "out").string()});
  EXPECT_EQ(check->WaitExit(20s), 1);
  EXPECT_NE(check->Stdout().find("not available"), std::string::npos);

  std::filesystem::create_directories(home_.path() / "pkg");
  EXPECT_EQ(Start({"--ui45-package-check", (home_.path() / "pkg").string()})->WaitExit(20s), 3);
  EXPECT_EQ(Start({"--ui40-browser-audio-guard"})->WaitExit(20s), 1);

  auto reg = Start({"--register-autostart"});
  EXPECT_EQ(reg->WaitExit(20s), 2);
  EXPECT_EQ(reg->Stdout(), "START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n");
  EXPECT_FALSE(std::filesystem::exists(profile() / "Documents"));
}

TEST_F(ProgramTest, NormalStartKeepsItsSettingsInTheLocalStore) {
  std::unique_ptr<ChildProcess> program;
  const auto [code, run] = RunOnce(program);
  ASSERT_FALSE(run.empty()) << program->Stderr();
  EXPECT_EQ(code, 0);
  EXPECT_NE(program->Stdout().find("[PF20_STORE] INITIALIZE=PASS root=" + store_root().string() +
                                   " schema=1 areas=10 atomic_write=YES cloud_sync=NO policy_manifest=PASS\n"),
            std::string::npos)
      << program->Stdout();
  for (const char* area : {"settings", "window_layouts", "notes", "calendar", "join_log", "encounter_history",
                           "gallery_index", "browser_data", "templates", "timers"}) {
    EXPECT_TRUE(std::filesystem::is_directory(store_root() / area)) << area;
  }
  EXPECT_NE(ReadFile(store_root() / "store_manifest.txt").find("area.9=timers\n"), std::string::npos);
}

TEST_F(ProgramTest, NormalStartInitializesThePhoneAfterTheStore) {
  extra_env_ = {"QUORIX_MVP03B2B_LIVE_READONLY=1", "QUORIX_MVP03_LIVE_MESSAGING=1"};
  std::unique_ptr<ChildProcess> program;
  const auto [code, run] = RunOnce(program);
  ASSERT_FALSE(run.empty()) << program->Stderr();
  EXPECT_EQ(code, 0);
  const std::string out = program->Stdout();
  const size_t store = out.find("[PF20_STORE] INITIALIZE=PASS");
  const size_t phone = out.find(
      "TWO_PC_CHAT_ENV=REAL_QUORIX_API\nMVP03_LIVE_MESSAGING=OPT_IN\n"
      "[PF17_UI] INITIALIZE=PASS screen=HOME page=1/2 apps=12 dock=3\n");
  ASSERT_NE(store, std::string::npos) << out;
  ASSERT_NE(phone, std::string::npos) << out;
  EXPECT_LT(store, phone);
}

TEST_F(ProgramTest, SavedBrowserVolumeReachesTheAudioRoute) {
  std::filesystem::create_directories(store_root() / "settings");
  quorix_test::WriteFile(store_root() / "settings" / "wrist_home_v1", R"({"browser_volume":150})");
  ExpectVolumeAtShutdown(150);
}

TEST_F(ProgramTest, OlderSettingsAreUsedWithoutBeingWrittenBack) {
  const auto k19 = local() / "QuorixPhoneReal2PCTest" / "K19" / "data" / "v1" / "settings";
  std::filesystem::create_directories(k19);
  quorix_test::WriteFile(k19 / "wrist_home_v1", R"({"browser_volume":120})");
  ExpectVolumeAtShutdown(120);
  EXPECT_TRUE(std::filesystem::is_directory(store_root() / "settings"));
  EXPECT_FALSE(std::filesystem::exists(store_root() / "settings" / "wrist_home_v1"));
}

TEST_F(ProgramTest, EmptyLocalAppDataStopsTheStartInStageSettings) {
  std::vector<std::string> env = Environment();
  for (std::string& entry : env) {
    if (entry.rfind("LOCALAPPDATA=", 0) == 0) entry = "LOCALAPPDATA=";
  }
  auto program = ChildProcess::Start(QUORIX_EXE_PATH, {}, env);
  EXPECT_EQ(program->WaitExit(20s), 1);
  const auto runs = profile() / "Documents" / "QuorixPhone_Development";
  std::string record;
  for (const auto& e : std::filesystem::directory_iterator(runs)) record = ReadFile(e.path() / "STARTUP.safe.json");
  EXPECT_NE(record.find("\"component\":\"SETTINGS\""), std::string::npos) << record;
}

}  // namespace
