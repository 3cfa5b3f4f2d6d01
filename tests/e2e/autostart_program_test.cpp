// The autostart options and the automatic registration of a copy of the
// built program, against a simulated runtime folder whose registry all its
// processes share.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_util.h"
#include "vr/sim/sim_runtime.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using quorix_test::ChildProcess;
using quorix_test::ReadFile;
using quorix_test::WaitFor;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class AutostartProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"run", "home", "sim", "local", "app"}) fs::create_directories(root_.path() / dir);
    ::chmod((root_.path() / "run").c_str(), 0700);
    const fs::path built = QUORIX_EXE_PATH;
    std::error_code error;
    fs::create_hard_link(built, exe_, error);
    if (error) fs::copy_file(built, exe_);
    for (const char* data : {"assets", "vr_assets"}) {
      fs::copy(built.parent_path() / data, exe_.parent_path() / data, fs::copy_options::recursive);
    }
    fs::remove(exe_.parent_path() / "vr_assets" / "quorix.autostart.vrmanifest");
    server_ = ChildProcess::Start("/bin/sleep", {"600"}, {});
    quorix_test::WriteFile(root_.path() / "sim" / "server.pid", std::to_string(server_->pid()));
  }

  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args) {
    std::vector<std::string> env = {
        "HOME=" + (root_.path() / "home").string(),
        "USERPROFILE=" + (root_.path() / "profile").string(),
        "LOCALAPPDATA=" + (root_.path() / "local").string(),
        "XDG_RUNTIME_DIR=" + (root_.path() / "run").string(),
        "QUORIX_VR_SIM_DIR=" + (root_.path() / "sim").string(),
        "PATH=/usr/bin:/bin",
    };
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return ChildProcess::Start(exe_, args, env);
  }

  // Runs one option to its end: the exit code and standard output.
  std::pair<int, std::string> Run(const char* option) {
    auto program = Start({option});
    const std::optional<int> code = program->WaitExit(120s);
    EXPECT_TRUE(code.has_value()) << option;
    return {code.value_or(-1), program->Stdout()};
  }

  fs::path Preference() const {
    return root_.path() / "local" / "QuorixPhone" / "startup" / "steamvr-autostart.preference";
  }

  quorix_test::TempDir root_;
  fs::path exe_ = root_.path() / "app" / "Quorix";
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(AutostartProgramTest, TheOptionsRegisterVerifyAndUnregister) {
  auto [code, out] = Run("--register-autostart");
  EXPECT_EQ(code, 0) << out;
  EXPECT_TRUE(Has(out, "{\"steamvr_autostart_enabled\":true,\"configuration_verified\":true,")) << out;
  {
    vr_sim::SimRuntime sim(root_.path() / "sim");
    sim.FindServerProcess();
    const auto& apps = sim.applications();
    ASSERT_EQ(apps.count("quorix.phone"), 1u);
    const vr_sim::SimApplication& app = apps.at("quorix.phone");
    EXPECT_EQ(app.manifest_path, (exe_.parent_path() / "vr_assets" / "quorix.autostart.vrmanifest").string());
    EXPECT_FALSE(app.temporary);
    EXPECT_TRUE(sim.auto_launch().at("quorix.phone"));
  }
  EXPECT_EQ(Run("--verify-autostart").first, 76);
  EXPECT_EQ(Run("--unregister-autostart").first, 0);
  EXPECT_EQ(Run("--verify-autostart-off").first, 64);
  EXPECT_EQ(ReadFile(Preference()), "disabled\n");

  fs::remove(Preference());
  fs::remove(root_.path() / "sim" / "server.pid");
  EXPECT_EQ(Run("--register-autostart"), std::make_pair(2, std::string("START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n")));
  EXPECT_FALSE(fs::exists(Preference()));
  EXPECT_EQ(Run("--verify-autostart").first, 2);
}

TEST_F(AutostartProgramTest, ANormalStartWithoutAChoiceRegistersThenStartsTheSession) {
  auto program = Start({});
  fs::path run;
  ASSERT_TRUE(WaitFor(
      [&] {
        std::error_code ec;
        for (const auto& e :
             fs::directory_iterator(root_.path() / "profile" / "Documents" / "QuorixPhone_Development", ec)) {
          if (fs::exists(e.path() / "STARTUP.safe.json")) run = e.path();
        }
        return !run.empty();
      },
      30s))
      << program->Stderr();
  const fs::path events = run / "events.private.jsonl";
  EXPECT_TRUE(WaitFor([&] { return Has(ReadFile(events), "\"event\":\"STEAMVR_AUTOSTART_REGISTERED\""); }, 120s))
      << ReadFile(events);
  EXPECT_TRUE(WaitFor([&] { return Has(ReadFile(events), "\"event\":\"VR_MVP_SESSION_READY\""); }, 60s));
  quorix_test::WriteFile(run / "STOP.requested", "");
  EXPECT_EQ(program->WaitExit(60s), 0) << program->Stderr();
  EXPECT_FALSE(fs::exists(Preference()));
}

}  // namespace
