// Manifest texts, the helper readings, and registration with its rollback
// and verification against a simulated registry in a temporary folder.
#include "vr/autostart_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "autostart_fixture.h"
#include "core/json.h"
#include "leftovers.h"
#include "platform/clock.h"
#include "vr/autostart.h"
#include "vr_sim_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace pvr = platform::vr;
using quorix_test::AutostartSimTest;
using quorix_test::ReadFile;
using quorix_test::WriteFile;
using vr_sim::SimCall;

const std::string kKey(kAutostartAppKey);
const std::string kLegacy(kLegacyUnifiedAppKey);

bool Parses(const std::string& text) {
  JsonValue value;
  return ParseJson(text, value);
}

TEST(AutostartManifest, GeneratedBuiltinAndShippedTexts) {
  const std::string head = R"({"applications":[{"app_key":"quorix.phone","launch_type":"binary",)"
                           R"("binary_path_linux":"/q\"x\\/Quorix","arguments":"--steamvr-start",)"
                           R"("action_manifest_path":"/q\"x\\/vr_assets/actions.json")";
  const std::string tail = R"(,"is_dashboard_overlay":true,"strings":{"en_us":{"name":"Quorix"}}}]})";
  EXPECT_EQ(BuildAppManifest("/q\"x\\/Quorix", kAutostartAppKey, false), head + tail);
  const std::string with_image = BuildAppManifest("/q\"x\\/Quorix", kAutostartAppKey, true);
  EXPECT_EQ(with_image, head + R"(,"image_path":"/q\"x\\/assets/quorix-icon-256.png")" + tail);
  EXPECT_TRUE(Parses(with_image));
  for (const auto& [unified, bytes, lines] : {std::tuple{false, 329u, 16}, std::tuple{true, 365u, 17}}) {
    const std::string text = BuildBuiltinAppManifest(unified, "binary_path_windows", "Quorix.exe");
    EXPECT_EQ(text.size(), bytes);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n') + 1, lines);
    EXPECT_TRUE(Parses(text));
  }
  // The shipped manifest, byte for byte as the runtime reads it.
  EXPECT_EQ(GetBuiltinAppManifest().size(), 323u);
  EXPECT_NE(GetBuiltinAppManifest().find("\r\n      \"binary_path_linux\": \"../Quorix\",\r\n"), std::string::npos);
  for (const fs::path& folder : {quorix_test::ShippedAssets(), quorix_test::BuildDir() / "vr_assets"}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(ReadFile(folder / "quorix.vrmanifest"), GetBuiltinAppManifest());
    EXPECT_TRUE(Parses(GetBuiltinAppManifest()) && Parses(ReadFile(folder / "actions.json")));
  }
  // Only the registration writes the autostart manifest: none is shipped (a
  // build folder holds one once the program built there has registered).
  EXPECT_FALSE(fs::exists(quorix_test::ShippedAssets() / "quorix.autostart.vrmanifest"));
}

TEST_F(AutostartSimTest, SmallFilesPropertiesAndImageValues) {
  for (const size_t size : {0u, 1u, 65536u, 65537u}) {
    WriteFile(root_.path() / "f", std::string(size, 'x'));
    std::string out;
    EXPECT_EQ(ReadSmallFile(root_.path() / "f", &out), size == 1 || size == 65536) << size;
  }
  pvr::Applications* apps = Connect();
  for (const auto& [bytes, length, ok] :
       {std::tuple{std::string(), 0u, false}, {std::string(32768, 'a'), 32769u, false},
        {std::string("ab\0c\0", 5), 5u, false}, {std::string("abc"), 3u, false}, {std::string("abc\0", 4), 4u, true}}) {
    sim_.SetPropertyAnswer(kKey, pvr::kAppPropertyArguments, bytes, length);
    std::string out;
    EXPECT_EQ(GetAppPropertyString(apps, pvr::kAppPropertyArguments, &out, kKey) && out == "abc", ok) << length;
  }
  const std::string icon = "/opt/q/assets/quorix-icon-256.png";
  for (const auto& [value, matches] : {std::pair{"file://" + icon, true}, {"FILE://localhost" + icon, true},
                                       {"/opt/q/./assets/quorix-icon-256.png", true},
                                       {"file:///opt/%71/assets/quorix-icon-256.png", true},
                                       {"file://other" + icon, false}, {"file://" + icon + "?", false},
                                       {"file://" + icon + "#x", false}, {"file:///opt/q%00" + icon, false},
                                       {"file:///opt/q%zz" + icon, false}, {"file:///opt/q%ff" + icon, false},
                                       {icon.substr(1), false}, {"/opt/Q/assets/quorix-icon-256.png", false}}) {
    EXPECT_EQ(ImagePathMatches(value, icon), matches) << value;
  }
}

TEST_F(AutostartSimTest, AForeignCopyIsReplacedAndRestoredAndASecondRunRemovesNothing) {
  pvr::Applications* apps = Connect();
  const fs::path foreign = RegisterCopy(apps, "b");
  const std::string before = Snapshot();
  AutostartRollback rollback;
  AutostartDiagnostics diag;
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag)) << diag.stage;
  EXPECT_EQ(rollback.removed, std::vector<fs::path>{foreign});
  EXPECT_EQ(Snapshot(), kKey + "=" + (exe_.parent_path() / kAutostartManifestFile).string() + ":on;");
  EXPECT_TRUE(VerifyAutostartRegistration(apps, exe_, true, &diag));
  EXPECT_TRUE(RollbackAutostartRegistration(apps, exe_, &rollback, &diag));
  EXPECT_EQ(Snapshot(), before);
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag));
  const std::string registered = Snapshot();
  ASSERT_TRUE(RegisterAutostartApp(apps, exe_, true, &rollback, &diag));
  EXPECT_TRUE(rollback.owned_before && rollback.removed.empty());
  EXPECT_TRUE(RollbackAutostartRegistration(apps, exe_, &rollback, &diag));
  EXPECT_EQ(Snapshot(), registered);
}

// The registration writes its manifest beside the program; a registration
// killed before the rename left a temporary file there, whose name (once the
// pid and the tick count) a later run may take again. It registers all the
// same.
TEST_F(AutostartSimTest, LeftoversOfAKilledRegistrationNeverStopTheNext) {
  pvr::Applications* apps = Connect();
  const fs::path manifest = exe_.parent_path() / kAutostartManifestFile;
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  const quorix_test::Leftovers leftovers(
      manifest, {manifest.filename().string() + ".tmp." + std::to_string(::getpid()) + "." +
                 std::to_string(clock.TickMs())});
  AutostartRollback rollback;
  AutostartDiagnostics diag;
  const bool registered = RegisterAutostartApp(apps, exe_, true, &rollback, &diag);
  platform::SetClockForTesting(nullptr);
  ASSERT_TRUE(registered) << diag.stage;
  EXPECT_EQ(ReadFile(manifest), BuildAppManifest(exe_, kAutostartAppKey, true));
  EXPECT_EQ(Snapshot(), kKey + "=" + manifest.string() + ":on;");
  EXPECT_TRUE(VerifyAutostartRegistration(apps, exe_, true, &diag)) << diag.stage;
  leftovers.ExpectOnlyEndedWritersRemoved();
}

TEST_F(AutostartSimTest, AFailedRegistrationIsUndoneByItsRollback) {
  struct Case {
    const char* name;
    bool enable;
    std::function<void(AutostartSimTest&, pvr::Applications*)> setup;
    int32_t stage, api_error;
  } cases[] = {
      {"hand-edited foreign manifest", true, [](auto& t, auto* a) { t.RegisterCopy(a, "b", " "); }, 2, 0},
      {"disabling an uninstalled key", false, [](auto&, auto*) {}, 7, pvr::kErrorUnknownApplication},
      {"a registry that reinstates", true,
       [](auto& t, auto* a) {
         t.RegisterCopy(a, "b");
         t.sim_.SetReinstateOnRemove(true);
       },
       4, 0},
      {"an add error", true,
       [](auto& t, auto* a) {
         t.RegisterCopy(a, "b");
         t.sim_.FailCall(SimCall::kAddManifest, 77);
       },
       6, 77},
      {"auto-launch reads back off", true, [](auto& t, auto*) { t.sim_.FailCall(SimCall::kGetAutoLaunch, 1); }, 8, 0},
      {"an unwritable manifest folder", true,
       [](auto& t, auto*) { fs::remove_all(t.exe_.parent_path() / "vr_assets"); }, 10, 0},
  };
  pvr::Applications* apps = Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root_.path() / "sim" / "applications.json");
    MakeProgramFolder("a");
    c.setup(*this, apps);
    const std::string set_up = Snapshot();
    AutostartRollback rollback;
    AutostartDiagnostics diag;
    EXPECT_FALSE(RegisterAutostartApp(apps, exe_, c.enable, &rollback, &diag));
    EXPECT_EQ(std::pair(diag.stage, diag.api_error), std::pair(c.stage, c.api_error));
    sim_.SetReinstateOnRemove(false);
    EXPECT_TRUE(RollbackAutostartRegistration(apps, exe_, &rollback, &diag));
    EXPECT_EQ(Snapshot(), set_up);
  }
}

TEST_F(AutostartSimTest, VerificationTurnsOffTheOwnLegacyKeyOnly) {
  const fs::path own = MakeProgramFolder("old").parent_path() / kShippedManifestFile;
  WriteFile(own, GetBuiltinUnifiedManifest());
  const fs::path foreign = root_.path() / "foreign.vrmanifest";
  WriteFile(foreign, R"({"applications":[{"app_key":"quorix.phone.ui3.unified","binary_path_linux":"/usr/bin/x"}]})");
  AutostartRollback rollback;
  AutostartDiagnostics diag;
  ASSERT_TRUE(RegisterAutostartApp(Connect(), exe_, true, &rollback, &diag));
  sim_.Shutdown();
  for (const auto& [legacy, expect, code] : {std::tuple{fs::path(), true, 76}, {own, true, 79}, {foreign, true, 65},
                                              {fs::path(), false, 8}}) {
    SCOPED_TRACE(legacy);
    pvr::Applications* apps = Connect();
    apps->RemoveApplicationManifest(own.string());
    apps->RemoveApplicationManifest(foreign.string());
    if (!legacy.empty()) {
      ASSERT_EQ(apps->AddApplicationManifest(legacy.string(), false), 0);
      ASSERT_EQ(apps->SetApplicationAutoLaunch(kLegacy, true), 0);
    }
    sim_.Shutdown();
    EXPECT_EQ(VerifySteamVrAutostart(exe_, expect), code);
    EXPECT_EQ(Connect()->GetApplicationAutoLaunch(kLegacy), legacy == foreign);
    sim_.Shutdown();
  }
  // Turning the own legacy key off fails: stage 11, and it is on again.
  pvr::Applications* apps = Connect();
  ASSERT_EQ(apps->AddApplicationManifest(own.string(), false), 0);
  ASSERT_EQ(apps->SetApplicationAutoLaunch(kLegacy, true), 0);
  sim_.FailCall(SimCall::kSetAutoLaunch, 55);
  diag = {};
  EXPECT_FALSE(CheckLegacyUnifiedApp(apps, &diag));
  EXPECT_EQ(std::pair(diag.stage, diag.api_error), std::pair(11, 55));
  EXPECT_TRUE(diag.rollback_complete && diag.legacy_owned && apps->GetApplicationAutoLaunch(kLegacy));
}

}  // namespace
