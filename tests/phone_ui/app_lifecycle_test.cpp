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

template <typename F>
std::string Printed(F action) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

const std::string kSaved =
    "[PF20_APPSTATE] SAVE=PASS installed_state=YES counters=YES foreground_state=NO detached_state=NO\n";

class AppLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Printed([&] { ASSERT_TRUE(store_.Initialize((temp_.path() / "store").string())); });
    state_.store = &store_;
  }

  std::filesystem::path StoreFile() const { return temp_.path() / "store" / "settings" / "app_runtime_v1.txt"; }
  std::filesystem::path StateFile() const {
    return temp_.path() / "local" / "QuorixPhoneReal2PCTest" / "pf18_app_runtime_state.txt";
  }

  quorix_test::TempDir temp_;
  LocalDataStore store_;
  PhoneAppLifecycle state_;
  ScopedEnvironmentVariable local_{u"LOCALAPPDATA", (temp_.path() / "local").u16string()};
};

TEST_F(AppLifecycleTest, RefusalsPrintTheirReasonAndChangeNothing) {
  struct Case {
    int32_t shown;  // the main foreground app
    bool (*op)(PhoneAppLifecycle&);
    const char* line;
  };
  const auto close_notes = [](PhoneAppLifecycle& s) { return s.Close(3); };
  const auto detach = [](PhoneAppLifecycle& s) { return s.DetachForeground(); };
  const Case cases[] = {
      {-1, close_notes, "[PF19_APP] CLOSE=NOOP app=app.notes reason=ALREADY_STOPPED\n"},
      {-1, detach, "[PF19_APP] DETACH=FAIL reason=NO_MAIN_FOREGROUND_APP\n"},
      {12, detach, "[PF19_APP] DETACH=FAIL reason=NO_MAIN_FOREGROUND_APP\n"},
      {9, detach, "[PF19_APP] DETACH=FAIL app=app.settings reason=SURFACE_POLICY surface=MAIN\n"},
      {-1, [](PhoneAppLifecycle& s) { return s.Uninstall(0); },
       "[PF19_APP] UNINSTALL=BLOCKED app=app.quorix reason=PROTECTED_KIND\n"},
      {-1, [](PhoneAppLifecycle& s) { return s.Uninstall(1); },
       "[PF19_APP] UNINSTALL=BLOCKED app=app.browser reason=PROTECTED_KIND\n"},
      {-1, [](PhoneAppLifecycle& s) { return s.Uninstall(11); },
       "[PF19_APP] UNINSTALL=BLOCKED app=app.about reason=PROTECTED_KIND\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    PhoneAppLifecycle state;
    state.main_foreground_app = c.shown;
    EXPECT_EQ(Printed([&] { EXPECT_FALSE(c.op(state)); }), c.line);
    EXPECT_EQ(FormatAppRuntimeSnapshot(state), FormatAppRuntimeSnapshot(PhoneAppLifecycle{}));
  }
}

TEST_F(AppLifecycleTest, IndicesMinusOneAndTwelveAreRefusedEverywhere) {
  for (const uint32_t index : {static_cast<uint32_t>(-1), 12u}) {
    EXPECT_STREQ(GetAppCatalogEntry(index).id, "");
    EXPECT_FALSE(IsAppInstalled(state_, index) || CanDetachApp(state_, index) || CanUninstallApp(state_, index));
    EXPECT_STREQ(AppStateName(state_, index), "INVALID");
    EXPECT_STREQ(AppPlacementName(state_, index), "INVALID");
    EXPECT_STREQ(AppSurfaceName(index), "INVALID");
    EXPECT_EQ(Printed([&] { EXPECT_FALSE(state_.Close(index) || state_.Uninstall(index)); }), "");
  }
}

TEST_F(AppLifecycleTest, UninstallingGalleryWritesBothFilesOnce) {
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.Uninstall(4)); }),
            "[PF19_APP] UNINSTALL=PASS app=app.gallery uninstall_count=1 launch=BLOCKED\n" + kSaved);
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(state_.Uninstall(4)); }), "");
  std::string store_rows, state_rows;
  for (const PhoneAppCatalogEntry& app : kAppCatalog) {
    const bool gone = std::string(app.id) == "app.gallery";
    store_rows += std::string("app=") + app.id + (gone ? ";installed=NO" : ";installed=YES") +
                  ";launch=0;foreground=0;background=0;resume=0;suspend=0;close=0;detach=0;reattach=0;uninstall=" +
                  (gone ? "1\n" : "0\n");
    state_rows += app.id + std::string(gone ? "=installed:NO,state:UNINSTALLED,placement:NONE"
                                            : "=installed:YES,state:STOPPED,placement:MAIN") +
                  ",launch:0,foreground:0,background:0,resume:0,suspend:0,detach:0,reattach:0,close:0,uninstall:" +
                  (gone ? "1\r\n" : "0\r\n");
  }
  EXPECT_EQ(ReadFile(StoreFile()),
            "format=QuorixPhoneAppRuntimeState\nschema_version=1\ntransient_lifecycle_persisted=NO\n"
            "detached_placement_persisted=NO\nlast_uninstalled_app=app.gallery\n" + store_rows);
  EXPECT_EQ(ReadFile(StateFile()),
            "version=2\r\npf_step=19\r\nmain_foreground_app=-\r\ndetached_foreground_app=-\r\n"
            "last_uninstalled_app=app.gallery\r\n" + state_rows);
  EXPECT_EQ(std::filesystem::status(StateFile()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(AppLifecycleTest, AFailedSaveIsReportedButTheOperationStands) {
  std::filesystem::create_directories(StoreFile() / "in_the_way");
  std::filesystem::create_directories(StateFile() / "in_the_way");
  state_.apps[3].state = kAppForeground;
  state_.main_foreground_app = 3;
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.Close(3)); }),
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
            "[PF19_APP] UNINSTALL=PASS app=app.notes uninstall_count=1 launch=BLOCKED\n" + kSaved);
  EXPECT_TRUE(std::filesystem::exists(StoreFile()));
  EXPECT_FALSE(std::filesystem::exists(StateFile()));
}

TEST_F(AppLifecycleTest, TheLauncherMovesAppsAndTheDetachedSlotHoldsOne) {
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  PhoneUi ui;
  ui.app_lifecycle = &state_;
  const auto slide = [&](int32_t app) {
    Printed([&] {
      app < 0 ? (void)ui.GoHome() : ui.StartTransition(kTransitionAppOpen, 1, app);
      clock.Advance(kTransitionMs);
      ui.Tick();
    });
  };
  slide(3);
  slide(-1);
  EXPECT_STREQ(AppStateName(state_, 3), "BACKGROUND");
  slide(3);
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.DetachForeground()); }),
            "[PF19_APP] DETACH=PASS app=app.notes target=secondary detach_count=1\n" + kSaved);
  slide(-1);
  slide(5);
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(state_.DetachForeground()); }),
            "[PF19_APP] DETACH=FAIL app=app.timer reason=DETACHED_SLOT_BUSY occupied_by=app.notes\n");
  const PhoneAppRuntimeEntry& notes = state_.apps[3];
  EXPECT_EQ(std::vector<uint64_t>({notes.launch, notes.foreground, notes.background, notes.resume, notes.suspend,
                                   notes.detach}),
            std::vector<uint64_t>({1, 2, 1, 1, 1, 1}));
  EXPECT_STREQ(AppPlacementName(state_, 3), "DETACHED");

  // Closing the detached app frees the slot; showing a detached app brings it back.
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(state_.Close(3)); }),
            "[PF19_APP] CLOSE=PASS app=app.notes placement=DETACHED close_count=1\n" + kSaved);
  Printed([&] { EXPECT_TRUE(state_.DetachForeground()); });
  slide(-1);
  slide(5);
  EXPECT_EQ(state_.apps[5].reattach, 1u);
  EXPECT_EQ(state_.detached_app, -1);
  EXPECT_EQ(state_.main_foreground_app, 5);
  platform::SetClockForTesting(nullptr);
}

}  // namespace
