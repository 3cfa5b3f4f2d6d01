// The VR layer's none backend and the simulated runtime behind it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/process.h"
#include "test_util.h"
#include "vr/sim/sim_runtime.h"

namespace {

namespace pvr = platform::vr;
using quorix_test::ChildProcess;
using quorix_test::TempDir;
using quorix_test::WriteFile;
using vr_sim::SimRuntime;

TEST(NoneRuntimeTest, NeverConnectsAndShutsDownHarmlessly) {
  pvr::NoneRuntime none;
  int32_t error = 0;
  EXPECT_EQ(none.Init(pvr::kAppTypeOverlay, &error), nullptr);
  EXPECT_NE(error, 0);
  EXPECT_TRUE(!none.GetOverlay() && !none.GetInput() && !none.GetApplications());
  std::shared_ptr<pvr::GpuDevice> device;
  EXPECT_NE(none.CreateGpuDevice(0, &device), 0);
  none.Shutdown();
  none.Shutdown();
  EXPECT_NE(dynamic_cast<pvr::NoneRuntime*>(&pvr::CurrentRuntime()), nullptr);  // the default
}

TEST(NoneRuntimeTest, FindsTheServerByNameInAnyCase) {
  TempDir root;
  std::filesystem::create_directories(root.path() / "4242");
  WriteFile(root.path() / "4242" / "cmdline", std::string("/opt/rt/bin/VRSERVER\0--keepalive\0", 33));
  const std::filesystem::path saved = platform::ProcRoot();
  platform::SetProcRootForTesting(root.path());
  pvr::NoneRuntime none;
  EXPECT_EQ(none.FindServerProcess(), 4242u);
  std::filesystem::remove_all(root.path() / "4242");
  EXPECT_EQ(none.FindServerProcess(), 0u);
  platform::SetProcRootForTesting(saved);
}

class SimRuntimeTest : public ::testing::Test {
 protected:
  SimRuntimeTest() : scoped_(sim_) {}
  pvr::System* Connect() {
    int32_t error = -1;
    pvr::System* system = sim_.Init(pvr::kAppTypeOverlay, &error);
    EXPECT_EQ(error, 0);
    return system;
  }
  SimRuntime sim_;
  pvr::ScopedRuntime scoped_;
};

TEST_F(SimRuntimeTest, OneConnectionAtATime) {
  sim_.StartServer(99);
  ASSERT_NE(Connect(), nullptr);
  int32_t error = 0;
  EXPECT_EQ(sim_.Init(pvr::kAppTypeOverlay, &error), nullptr);
  EXPECT_EQ(error, pvr::kInitErrorAlreadyConnected);
  sim_.Shutdown();
  EXPECT_NE(Connect(), nullptr);
}

TEST_F(SimRuntimeTest, KeysAreUniqueAndHandlesNeverRepeatAcrossRestarts) {
  sim_.StartServer(10);
  ASSERT_NE(Connect(), nullptr);
  pvr::Overlay* overlay = sim_.GetOverlay();
  uint64_t first = 0, again = 0, second = 0;
  ASSERT_EQ(overlay->CreateOverlay("a", "A", &first), 0);
  EXPECT_EQ(overlay->CreateOverlay("a", "A", &again), pvr::kErrorKeyInUse);
  EXPECT_EQ(again, 0u);  // out-values only on success
  ASSERT_EQ(overlay->DestroyOverlay(first), 0);
  sim_.RestartServer(11);
  ASSERT_NE(Connect(), nullptr);
  ASSERT_EQ(sim_.GetOverlay()->CreateOverlay("a", "A", &second), 0);
  EXPECT_NE(second, first);
}

TEST_F(SimRuntimeTest, StoppedServerLeavesOldInterfacesFailingAndDropsTemporaryApps) {
  TempDir dir;
  WriteFile(dir.path() / "temp.vrmanifest", R"({"applications":[{"app_key":"t","binary_path_linux":"../bin/./Q"}]})");
  WriteFile(dir.path() / "kept.vrmanifest", R"({"applications":[{"app_key":"k"}]})");
  sim_.StartServer(10);
  ASSERT_NE(Connect(), nullptr);
  pvr::Overlay* overlay = sim_.GetOverlay();
  pvr::Applications* apps = sim_.GetApplications();
  uint64_t handle = 0;
  ASSERT_EQ(overlay->CreateOverlay("phone", "P", &handle), 0);
  ASSERT_EQ(apps->AddApplicationManifest((dir.path() / "temp.vrmanifest").string(), true), 0);
  ASSERT_EQ(apps->AddApplicationManifest((dir.path() / "kept.vrmanifest").string(), false), 0);
  char buffer[256] = {};
  int32_t error = -1;
  const uint32_t length = apps->GetApplicationPropertyString("t", pvr::kAppPropertyBinaryPath, buffer, 256, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(std::string(buffer), (dir.path().parent_path() / "bin" / "Q").string());
  EXPECT_EQ(length, std::string(buffer).size() + 1);

  sim_.StopServer();
  EXPECT_EQ(sim_.overlay_count(), 0u);
  EXPECT_EQ(overlay->SetWidthInMeters(handle, 1.0f), pvr::kErrorNotConnected);
  EXPECT_EQ(overlay->DestroyOverlay(handle), pvr::kErrorNotConnected);
  EXPECT_FALSE(apps->IsApplicationInstalled("k"));  // dead interface
  sim_.StartServer(12);
  ASSERT_NE(Connect(), nullptr);
  EXPECT_FALSE(sim_.GetApplications()->IsApplicationInstalled("t"));
  EXPECT_TRUE(sim_.GetApplications()->IsApplicationInstalled("k"));
  EXPECT_EQ(sim_.GetOverlay()->SetWidthInMeters(handle, 1.0f), pvr::kErrorInvalidHandle);
}

TEST_F(SimRuntimeTest, FolderPresenceFollowsTheProcessInServerPid) {
  TempDir dir;
  SimRuntime folder_sim(dir.path());
  EXPECT_EQ(folder_sim.FindServerProcess(), 0u);  // no file
  auto child = ChildProcess::Start("/bin/sleep", {"30"}, {});
  WriteFile(dir.path() / "server.pid", std::to_string(child->pid()) + "\n");
  EXPECT_EQ(folder_sim.FindServerProcess(), static_cast<uint32_t>(child->pid()));
  int32_t error = 0;
  ASSERT_NE(folder_sim.Init(pvr::kAppTypeOverlay, &error), nullptr);
  child->Signal(SIGKILL);
  ASSERT_TRUE(child->WaitExit(std::chrono::seconds(20)).has_value());
  EXPECT_EQ(folder_sim.FindServerProcess(), 0u);
  EXPECT_FALSE(folder_sim.connected());
  for (const char* text : {"", "abc", "12x", "0"}) {
    WriteFile(dir.path() / "server.pid", text);
    EXPECT_EQ(folder_sim.FindServerProcess(), 0u) << text;
  }
}

}  // namespace
