// The owner's desktop popups and its panel on a private X server; the sound
// player's choice of output by the call speaker's id.
#include "owner_fixture.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/gtk_presenter.h"
#include "private_x_server.h"

namespace quorix_test {
namespace {

// GTK's font start-up thread is not instrumented, so the ThreadSanitizer
// pass leaves GTK out and the presenter to the other builds.
#if defined(__SANITIZE_THREAD__)
constexpr bool kShowsWindows = false;
#else
constexpr bool kShowsWindows = true;
#endif

// GTK starts once per process on the display it first finds, so the private
// X server is up before the first test makes a desktop-mode owner.
struct PrivateDisplay : ::testing::Environment {
  void SetUp() override {
    if (kShowsWindows) (void)SharedPrivateXServer();
  }
};
[[maybe_unused]] ::testing::Environment* const kPrivateDisplay =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay);

TEST_F(OwnerTest, PhoneModeMakesNoPopupWindowAtAll) {
  ASSERT_TRUE(Create(true));
  const size_t windows = platform::ui::WindowCount();
  owner_->SetNotificationsEnabled(false);
  owner_->SetNotificationsEnabled(true);
  Ticks(2);
  EXPECT_EQ(platform::ui::WindowCount(), windows);
  EXPECT_EQ(platform::PresentedXWindow(owner_->window_handle()), 0u);
}

TEST_F(OwnerTest, DesktopModeShowsThePanelAndMakesTheHiddenOwnerOnce) {
  if (!kShowsWindows) GTEST_SKIP() << "GTK is left out under ThreadSanitizer";
  if (!SharedPrivateXServer().running()) GTEST_SKIP() << "no private X server: " << SharedPrivateXServer().failure();
  const size_t before = platform::ui::WindowCount();
  ASSERT_TRUE(Create(false));
  EXPECT_NE(platform::PresentedXWindow(owner_->window_handle()), 0u);
  const size_t windows = platform::ui::WindowCount();
  owner_->SetNotificationsEnabled(true);
  owner_->SetNotificationsEnabled(false);
  // One hidden owner window, never presented; no popup without a notice.
  EXPECT_EQ(platform::ui::WindowCount(), windows + 1);
  // Closing takes it along with the panel.
  owner_->Close();
  EXPECT_EQ(platform::ui::WindowCount(), before);
}

TEST(UiSoundRoutingTest, SpeakerIdPicksTheOutputWithoutAsciiCase) {
  platform::ManualClock clock;
  ScopedUiSounds sounds(&clock);
  sounds.output->devices = {{0, "quorix_test_a"}, {1, "Quorix_Test_B"}, {2, ""}};
  UiSoundPlayer& player = UiSoundPlayer::Instance();
  player.device_id = platform::kDefaultWaveDevice;
  std::vector<int32_t> seen;
  ui_sound_test_hooks::SetObserver([&](int32_t id, bool, bool) { seen.push_back(id); });
  struct Case {
    const char16_t* id;
    int32_t device;
    size_t stops;  // a change stops the playing sounds first
  } cases[] = {{u"QUORIX_TEST_B", 1, 1}, {u"quorix_test_b", 1, 0}, {u"quorix_test_ä", -1, 1}, {u"", -1, 0},
               {u"quorix_test_a", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    seen.clear();
    player.SelectOutputEndpoint(c.id);
    EXPECT_EQ(player.device_id, c.device);
    EXPECT_EQ(seen.size(), c.stops);
  }
  ui_sound_test_hooks::SetObserver(nullptr);
  player.device_id = platform::kDefaultWaveDevice;
}

}  // namespace
}  // namespace quorix_test
