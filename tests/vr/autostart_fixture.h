#pragma once
// A simulated runtime whose registry lives in a temporary sim folder (server:
// this process), with program folders under the same temporary root.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/environment.h"
#include "test_util.h"
#include "vr/autostart_manifest.h"
#include "vr/sim/sim_runtime.h"

namespace quorix_test {

// LOCALAPPDATA in a temporary folder holding the preference `choice`
// (by default "disabled\n": a session's policy never starts a child).
class AutostartPreferenceScope {
 public:
  explicit AutostartPreferenceScope(const char* choice = "disabled\n") {
    std::filesystem::create_directories(path().parent_path());
    if (choice) WriteFile(path(), choice);
  }
  std::filesystem::path path() const { return dir_.path() / "QuorixPhone" / "startup" / "steamvr-autostart.preference"; }

 private:
  TempDir dir_;
  ScopedEnvironmentVariable variable_{u"LOCALAPPDATA", std::u16string(dir_.path().u16string())};
};

class AutostartSimTest : public ::testing::Test {
 public:
  AutostartSimTest() {
    std::filesystem::create_directories(root_.path() / "sim");
    WriteFile(root_.path() / "sim" / "server.pid", std::to_string(::getpid()));
  }

  // `name`/Quorix with its "vr_assets" folder.
  std::filesystem::path MakeProgramFolder(const std::string& name) {
    std::filesystem::create_directories(root_.path() / name / "vr_assets");
    return root_.path() / name / "Quorix";
  }

  platform::vr::Applications* Connect() {
    sim_.FindServerProcess();
    int32_t error = 0;
    EXPECT_NE(sim_.Init(platform::vr::kAppTypeBackground, &error), nullptr) << error;
    return sim_.GetApplications();
  }

  // Another copy of the program registered as its own registration does it,
  // auto-launch on; `extra` spoils its manifest. The manifest path.
  std::filesystem::path RegisterCopy(platform::vr::Applications* apps, const std::string& folder,
                                     const std::string& extra = "") {
    const std::filesystem::path exe = MakeProgramFolder(folder);
    const std::filesystem::path manifest = exe.parent_path() / kAutostartManifestFile;
    WriteFile(manifest, BuildAppManifest(exe, kAutostartAppKey, true) + extra);
    EXPECT_EQ(apps->AddApplicationManifest(manifest.string(), false), 0);
    EXPECT_EQ(apps->SetApplicationAutoLaunch(std::string(kAutostartAppKey), true), 0);
    return manifest;
  }

  // The registry as the runtime shows it.
  std::string Snapshot() {
    std::string text;
    const auto& flags = sim_.auto_launch();
    for (const auto& [key, app] : sim_.applications()) {
      text += key + "=" + app.manifest_path + (flags.count(key) && flags.at(key) ? ":on;" : ":off;");
    }
    return text;
  }

  TempDir root_;
  vr_sim::SimRuntime sim_{root_.path() / "sim"};
  platform::vr::ScopedRuntime scoped_{sim_};
  std::filesystem::path exe_ = MakeProgramFolder("a");
};

}  // namespace quorix_test
