// The built program with a simulated VR runtime folder: it connects only
// while the folder names a live server process, and writes its VR
// statistics when it stops.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>

#include <string>
#include <vector>

#include "program_env.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;
using quorix_test::ChildProcess;
using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WaitFor;

bool Has(const std::string& events, const std::string& text) { return events.find(text) != std::string::npos; }

class VrProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"run", "home", "sim"}) std::filesystem::create_directories(root_.path() / dir);
    ::chmod((root_.path() / "run").c_str(), 0700);
    // Automatic registration is off: no configuration child may ever start.
    std::filesystem::create_directories(root_.path() / "local" / "QuorixPhone" / "startup");
    quorix_test::WriteFile(root_.path() / "local" / "QuorixPhone" / "startup" / "steamvr-autostart.preference",
                           "disabled\n");
  }

  std::unique_ptr<ChildProcess> Start() {
    return ChildProcess::Start(QUORIX_EXE_PATH, {},
                               quorix_test::ProgramEnvironment(root_.path(),
                                                               {"QUORIX_VR_SIM_DIR=" + (root_.path() / "sim").string()}));
  }
  std::filesystem::path WaitForRun() const { return quorix_test::WaitForProgramRun(root_.path()); }

  TempDir root_;
};

// Stops a started program and returns its event log.
std::string StopAndReadEvents(ChildProcess& program, const std::filesystem::path& run) {
  quorix_test::WriteFile(run / "STOP.requested", "");
  EXPECT_EQ(program.WaitExit(30s), 0) << program.Stderr();
  return ReadFile(run / "events.private.jsonl");
}

TEST_F(VrProgramTest, ConnectsOnlyWhileTheFolderNamesALiveServer) {
  auto program = Start();
  auto run = WaitForRun();
  ASSERT_FALSE(run.empty()) << program->Stderr();
  // The pass that sees the stop file still makes its VR attempt.
  std::string events = StopAndReadEvents(*program, run);
  EXPECT_TRUE(Has(events, "\"event\":\"UI3_UNIFIED_STOPPED\""));
  for (const char* prefix : {"\"event\":\"VR_", "\"event\":\"BROWSER_VR_", "\"event\":\"STEAMVR_"}) {
    EXPECT_FALSE(Has(events, prefix)) << prefix;
  }

  std::filesystem::remove_all(root_.path() / "profile");
  auto server = ChildProcess::Start("/bin/sleep", {"120"}, {});
  quorix_test::WriteFile(root_.path() / "sim" / "server.pid", std::to_string(server->pid()));
  program = Start();
  run = WaitForRun();
  ASSERT_FALSE(run.empty()) << program->Stderr();
  ASSERT_TRUE(WaitFor([&] { return Has(ReadFile(run / "events.private.jsonl"), "VR_MVP_SESSION_READY"); }, 30s));
  events = StopAndReadEvents(*program, run);
  EXPECT_TRUE(Has(events, "\"event\":\"VR_MVP_SESSION_READY\",\"n\":10,"));
  EXPECT_TRUE(Has(events, "\"event\":\"VR_SURFACE_ALLOCATIONS\",\"n\":20,"));
  EXPECT_FALSE(Has(events, "\"event\":\"VR_MVP_INIT_FAILED\""));
}

size_t CountOf(const std::string& events, const std::string& text) {
  size_t n = 0;
  for (size_t at = events.find(text); at != std::string::npos; at = events.find(text, at + 1)) ++n;
  return n;
}

TEST_F(VrProgramTest, ReconnectsAfterTheServerProcessIsReplaced) {
  auto server = ChildProcess::Start("/bin/sleep", {"120"}, {});
  const auto pid_file = root_.path() / "sim" / "server.pid";
  quorix_test::WriteFile(pid_file, std::to_string(server->pid()));
  auto program = Start();
  const auto run = WaitForRun();
  ASSERT_FALSE(run.empty()) << program->Stderr();
  const auto events = [&] { return ReadFile(run / "events.private.jsonl"); };
  const std::string ready = "\"event\":\"VR_MVP_SESSION_READY\"";
  ASSERT_TRUE(WaitFor([&] { return CountOf(events(), ready) == 1; }, 30s));
  server->Signal(SIGKILL);
  server->WaitExit(10s);
  ASSERT_TRUE(WaitFor([&] { return Has(events(), "\"event\":\"VR_MVP_RECONNECT_WAIT\""); }, 30s));
  auto next = ChildProcess::Start("/bin/sleep", {"120"}, {});
  quorix_test::WriteFile(pid_file, std::to_string(next->pid()));
  ASSERT_TRUE(WaitFor([&] { return CountOf(events(), ready) == 2; }, 30s));
  StopAndReadEvents(*program, run);
}

}  // namespace
