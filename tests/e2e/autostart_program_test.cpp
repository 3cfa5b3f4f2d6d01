// The autostart options and the automatic registration of a copy of the
// built program, against a simulated runtime folder whose registry all its
// processes share.
#include <gtest/gtest.h>
#include <sys/stat.h>


#include "program_env.h"
#include "test_util.h"
#include "vr/sim/sim_runtime.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using quorix_test::ReadFile;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class AutostartProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"run", "home", "sim", "local", "app"}) fs::create_directories(root_.path() / dir);
    ::chmod((root_.path() / "run").c_str(), 0700);
    const fs::path built = QUORIX_EXE_PATH;
    fs::copy_file(built, exe_);
    for (const char* data : {"assets", "vr_assets"}) fs::copy(built.parent_path() / data, app_ / data, fs::copy_options::recursive);
    quorix_test::WriteFile(root_.path() / "sim" / "server.pid", std::to_string(server_->pid()));
  }

  std::unique_ptr<quorix_test::ChildProcess> Start(const std::vector<std::string>& args) {
    return quorix_test::ChildProcess::Start(
        exe_, args, quorix_test::ProgramEnvironment(root_.path(), {"QUORIX_VR_SIM_DIR=" + (root_.path() / "sim").string()}));
  }

  // Runs one option to its end: the exit code and standard output.
  std::pair<int, std::string> Run(const char* option) {
    auto program = Start({option});
    return {program->WaitExit(120s).value_or(-1), program->Stdout()};
  }

  quorix_test::TempDir root_;
  fs::path app_ = root_.path() / "app";
  fs::path exe_ = app_ / "Quorix";
  fs::path preference_ = root_.path() / "local" / "QuorixPhone" / "startup" / "steamvr-autostart.preference";
  std::unique_ptr<quorix_test::ChildProcess> server_ = quorix_test::ChildProcess::Start("/bin/sleep", {"600"}, {});
};

TEST_F(AutostartProgramTest, TheOptionsRegisterVerifyAndUnregister) {
  const auto [code, out] = Run("--register-autostart");
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(Has(out, "{\"steamvr_autostart_enabled\":true,\"configuration_verified\":true,")) << out;
  {
    vr_sim::SimRuntime sim(root_.path() / "sim");
    sim.FindServerProcess();
    ASSERT_EQ(sim.applications().count("quorix.phone"), 1u);
    const vr_sim::SimApplication& app = sim.applications().at("quorix.phone");
    EXPECT_EQ(app.manifest_path, (app_ / "vr_assets" / "quorix.autostart.vrmanifest").string());
    EXPECT_TRUE(!app.temporary && sim.auto_launch().at("quorix.phone"));
  }
  EXPECT_EQ(Run("--verify-autostart").first, 76);
  EXPECT_EQ(Run("--unregister-autostart").first, 0);
  EXPECT_EQ(Run("--verify-autostart-off").first, 64);
  fs::remove(preference_);
  fs::remove(root_.path() / "sim" / "server.pid");
  EXPECT_EQ(Run("--register-autostart"), std::pair(2, std::string("START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n")));
  EXPECT_FALSE(fs::exists(preference_));
  EXPECT_EQ(Run("--verify-autostart").first, 2);
}

TEST_F(AutostartProgramTest, ANormalStartWithoutAChoiceRegistersThenStartsTheSession) {
  auto program = Start({});
  const fs::path runs = root_.path() / "profile" / "Documents" / "QuorixPhone_Development";
  fs::path events;
  auto logged = [&](const char* name) {
    std::error_code ec;
    for (const auto& run : fs::directory_iterator(runs, ec)) events = run.path() / "events.private.jsonl";
    return Has(ReadFile(events), std::string("\"event\":\"") + name + "\"");
  };
  EXPECT_TRUE(quorix_test::WaitFor([&] { return logged("STEAMVR_AUTOSTART_REGISTERED"); }, 120s)) << program->Stderr();
  EXPECT_TRUE(quorix_test::WaitFor([&] { return logged("VR_MVP_SESSION_READY"); }, 60s));
  quorix_test::WriteFile(events.parent_path() / "STOP.requested", "");
  EXPECT_EQ(program->WaitExit(60s), 0) << program->Stderr();
  EXPECT_FALSE(fs::exists(preference_));
}

}  // namespace
