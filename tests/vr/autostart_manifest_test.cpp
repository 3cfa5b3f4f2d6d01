// Manifest texts, the helper readings and registration with its rollback
// against a simulated registry in a temporary folder.
#include "vr/autostart_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "autostart_fixture.h"
#include "core/json.h"
#include "vr/autostart.h"
#include "vr_sim_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace pvr = platform::vr;
using quorix_test::AutostartSimTest;
using quorix_test::ReadFile;
using quorix_test::WriteFile;

const std::string kKey(kAutostartAppKey);
const std::string kLegacy(kLegacyUnifiedAppKey);

bool Parses(const std::string& text) {
  JsonValue value;
  return ParseJson(text, value);
}

TEST(AutostartManifest, GeneratedAndBuiltinTexts) {
  const fs::path exe = "/opt/q\"x\\y/Quorix";
  const std::string head = "{\"applications\":[{\"app_key\":\"quorix.phone\",\"launch_type\":\"binary\","
                           "\"binary_path_linux\":\"/opt/q\\\"x\\\\y/Quorix\",\"arguments\":\"--steamvr-start\","
                           "\"action_manifest_path\":\"/opt/q\\\"x\\\\y/vr_assets/actions.json\"";
  const std::string tail = ",\"is_dashboard_overlay\":true,\"strings\":{\"en_us\":{\"name\":\"Quorix\"}}}]}";
  EXPECT_EQ(BuildAppManifest(exe, kAutostartAppKey, false), head + tail);
  EXPECT_EQ(BuildAppManifest(exe, kAutostartAppKey, true),
            head + ",\"image_path\":\"/opt/q\\\"x\\\\y/assets/quorix-icon-256.png\"" + tail);
  EXPECT_TRUE(Parses(BuildAppManifest(exe, kAutostartAppKey, true)));
  struct Case {
    bool unified;
    size_t bytes, lines;
  } cases[] = {{false, 329, 16}, {true, 365, 17}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unified);
    const std::string text = BuildBuiltinAppManifest(c.unified, "binary_path_windows", "Quorix.exe");
    EXPECT_EQ(text.size(), c.bytes);
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1, c.lines);
    EXPECT_TRUE(Parses(text));
  }
}

TEST(AutostartManifest, ShippedFilesAreTheBuiltinTextBesideSourceAndProgram) {
  const char* build = std::getenv("QUORIX_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  for (const fs::path& folder : {quorix_test::ShippedAssets(), fs::path(build) / "vr_assets"}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(ReadFile(folder / "quorix.vrmanifest"), GetBuiltinAppManifest());
    EXPECT_TRUE(Parses(GetBuiltinAppManifest()) && Parses(ReadFile(folder / "actions.json")));
    EXPECT_FALSE(fs::exists(folder / "quorix.autostart.vrmanifest"));
  }
}

TEST_F(AutostartSimTest, SmallFilesPropertiesAndImageValues) {
  for (const size_t size : {0u, 1u, 65536u, 65537u}) {
    SCOPED_TRACE(size);
    WriteFile(root_.path() / "f", std::string(size, 'x'));
    std::string out;
    EXPECT_EQ(ReadSmallFile(root_.path() / "f", &out), size == 1 || size == 65536);
  }
  struct PropertyCase {
    std::string bytes;
    uint32_t length;
    bool ok;
  } properties[] = {{"", 0, false}, {std::string(32768, 'a'), 32769, false}, {std::string("ab\0c\0", 5), 5, false},
                    {"abc", 3, false}, {std::string("abc\0", 4), 4, true}};
  pvr::Applications* apps = Connect();
  for (const PropertyCase& c : properties) {
    SCOPED_TRACE(c.length);
    sim_->SetPropertyAnswer(kKey, pvr::kAppPropertyArguments, c.bytes, c.length);
    std::string out = "?";
    EXPECT_EQ(GetAppPropertyString(apps, pvr::kAppPropertyArguments, &out, kKey), c.ok);
    if (c.ok) {
      EXPECT_EQ(out, "abc");
    }
  }
  const fs::path icon = "/opt/q/assets/quorix-icon-256.png";
  struct ImageCase {
    std::string value;
    bool matches;
  } images[] = {
      {"file:///opt/q/assets/quorix-icon-256.png", true},   {"FILE://localhost/opt/q/assets/quorix-icon-256.png", true},
      {"/opt/q/./assets/quorix-icon-256.png", true},        {"file:///opt/%71/assets/quorix-icon-256.png", true},
      {"file://other/opt/q/assets/quorix-icon-256.png", false}, {"file:///opt/q/assets/quorix-icon-256.png?", false},
      {"file:///opt/q/assets/quorix-icon-256.png#x", false}, {"file:///opt/q%00/assets/quorix-icon-256.png", false},
      {"file:///opt/q%zz/assets/quorix-icon-256.png", false}, {"file:///opt/q%ff/assets/quorix-icon-256.png", false},
      {"opt/q/assets/quorix-icon-256.png", false},          {"/opt/Q/assets/quorix-icon-256.png", false},
      {"/opt/q\x01/assets/quorix-icon-256.png", false},
  };
  for (const ImageCase& c : images) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ImagePathMatches(c.value, icon), c.matches);
  }
}

TEST_F(AutostartSimTest, AForeignCopyIsReplacedAndRestoredByTheRollback) {
  pvr::Applications* apps = Connect();
  const fs::path foreign = RegisterCopy(apps, "b");
  const std::string before = Snapshot();
  AutostartRollback rollback;
  AutostartDiagnostics diag;
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag)) << diag.stage;
  EXPECT_EQ(rollback.removed, std::vector<fs::path>{foreign});
  EXPECT_EQ(sim_->applications().at(kKey).manifest_path, (exe_.parent_path() / kAutostartManifestFile).string());
  EXPECT_EQ(ReadFile(exe_.parent_path() / kAutostartManifestFile), BuildAppManifest(exe_, kAutostartAppKey, true));
  EXPECT_TRUE(VerifyAutostartRegistration(apps, exe_, true, &diag));
  EXPECT_TRUE(RollbackAutostartRegistration(apps, exe_, &rollback, &diag));
  EXPECT_EQ(Snapshot(), before);
  // Registering twice: the second run owns the key, removes nothing and its
  // rollback leaves the registration.
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag));
  const std::string registered = Snapshot();
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag));
  EXPECT_TRUE(rollback.owned_before && rollback.removed.empty());
  EXPECT_TRUE(RollbackAutostartRegistration(apps, exe_, &rollback, &diag));
  EXPECT_EQ(Snapshot(), registered);
}

// Forwards to the simulated registry; a removal may bring in the next copy.
class ChainedApps final : public pvr::Applications {
 public:
  explicit ChainedApps(pvr::Applications* inner) : inner_(inner) {}
  int32_t AddApplicationManifest(const std::string& p, bool t) override { return inner_->AddApplicationManifest(p, t); }
  int32_t RemoveApplicationManifest(const std::string& p) override {
    const int32_t error = inner_->RemoveApplicationManifest(p);
    if (error == 0 && on_remove) on_remove();
    return error;
  }
  bool IsApplicationInstalled(const std::string& k) override { return inner_->IsApplicationInstalled(k); }
  uint32_t GetApplicationPropertyString(const std::string& k, uint32_t p, char* b, uint32_t s, int32_t* e) override {
    return inner_->GetApplicationPropertyString(k, p, b, s, e);
  }
  int32_t SetApplicationAutoLaunch(const std::string& k, bool on) override {
    return ignore_sets ? 0 : inner_->SetApplicationAutoLaunch(k, on);
  }
  bool GetApplicationAutoLaunch(const std::string& k) override { return inner_->GetApplicationAutoLaunch(k); }
  int32_t IdentifyApplication(uint32_t pid, const std::string& k) override { return inner_->IdentifyApplication(pid, k); }

  std::function<void()> on_remove;
  bool ignore_sets = false;

 private:
  pvr::Applications* inner_;
};

TEST_F(AutostartSimTest, EveryFailedRegistrationLeavesTheRegistryAsItWas) {
  struct Case {
    const char* name;
    bool enable;
    std::function<void(AutostartSimTest&, pvr::Applications*, ChainedApps&)> setup;
    int32_t stage, api_error;
  } cases[] = {
      {"hand-edited foreign manifest", true,
       [](AutostartSimTest& t, pvr::Applications* a, ChainedApps&) { t.RegisterCopy(a, "b", " "); }, 2, 0},
      {"disabling an uninstalled key", false, [](AutostartSimTest&, pvr::Applications*, ChainedApps&) {}, 7,
       pvr::kErrorUnknownApplication},
      {"a registry that reinstates", true,
       [](AutostartSimTest& t, pvr::Applications* a, ChainedApps&) {
         t.RegisterCopy(a, "b");
         t.sim_->SetReinstateOnRemove(true);
       },
       4, 0},
      {"nine copies in a row", true,
       [](AutostartSimTest& t, pvr::Applications* a, ChainedApps& chained) {
         t.RegisterCopy(a, "c0");
         chained.on_remove = [&t, a, n = 1]() mutable {
           if (n < 9) t.RegisterCopy(a, "c" + std::to_string(n++));
         };
       },
       3, 0},
      {"an add error", true,
       [](AutostartSimTest& t, pvr::Applications* a, ChainedApps&) {
         t.RegisterCopy(a, "b");
         t.sim_->FailCall(vr_sim::SimCall::kAddManifest, 77);
       },
       6, 77},
      {"auto-launch reads back off", true,
       [](AutostartSimTest& t, pvr::Applications*, ChainedApps&) {
         t.sim_->FailCall(vr_sim::SimCall::kGetAutoLaunch, 1);
       },
       8, 0},
      {"an unwritable manifest folder", true,
       [](AutostartSimTest& t, pvr::Applications*, ChainedApps&) { fs::remove_all(t.exe_.parent_path() / "vr_assets"); },
       10, 0},
  };
  pvr::Applications* apps = Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root_.path() / "sim" / "applications.json");
    MakeProgramFolder("a");
    ChainedApps chained(apps);
    c.setup(*this, apps, chained);
    const std::string set_up = Snapshot();
    AutostartRollback rollback;
    AutostartDiagnostics diag;
    EXPECT_FALSE(RegisterAutostartApp(&chained, exe_, c.enable, &rollback, &diag));
    EXPECT_EQ(diag.stage, c.stage);
    EXPECT_EQ(diag.api_error, c.api_error);
    sim_->SetReinstateOnRemove(false);
    chained.on_remove = nullptr;
    if (c.stage != 3) {  // the chain brought in copies that were never there
      EXPECT_TRUE(RollbackAutostartRegistration(&chained, exe_, &rollback, &diag));
      EXPECT_EQ(Snapshot(), set_up);
    }
  }
}

TEST_F(AutostartSimTest, VerificationHandlesTheLegacyKey) {
  // The legacy key, registered from an older install's shipped manifest.
  const fs::path old_exe = MakeProgramFolder("old");
  const fs::path old_manifest = old_exe.parent_path() / kShippedManifestFile;
  WriteFile(old_manifest, GetBuiltinUnifiedManifest());
  const fs::path foreign_manifest = root_.path() / "foreign.vrmanifest";
  WriteFile(foreign_manifest, "{\"applications\":[{\"app_key\":\"quorix.phone.ui3.unified\","
                              "\"binary_path_linux\":\"/usr/bin/other\"}]}");
  pvr::Applications* apps = Connect();
  AutostartRollback rollback;
  AutostartDiagnostics diag;
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag));
  sim_->Shutdown();
  struct Case {
    const char* name;
    const fs::path* legacy;  // null: absent
    bool on;
    bool expect;
    int code;
  } cases[] = {{"absent", nullptr, false, true, 76},
               {"own, on", &old_manifest, true, true, 79},
               {"foreign", &foreign_manifest, true, true, 65},
               {"expected off while on", nullptr, false, false, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    apps = Connect();
    apps->RemoveApplicationManifest(old_manifest.string());
    apps->RemoveApplicationManifest(foreign_manifest.string());
    if (c.legacy) {
      ASSERT_EQ(apps->AddApplicationManifest(c.legacy->string(), false), 0);
      ASSERT_EQ(apps->SetApplicationAutoLaunch(kLegacy, c.on), 0);
    }
    sim_->Shutdown();
    EXPECT_EQ(VerifySteamVrAutostart(exe_, c.expect), c.code);
    EXPECT_EQ(Connect()->GetApplicationAutoLaunch(kLegacy), c.legacy == &foreign_manifest);
    sim_->Shutdown();
  }
  // Turning the own legacy key off fails, or does not stick: restored.
  apps = Connect();
  ASSERT_EQ(apps->AddApplicationManifest(old_manifest.string(), false), 0);
  ASSERT_EQ(apps->SetApplicationAutoLaunch(kLegacy, true), 0);
  ChainedApps chained(apps);
  sim_->FailCall(vr_sim::SimCall::kSetAutoLaunch, 55);
  diag = {};
  EXPECT_FALSE(CheckLegacyUnifiedApp(&chained, &diag));
  EXPECT_EQ(std::make_pair(diag.stage, diag.api_error), std::make_pair(11, 55));
  chained.ignore_sets = true;
  diag = {};
  EXPECT_FALSE(CheckLegacyUnifiedApp(&chained, &diag));
  EXPECT_EQ(diag.stage, 12);
  EXPECT_TRUE(diag.rollback_complete && diag.legacy_owned && !diag.legacy_autostart_off);
  EXPECT_TRUE(apps->GetApplicationAutoLaunch(kLegacy));
}

}  // namespace
