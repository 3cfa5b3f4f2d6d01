// The built program, started as a user would start it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <array>
#include <string>
#include <vector>

#include "leftovers.h"
#include "program_env.h"
#include "test_util.h"
#include "x_driver.h"
// Last: Xlib's macros.
#include <X11/keysym.h>

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

  std::vector<std::string> Environment() const { return quorix_test::ProgramEnvironment(home_.path(), extra_env_); }

  // "NAME=VALUE" entries added to the environment of later starts.
  std::vector<std::string> extra_env_;

  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args = {}) {
    return ChildProcess::Start(QUORIX_EXE_PATH, args, Environment());
  }

  std::filesystem::path WaitForReadyRun() const { return quorix_test::WaitForProgramRun(home_.path()); }

  TempDir home_;
};

// One normal run with both live opt-ins: it keeps looping until the stop file,
// initializes the local store before the phone and leaves the exit record.
TEST_F(ProgramTest, StopFileEndsANormalRunThatInitializedTheStoreThenThePhone) {
  extra_env_ = {"QUORIX_MVP03B2B_LIVE_READONLY=1", "QUORIX_MVP03_LIVE_MESSAGING=1"};
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

  const std::string out = program->Stdout();
  const size_t store = out.find("[PF20_STORE] INITIALIZE=PASS root=" + store_root().string() +
                                " schema=1 areas=10 atomic_write=YES cloud_sync=NO policy_manifest=PASS\n");
  const size_t phone = out.find(
      "TWO_PC_CHAT_ENV=REAL_QUORIX_API\nMVP03_LIVE_MESSAGING=OPT_IN\n"
      "[PF17_UI] INITIALIZE=PASS screen=HOME page=1/2 apps=12 dock=3\n");
  ASSERT_NE(store, std::string::npos) << out;
  ASSERT_NE(phone, std::string::npos) << out;
  EXPECT_LT(store, phone);
  for (const char* area : {"settings", "window_layouts", "notes", "calendar", "join_log", "encounter_history",
                           "gallery_index", "browser_data", "templates", "timers"}) {
    EXPECT_TRUE(std::filesystem::is_directory(store_root() / area)) << area;
  }
  EXPECT_NE(ReadFile(store_root() / "store_manifest.txt").find("area.9=timers\n"), std::string::npos);
}

// The arguments that start a program as the first process of a pid namespace
// of its own, so that it gets pid 1 on every start (as a containerised
// desktop app's program does); empty where no such namespace can be made.
std::vector<std::string> PidNamespaceLauncher() {
  for (std::vector<std::string> launcher : {std::vector<std::string>{"--pid", "--fork", "--kill-child"},
                                            {"--user", "--map-root-user", "--pid", "--fork", "--kill-child"}}) {
    std::vector<std::string> probe = launcher;
    probe.insert(probe.end(), {"/bin/sh", "-c", "test $$ -eq 1"});
    if (ChildProcess::Start("/usr/bin/unshare", probe, {})->WaitExit(20s) == 0) return launcher;
  }
  return {};
}

// LAST_RUN.txt beside the program is replaced by every run. A run killed part
// way leaves its temporary file there, named after its pid; the next start
// with that pid still reaches READY, and what ended runs left goes, that of
// runs with its own pid too.
TEST_F(ProgramTest, AStartWithThePidOfAKilledRunReachesReady) {
  std::vector<std::string> args = PidNamespaceLauncher();
  if (args.empty()) GTEST_SKIP() << "no pid namespace can be made here";
  args.push_back(QUORIX_EXE_PATH);
  const std::filesystem::path beside = std::filesystem::path(QUORIX_EXE_PATH).parent_path();
  const std::string dead = std::to_string(quorix_test::EndedProcessId());
  // What runs with pid 1 left (files, and folders at the first names its
  // records take, which are never removed but passed over), and what an ended
  // run with another pid left.
  std::vector<std::string> ended = {"LAST_RUN.txt.tmp.1", "LAST_RUN.txt.tmp." + dead,
                                    "LAST_RUN.txt.tmp." + dead + ".1"};
  std::vector<std::string> folders;
  for (int count = 1; count <= 3; ++count) folders.push_back("LAST_RUN.txt.tmp.1." + std::to_string(count));
  for (int count = 4; count <= 8; ++count) ended.push_back("LAST_RUN.txt.tmp.1." + std::to_string(count));
  struct RemoveSeeds {
    std::vector<std::filesystem::path> paths;
    ~RemoveSeeds() {
      std::error_code ec;
      for (const auto& path : paths) std::filesystem::remove(path, ec);
    }
  } seeds;
  for (const auto& name : ended) {
    seeds.paths.push_back(beside / name);
    quorix_test::WriteFile(beside / name, "leftover");
  }
  for (const auto& name : folders) {
    seeds.paths.push_back(beside / name);
    std::filesystem::create_directory(beside / name);
  }

  auto program = ChildProcess::Start("/usr/bin/unshare", args, Environment());
  const auto run = WaitForReadyRun();
  ASSERT_FALSE(run.empty()) << program->Stderr();
  EXPECT_EQ(run.filename().string().substr(run.filename().string().size() - 2), "_1");  // its pid, 1
  EXPECT_NE(ReadFile(run / "STARTUP.safe.json").find("\"stage\":\"READY\""), std::string::npos);
  EXPECT_EQ(ReadFile(beside / "LAST_RUN.txt"), kBom + run.string());
  quorix_test::WriteFile(run / "STOP.requested", "");
  EXPECT_EQ(program->WaitExit(20s), 0) << program->Stderr();
  for (const auto& name : ended) EXPECT_FALSE(std::filesystem::exists(beside / name)) << name;
  for (const auto& name : folders) EXPECT_TRUE(std::filesystem::is_directory(beside / name)) << name;
}

// SIGTERM and SIGINT run the normal shutdown; while the first run lives, a
// second start asks it to show itself and exits without a run of its own.
TEST_F(ProgramTest, TerminationSignalsRunTheNormalShutdownAndASecondStartOnlyAsksToShow) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    auto program = Start();
    const auto run = WaitForReadyRun();
    ASSERT_FALSE(run.empty()) << program->Stderr();
    if (signal_number == SIGTERM) {
      EXPECT_EQ(Start()->WaitExit(20s), 0);
      EXPECT_FALSE(program->WaitExit(100ms).has_value());
      int runs = 0;
      for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(run.parent_path())) ++runs;
      EXPECT_EQ(runs, 1);
    }
    program->Signal(signal_number);
    EXPECT_EQ(program->WaitExit(20s), 0) << program->Stderr();
    EXPECT_NE(ReadFile(run / "EXIT.safe.json").find("\"normal_exit\":true"), std::string::npos);
    std::filesystem::remove_all(profile());
  }
}

// The modes that only check something exit with their code, make no run of
// their own and never pretend to pass; a folder that cannot be made fails
// with a line, not a crash.
TEST_F(ProgramTest, OneShotModesGiveTheirExitCodesAndNeverPretendToPass) {
  const auto existing = home_.path() / "existing";
  std::filesystem::create_directories(existing);
  std::filesystem::create_directories(home_.path() / "pkg");
  quorix_test::WriteFile(home_.path() / "plainfile", "");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;  // a part of standard output, or all of it when `whole`
    bool whole;
  };
  const Case cases[] = {
      {{"--ui3-owner-check", existing.string()}, 3, "", false},
      {{"--ui3-owner-check", (home_.path() / "plainfile" / "sub").string()}, 1, "UI3_OWNER_CHECK_FAILED", false},
      {{"--ui33-checks", (home_.path() / "out").string()}, 1, "not available", false},
      {{"--ui45-package-check", (home_.path() / "pkg").string()}, 3, "", false},
      {{"--ui40-browser-audio-guard"}, 1, "", false},
      {{"--register-autostart"}, 2, "START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    auto program = Start(c.args);
    EXPECT_EQ(program->WaitExit(20s), c.code);
    const std::string out = program->Stdout();
    EXPECT_TRUE(c.whole ? out == c.out : out.find(c.out) != std::string::npos) << out;
  }
  EXPECT_TRUE(std::filesystem::is_empty(existing));
  EXPECT_FALSE(std::filesystem::exists(profile() / "Documents"));
}

TEST_F(ProgramTest, OwnerCheckModeRunsInItsFolderUntilTheStopFile) {
  const auto dir = home_.path() / "owner" / "check";
  auto program = Start({"--ui3-owner-check", dir.string()});
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "RUN.txt"); }, 20s));
  const std::string run_txt = ReadFile(dir / "RUN.txt");
  ASSERT_EQ(run_txt.rfind(kBom, 0), 0u);
  const std::filesystem::path run = run_txt.substr(kBom.size());
  EXPECT_EQ(run.parent_path(), dir / "Documents" / "QuorixPhone_Development");
  quorix_test::WriteFile(run / "STOP.requested", "");
  EXPECT_EQ(program->WaitExit(20s), 0);
}

// The browser volume at shutdown comes from the store, else from the older
// settings, which are not written back.
TEST_F(ProgramTest, SavedOrOlderBrowserVolumeReachesTheAudioRoute) {
  struct Case {
    std::filesystem::path folder;
    int percent;
  };
  const Case cases[] = {{store_root() / "settings", 150},
                        {local() / "QuorixPhoneReal2PCTest" / "K19" / "data" / "v1" / "settings", 120}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    std::filesystem::remove_all(profile());
    std::filesystem::remove_all(local());
    std::filesystem::create_directories(c.folder);
    quorix_test::WriteFile(c.folder / "wrist_home_v1", "{\"browser_volume\":" + std::to_string(c.percent) + "}");
    auto program = Start();
    const auto run = WaitForReadyRun();
    ASSERT_FALSE(run.empty()) << program->Stderr();
    quorix_test::WriteFile(run / "STOP.requested", "");
    EXPECT_EQ(program->WaitExit(20s), 0);
    EXPECT_NE(ReadFile(run / "events.private.jsonl")
                  .find("\"event\":\"BROWSER_VOLUME_PERCENT\",\"n\":" + std::to_string(c.percent) + ","),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(store_root() / "settings"));
    EXPECT_EQ(std::filesystem::exists(store_root() / "settings" / "wrist_home_v1"), c.percent == 150);
  }
}

// A start that cannot go on tells the person at the desktop in a dialog
// (closed as a person would: a key press, or the window's close) and still
// writes its line; without a display only the line is left. Another client
// running refuses the start with 2; a failing stage (an empty LOCALAPPDATA
// stops stage SETTINGS) ends it with 1 after its records.
TEST_F(ProgramTest, AStartThatCannotGoOnShowsItsMessageAndExits) {
  const auto sibling = home_.path() / "QuorixDesktopTestClient";
  std::filesystem::copy_file("/bin/sleep", sibling);
  struct Case {
    const char* name;
    bool another_client;
    bool display;
    bool close_by_key;  // else the window's close
    int code;
    const char* text;
  } cases[] = {
      {"another client", true, true, true, 2, "Close the previous Quorix client first."},
      {"another client, no display", true, false, false, 2, "Close the previous Quorix client first."},
      {"failed stage", false, true, false, 1, "Quorix could not finish starting. Collect the safe evidence."},
      {"failed stage, no display", false, false, false, 1,
       "Quorix could not finish starting. Collect the safe evidence."},
  };
  quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.display && !server.running()) {
      ADD_FAILURE() << "no private X server: " << server.failure();
      continue;
    }
    std::filesystem::remove_all(profile());
    std::unique_ptr<ChildProcess> client;
    if (c.another_client) {
      client = ChildProcess::Start(sibling, {"30"}, {});
      ASSERT_TRUE(WaitFor(
          [&] { return ReadFile("/proc/" + std::to_string(client->pid()) + "/cmdline").size() > 0; }, 5s));
    }
    std::vector<std::string> env = Environment();
    for (std::string& entry : env) {
      if (!c.another_client && entry.starts_with("LOCALAPPDATA=")) entry = "LOCALAPPDATA=";
    }
    if (!c.display) std::erase_if(env, [](const std::string& entry) { return entry.starts_with("DISPLAY="); });
    auto program = ChildProcess::Start(QUORIX_EXE_PATH, {}, env);

    if (c.display) {
      quorix_test::XDriver x(server.display());
      ASSERT_TRUE(x.ok());
      std::vector<unsigned long> dialogs;
      ASSERT_TRUE(WaitFor([&] { return (dialogs = x.ViewableWindowsTitled("Quorix")).size() == 1; }, 30s))
          << program->Stderr();
      // It waits for the person.
      EXPECT_FALSE(program->WaitExit(100ms).has_value());
      EXPECT_NE(program->Stderr().find(c.text), std::string::npos);
      if (c.close_by_key) {
        // Keys go to the window under the pointer on a server without a window manager.
        const std::array<int, 4> at = x.Geometry(dialogs[0]);
        x.MovePointer(at[0] + at[2] / 2, at[1] + 5);
        x.Chord({XK_Return});
      } else {
        x.Close(dialogs[0]);
      }
    }
    EXPECT_EQ(program->WaitExit(30s), c.code);
    EXPECT_NE(program->Stderr().find(std::string("Quorix: ") + c.text), std::string::npos) << program->Stderr();
    if (c.another_client) {
      EXPECT_FALSE(std::filesystem::exists(profile() / "Documents"));
      continue;
    }
    std::string record;
    for (const auto& e : std::filesystem::directory_iterator(profile() / "Documents" / "QuorixPhone_Development")) {
      record = ReadFile(e.path() / "STARTUP.safe.json");
    }
    EXPECT_NE(record.find("\"component\":\"SETTINGS\""), std::string::npos) << record;
  }
}

}  // namespace
