// Taps on the native screens and the screen switch, on the real model,
// settings record and chat model, with the fake owner and chat tasks.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/event_log_capture.h"
#include "support/fake_chat_tasks.h"
#include "support/phone_fixture.h"
#include "support/ui_sound_fixture.h"

namespace {

class NativeTapsTest : public ::testing::Test {
 protected:
  NativeTapsTest() { p_.ui.chat_tasks = tasks_.Launcher(), p_.ui.live_read_only = 1; }
  // Signed in (the sign-in's list fetch refused), `friends` loaded, the
  // frame drawn at the current revision, on `screen`.
  void SignedIn(size_t friends, uint32_t screen) {
    p_.SignIn(4);
    p_.owner.own_user_id = "me";
    p_.ui.Tick();
    quorix_mvp03b2b::FetchResult refused;
    refused.code = 5;
    if (!tasks_.lists.empty()) tasks_.lists.back().set_value(refused);
    p_.ui.Tick();
    tasks_.launches.clear();
    if (friends > 0) p_.Load(quorix_test::PhoneFixture::Snapshot(friends));
    p_.ui.drawn_status_revision = p_.owner.status.revision;
    On(screen);
  }
  void On(uint32_t screen) {
    p_.ui.native_screen = screen;
    p_.ui.vr_settings_wrist_page_open = p_.ui.vr_settings_fine_tune_open = screen == 7 ? 1 : 0;
    p_.ui.dirty = 0;
  }

  quorix_test::PhoneFixture p_;
  quorix_test::FakeChatTasks tasks_;
};

TEST_F(NativeTapsTest, ScreenSwitchSignedOutAndIn) {
  const struct Case { uint32_t asked, shown; } cases[] = {{5, 0}, {10, 0}, {9, 9}, {1, 0}, {4000000000u, 0}};
  for (const Case& c : cases) {
    p_.ui.ShowNativeScreen(c.asked);
    EXPECT_EQ(p_.ui.native_screen, c.shown) << c.asked;
  }
  SignedIn(0, 0);
  p_.ui.ShowNativeScreen(9);
  EXPECT_TRUE(tasks_.launches.empty());
  p_.ui.ShowNativeScreen(5);
  EXPECT_EQ(p_.ui.native_screen, 5u);
  EXPECT_EQ(p_.owner.Count("RequestFriendOperation"), 1u);
  EXPECT_EQ(p_.ui.friend_request_refresh_deadline, p_.clock.TickMs() + 15000);
  EXPECT_EQ(tasks_.launches, (std::vector<quorix_test::FakeChatTasks::Launch>{{"list", "", ""}}));
}

TEST_F(NativeTapsTest, TabBarClampsAndAStaleFrameOnlyRedraws) {
  SignedIn(1, 0);
  const struct Case { float x; uint32_t screen; } cases[] = {{539, 3}, {0, 0}, {1e30f, 3}, {-1e30f, 0}, {300, 2}};
  for (const Case& c : cases) {
    p_.ui.Tap(c.x, 930);
    EXPECT_EQ(p_.ui.native_screen, c.screen) << c.x;
  }
  p_.ui.drawn_status_revision = 0;
  p_.ui.Tap(0, 930);
  EXPECT_EQ(p_.ui.native_screen, 2u);
  EXPECT_EQ(p_.ui.dirty, 1);
}

TEST_F(NativeTapsTest, SignInPageRowsSoundExceptTheSilentOnes) {
  quorix_test::ScopedUiSounds sounds(&p_.clock);
  p_.ui.Tap(450, 100);
  EXPECT_TRUE(p_.settings.english);
  p_.ui.Tap(200, 680);
  EXPECT_EQ(p_.ui.keyboard.active_field, kFieldPassword);
  EXPECT_EQ(p_.ui.keyboard_open, 1);
  const size_t sounded = sounds.Written().size();
  p_.owner.status.code = 1;
  p_.ui.dirty = 0;
  p_.ui.Tap(10, 680);   // beside the boxes
  p_.ui.Tap(200, 800);  // the button while signing in
  EXPECT_EQ(p_.ui.dirty, 0);
  p_.ui.Tap(450, 150);
  EXPECT_EQ(p_.ui.native_screen, 3u);
  p_.ui.Tap(100, 950);
  EXPECT_EQ(p_.ui.native_screen, 0u);
  EXPECT_EQ(sounds.Written(), std::vector<int>(sounded + 2, 9));
}

TEST_F(NativeTapsTest, SettingsRowsSaveAtOnce) {
  SignedIn(1, 3);
  for (const float x : {400.0f, 1e30f}) p_.ui.Tap(x, 500);
  EXPECT_FALSE(p_.settings.notifications);
  EXPECT_FALSE(p_.owner.notifications_enabled);
  p_.ui.Tap(300, 230);
  p_.ui.Tap(460, 650);
  UiSettings reread;
  ASSERT_TRUE(reread.Load(p_.root.path().string()));
  EXPECT_TRUE(reread.dark);
  EXPECT_EQ(reread.notification_mode, 2);
  EXPECT_FLOAT_EQ(reread.ring_visibility_deg, 85);
  p_.ui.dirty = 0;
  p_.ui.Tap(200, 180);  // between the rows
  EXPECT_EQ(p_.ui.dirty, 0);
  p_.ui.Tap(300, 800);
  EXPECT_EQ(p_.owner.Count("SignOut"), 1u);
}

TEST_F(NativeTapsTest, VrSettingsStepInSinglePrecisionAndLogTheSave) {
  SignedIn(0, 7);
  quorix_test::EventLogCapture log;
  p_.settings.pull_m = 0.078f;
  p_.ui.Tap(450, 650);
  EXPECT_EQ(p_.settings.pull_m, 0.08f);
  p_.settings.wrist_x = -0.195f;
  p_.ui.Tap(200, 220);
  EXPECT_EQ(p_.settings.wrist_x, -0.2f);
  for (const float x : {0.0f, 0.7f}) {
    p_.settings.normal_x = x, p_.settings.normal_y = x == 0 ? 1 : x, p_.settings.normal_z = 0;
    p_.ui.Tap(200, 480);
    EXPECT_EQ(std::vector<float>({p_.settings.normal_x, p_.settings.normal_y, p_.settings.normal_z}),
              std::vector<float>({0, -1, 0}));
  }
  // A folder where the settings file goes makes the save fail.
  std::string settings_file;
  ASSERT_TRUE(p_.settings.store.ResolveKeyPath("settings", "wrist_home_v1", &settings_file));
  std::filesystem::remove(settings_file);
  std::filesystem::create_directory(settings_file);
  p_.ui.Tap(200, 650);
  const auto events = log.Events("VR_SETTINGS_CHANGED");
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[3].code, 1u);
  EXPECT_EQ(events[4].n, 1u);
  EXPECT_EQ(events[4].code, 0u);
}

TEST_F(NativeTapsTest, PointerSizeStepsToMultiplesOfTwentyFive) {
  SignedIn(0, 9);
  const struct Case { uint32_t before; float x; uint32_t after; } cases[] = {{60, 100, 50}, {75, 100, 50}, {190, 450, 200}, {50, 100, 50}};
  for (const Case& c : cases) {
    On(9);
    p_.settings.pointer_size_percent = c.before;
    p_.ui.Tap(c.x, 540);
    EXPECT_EQ(p_.settings.pointer_size_percent, c.after) << c.before;
    EXPECT_EQ(p_.ui.dirty, c.before != c.after ? 1 : 0) << c.before;
  }
}

TEST_F(NativeTapsTest, FriendRowsOpenTheDetailWhichStaysOpen) {
  SignedIn(8, 2);
  p_.ui.Tap(460, 212 + 96 + 10);
  EXPECT_EQ(p_.ui.selected_friend_id, "friend01");
  for (int i = 0; i < 10; ++i) p_.ui.Tick();
  EXPECT_EQ(p_.ui.native_screen, 8u);
  p_.ui.Tap(100, 300 + 87 * 2 + 5);
  EXPECT_EQ(p_.settings.peer_modes, (std::map<std::string, int32_t>{{"me/friend01", 2}}));
  On(2);
  p_.ui.Tap(300, 212 + 10);
  EXPECT_EQ(p_.ui.native_screen, 4u);
  EXPECT_EQ(p_.ui.chat_model.selected_id(), "friend00");
}

TEST_F(NativeTapsTest, FriendRequestsActOnlyOnTheDrawnRevision) {
  SignedIn(0, 5);
  p_.owner.friend_requests.revision = 3;
  p_.owner.friend_requests.incoming = {"alice"};
  p_.ui.Tap(450, 420);
  EXPECT_EQ(p_.ui.dirty, 0);
  p_.ui.drawn_friend_request_revision = 3;
  p_.ui.Tap(450, 420);
  p_.ui.Tap(350, 420);
  EXPECT_EQ(p_.owner.calls.back().args, "3,alice");
  EXPECT_EQ(p_.owner.Count("RequestFriendOperation"), 2u);
}

}  // namespace
