#include "phone_ui/app_lifecycle.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/environment.h"
#include "core/local_data_store.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;
using quorix_test::TempDir;

class AppLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    ASSERT_TRUE(store_.Initialize((temp_.path() / "store").string()));
    testing::internal::GetCapturedStdout();
    state_.store = &store_;
  }

  template <typename F>
  std::string Printed(F action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
  }

  std::filesystem::path StoreFile() const { return temp_.path() / "store" / "settings" / "app_runtime_v1.txt"; }
  std::filesystem::path StateFile() const {
    return temp_.path() / "local" / "QuorixPhoneReal2PCTest" / "pf18_app_runtime_state.txt";
  }

  TempDir temp_;
  LocalDataStore store_;
  PhoneAppLifecycle state_;
  ScopedEnvironmentVariable local_{u"LOCALAPPDATA", (temp_.path() / "local").u16string()};
};

constexpr const char* kSaved =
    "[PF20_APPSTATE] SAVE=PASS installed_state=YES counters=YES foreground_state=NO detached_state=NO\n";

TEST_F(AppLifecycleTest, RefusalsPrintTheirReasonAndCountNothing) {
  struct Case {
    const char* name;
    std::function<bool(PhoneAppLifecycle&)> op;
    const char* line;
  };
  const Case cases[] = {
      {"close a stopped app", [](PhoneAppLifecycle& s) { return s.Close(3); },
       "[PF19_APP] CLOSE=NOOP app=app.notes reason=ALREADY_STOPPED\n"},
      {"detach with nothing shown", [](PhoneAppLifecycle& s) { return s.DetachForeground(); },
       "[PF19_APP] DETACH=FAIL reason=NO_MAIN_FOREGROUND_APP\n"},
      {"detach settings",
       [](PhoneAppLifecycle& s) {
         s.main_foreground_app = 9;
         return s.DetachForeground();
       },
       "[PF19_APP] DETACH=FAIL app=app.settings reason=SURFACE_POLICY surface=MAIN\n"},
      {"detach an uninstalled app",
       [](PhoneAppLifecycle& s) {
         s.apps[4].installed = false;
         s.main_foreground_app = 4;
         return s.DetachForeground();
       },
       "[PF19_APP] DETACH=FAIL app=app.gallery reason=SURFACE_POLICY surface=SPATIAL\n"},
      {"uninstall quorix", [](PhoneAppLifecycle& s) { return s.Uninstall(0); },
       "[PF19_APP] UNINSTALL=BLOCKED app=app.quorix reason=PROTECTED_KIND\n"},
      {"uninstall browser", [](PhoneAppLifecycle& s) { return s.Uninstall(1); },
       "[PF19_APP] UNINSTALL=BLOCKED app=app.browser reason=PROTECTED_KIND\n"},
      {"uninstall about", [](PhoneAppLifecycle& s) { return s.Uninstall(11); },
       "[PF19_APP] UNINSTALL=BLOCKED app=app.about reason=PROTECTED_KIND\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PhoneAppLifecycle state;
    state.store = &store_;
    bool result = true;
    EXPECT_EQ(Printed([&] { result = c.op(state); }), c.line);
    EXPECT_FALSE(result);
    for (const PhoneAppRuntimeEntry& app : state.apps) EXPECT_EQ(app.close + app.detach + app.uninstall, 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(StoreFile()));
  EXPECT_FALSE(std::filesystem::exists(StateFile()));
}

TEST_F(AppLifecycleTest, UninstallingGalleryWritesBothFiles) {
  std::string out = Printed([&] { EXPECT_TRUE(state_.Uninstall(4)); });
  EXPECT_EQ(out, std::string("[PF19_APP] UNINSTALL=PASS app=app.gallery uninstall_count=1 launch=BLOCKED\n") + kSaved);
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(state_.Uninstall(4)); }), "");

  std::string store_rows;
  std::string state_rows;
  for (const PhoneAppCatalogEntry& app : kAppCatalog) {
    const bool gallery = std::string(app.id) == "app.gallery";
    store_rows += std::string("app=") + app.id + (gallery ? ";installed=NO" : ";installed=YES") +
                  ";launch=0;foreground=0;background=0;resume=0;suspend=0;close=0;detach=0;reattach=0;uninstall=" +
                  (gallery ? "1" : "0") + "\n";
    state_rows += std::string(app.id) +
                  (gallery ? "=installed:NO,state:UNINSTALLED,placement:NONE" : "=installed:YES,state:STOPPED,placement:MAIN") +
                  ",launch:0,foreground:0,background:0,resume:0,suspend:0,detach:0,reattach:0,close:0,uninstall:" +
                  (gallery ? "1" : "0") + "\r\n";
  }
  EXPECT_EQ(ReadFile(StoreFile()),
            "format=QuorixPhoneAppRuntimeState\nschema_version=1\ntransient_lifecycle_persisted=NO\n"
            "detached_placement_persisted=NO\nlast_uninstalled_app=app.gallery\n" +
                store_rows);
  EXPECT_EQ(ReadFile(StateFile()),
            "version=2\r\npf_step=19\r\nmain_foreground_app=-\r\ndetached_foreground_app=-\r\n"
            "last_uninstalled_app=app.gallery\r\n" +
                state_rows);
  EXPECT_EQ(std::filesystem::status(StateFile()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(AppLifecycleTest, MinusOneAndTwelveAreRefusedEverywhere) {
  const PhoneAppCatalogEntry& empty = GetAppCatalogEntry(12);
  EXPECT_STREQ(empty.id, "");
  EXPECT_STREQ(empty.label, "");
  EXPECT_STREQ(empty.version, "0.1");
  EXPECT_EQ(empty.kind, 1u);
  EXPECT_EQ(empty.surface, 0u);
  for (int32_t index : {-1, 12}) {
    SCOPED_TRACE(index);
    const auto u = static_cast<uint32_t>(index);
    EXPECT_STREQ(GetAppCatalogEntry(u).id, "");
    EXPECT_FALSE(IsAppInstalled(state_, u));
    EXPECT_FALSE(CanDetachApp(state_, u));
    EXPECT_FALSE(CanUninstallApp(state_, u));
    EXPECT_STREQ(AppStateName(state_, u), "INVALID");
    EXPECT_STREQ(AppPlacementName(state_, u), "INVALID");
    EXPECT_STREQ(AppSurfaceName(u), "INVALID");
    EXPECT_EQ(Printed([&] {
                EXPECT_FALSE(state_.Close(u));
                EXPECT_FALSE(state_.Uninstall(u));
              }),
              "");
    state_.main_foreground_app = index;
    EXPECT_EQ(Printed([&] { EXPECT_FALSE(state_.DetachForeground()); }),
              "[PF19_APP] DETACH=FAIL reason=NO_MAIN_FOREGROUND_APP\n");
  }
}

TEST_F(AppLifecycleTest, AFailedSaveIsReportedButTheOperationStands) {
  std::filesystem::create_directories(StoreFile() / "in_the_way");
  std::filesystem::create_directories(StateFile() / "in_the_way");
  state_.apps[3].state = kAppForeground;
  state_.main_foreground_app = 3;
  std::string out = Printed([&] { EXPECT_TRUE(state_.Close(3)); });
  EXPECT_EQ(out,
            "[PF19_APP] CLOSE=PASS app=app.notes placement=MAIN close_count=1\n"
            "[PF20_APPSTATE] SAVE=FAIL installed_state=YES counters=YES foreground_state=NO detached_state=NO\n"
            "[PF20_APPSTATE] SAVE=FAIL source=WRITE_RUNTIME_SNAPSHOT\n");
  EXPECT_EQ(state_.apps[3].state, kAppStopped);
  EXPECT_EQ(state_.main_foreground_app, -1);
  Printed([&] { EXPECT_FALSE(PersistAppRuntime(state_)); });
}

TEST_F(AppLifecycleTest, WithoutLocalAppDataOnlyTheStoreFileIsWritten) {
  ScopedEnvironmentVariable unset(u"LOCALAPPDATA", std::nullopt);
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.Uninstall(3)); }),
            std::string("[PF19_APP] UNINSTALL=PASS app=app.notes uninstall_count=1 launch=BLOCKED\n") + kSaved);
  EXPECT_TRUE(std::filesystem::exists(StoreFile()));
  EXPECT_FALSE(std::filesystem::exists(StateFile()));
  Printed([&] { EXPECT_FALSE(PersistAppRuntime(state_)); });
}

TEST_F(AppLifecycleTest, TheLauncherMovesAppsAndTheDetachedSlotHoldsOne) {
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  PhoneUi ui;
  ui.app_lifecycle = &state_;
  const auto slide = [&](auto start) {
    Printed([&] {
      start();
      clock.Advance(kTransitionMs);
      ui.Tick();
    });
  };
  slide([&] { ui.StartTransition(kTransitionAppOpen, 1, 3); });
  EXPECT_EQ(state_.main_foreground_app, 3);
  slide([&] { ui.GoHome(); });
  EXPECT_STREQ(AppStateName(state_, 3), "BACKGROUND");
  slide([&] { ui.StartTransition(kTransitionAppOpen, 1, 3); });
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.DetachForeground()); }),
            std::string("[PF19_APP] DETACH=PASS app=app.notes target=secondary detach_count=1\n") + kSaved);
  EXPECT_STREQ(AppPlacementName(state_, 3), "DETACHED");
  slide([&] { ui.GoHome(); });
  slide([&] { ui.StartTransition(kTransitionAppOpen, 1, 5); });
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(state_.DetachForeground()); }),
            "[PF19_APP] DETACH=FAIL app=app.timer reason=DETACHED_SLOT_BUSY occupied_by=app.notes\n");

  const PhoneAppRuntimeEntry& notes = state_.apps[3];
  EXPECT_EQ(notes.state, kAppForeground);
  EXPECT_EQ(notes.launch, 1u);
  EXPECT_EQ(notes.foreground, 2u);
  EXPECT_EQ(notes.background, 1u);
  EXPECT_EQ(notes.suspend, 1u);
  EXPECT_EQ(notes.resume, 1u);
  EXPECT_EQ(notes.detach, 1u);
  EXPECT_EQ(state_.apps[5].launch, 1u);

  // Closing the detached app frees the slot; reopening a detached app brings it back.
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.Close(3)); }),
            std::string("[PF19_APP] CLOSE=PASS app=app.notes placement=DETACHED close_count=1\n") + kSaved);
  EXPECT_EQ(state_.detached_app, -1);
  EXPECT_TRUE(Printed([&] { EXPECT_TRUE(state_.DetachForeground()); }).find("DETACH=PASS app=app.timer") !=
              std::string::npos);
  slide([&] { ui.GoHome(); });
  slide([&] { ui.StartTransition(kTransitionAppOpen, 1, 5); });
  EXPECT_EQ(state_.apps[5].reattach, 1u);
  EXPECT_EQ(state_.detached_app, -1);
  EXPECT_EQ(state_.main_foreground_app, 5);
  platform::SetClockForTesting(nullptr);
}

}  // namespace
