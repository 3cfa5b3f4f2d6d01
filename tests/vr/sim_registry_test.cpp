// The simulated registry seen by several processes through the sim folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/process_handle.h"
#include "leftovers.h"
#include "test_util.h"
#include "vr/sim/sim_runtime.h"

namespace {

namespace fs = std::filesystem;
using quorix_test::WriteFile;

class SimRegistryTest : public ::testing::Test {
 protected:
  SimRegistryTest() {
    fs::create_directories(folder_);
    WriteFile(folder_ / "server.pid", std::to_string(::getpid()));
  }
  platform::vr::Applications* Connect(vr_sim::SimRuntime& sim) {
    sim.FindServerProcess();
    EXPECT_NE(sim.Init(platform::vr::kAppTypeBackground, nullptr), nullptr);
    return sim.GetApplications();
  }
  std::string Manifest(const std::string& key) {
    WriteFile(folder_ / key, "{\"applications\":[{\"app_key\":\"" + key + "\"}]}");
    return (folder_ / key).string();
  }

  quorix_test::TempDir root_;
  fs::path folder_ = root_.path() / "sim";
};

TEST_F(SimRegistryTest, TwoProcessesAddingAtOnceLoseNothing) {
  std::vector<std::unique_ptr<quorix_test::ChildProcess>> children;
  for (const char* prefix : {"one", "two"}) {
    std::vector<std::string> env = {"QUORIX_VR_SIM_DIR=" + folder_.string()};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    children.push_back(quorix_test::ChildProcess::Start(QUORIX_SIM_REGISTRY_CHILD, {prefix, "50"}, env));
  }
  for (auto& child : children) EXPECT_EQ(child->WaitExit(std::chrono::seconds(120)), 0) << child->Stderr();
  vr_sim::SimRuntime sim(folder_);
  EXPECT_EQ(sim.applications().size(), 100u);
}

// Each change replaces the registry file; what a process killed part way left
// beside it never fails a later change.
TEST_F(SimRegistryTest, LeftoversOfAKilledChangeNeverFailTheNext) {
  vr_sim::SimRuntime sim(folder_);
  platform::vr::Applications* apps = Connect(sim);
  ASSERT_EQ(apps->AddApplicationManifest(Manifest("first"), false), 0);
  const std::string second = Manifest("second");  // before the seeds, which check the folder after
  const quorix_test::Leftovers leftovers(folder_ / "applications.json");
  ASSERT_EQ(apps->AddApplicationManifest(second, false), 0);
  vr_sim::SimRuntime reader(folder_);
  EXPECT_EQ(reader.applications().size(), 2u);
  leftovers.ExpectOnlyEndedWritersRemoved();
}

TEST_F(SimRegistryTest, TemporaryEntriesEndWithTheirServerAndADamagedFileFailsEveryCall) {
  vr_sim::SimRuntime first(folder_);
  platform::vr::Applications* apps = Connect(first);
  ASSERT_EQ(apps->AddApplicationManifest(Manifest("temp"), true), 0);
  ASSERT_EQ(apps->AddApplicationManifest(Manifest("kept"), false), 0);
  ASSERT_EQ(apps->SetApplicationAutoLaunch("kept", true), 0);
  platform::ProcessHandle server;
  ASSERT_TRUE(server.Start("/bin/sleep", {"600"}));
  WriteFile(folder_ / "server.pid", std::to_string(server.pid()));
  vr_sim::SimRuntime next_server(folder_);
  platform::vr::Applications* next = Connect(next_server);
  EXPECT_FALSE(next->IsApplicationInstalled("temp"));
  // The auto-launch flag belongs to the key: it outlives the manifest.
  ASSERT_EQ(next->RemoveApplicationManifest(Manifest("kept")), 0);
  EXPECT_FALSE(next->GetApplicationAutoLaunch("kept"));
  ASSERT_EQ(next->AddApplicationManifest(Manifest("kept"), false), 0);
  EXPECT_TRUE(next->GetApplicationAutoLaunch("kept"));

  WriteFile(folder_ / "applications.json", "{\"apps\":[");
  int32_t error = 0;
  char buffer[8];
  EXPECT_FALSE(next->IsApplicationInstalled("kept") || next->GetApplicationAutoLaunch("kept"));
  EXPECT_EQ(next->GetApplicationPropertyString("kept", 13, buffer, sizeof buffer, &error), 0u);
  EXPECT_EQ(error, platform::vr::kErrorFile);
  EXPECT_EQ(next->AddApplicationManifest(Manifest("new"), false), platform::vr::kErrorFile);
  EXPECT_EQ(next->SetApplicationAutoLaunch("kept", false), platform::vr::kErrorFile);
  EXPECT_EQ(quorix_test::ReadFile(folder_ / "applications.json"), "{\"apps\":[");
  EXPECT_TRUE(server.TerminateWithCode(0));
}

}  // namespace
