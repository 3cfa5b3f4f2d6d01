// The owner's desktop popups and its panel on a private X server, seen and
// used through the X server as a user would; the sound player's choice of
// output by the call speaker's id.
#include <cairo.h>

#include <utility>

#include "chat/history_session.h"
#include "core/ui_settings.h"
#include "fake_message_service.h"
#include "owner_fixture.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/gtk_presenter.h"
#include "platform/gui.h"
#include "platform/message_pump.h"
#include "platform/panel_window.h"
#include "private_x_server.h"
#include "x_driver.h"
// Last: Xlib defines Bool, None and Always.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

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

constexpr char kCallTitle[] = "Quorix 着信";
constexpr char kChatTitle[] = "Quorix 新着メッセージ";

// Signed in on a desktop-mode owner with a call backend that counts its
// requests and notifications on; the owner's passes also run GTK.
class OwnerPopupTest : public OwnerTest {
 protected:
  void SetUp() override {
    if (!kShowsWindows) GTEST_SKIP() << "GTK is left out under ThreadSanitizer";
    if (!SharedPrivateXServer().running()) GTEST_SKIP() << "no private X server: " << SharedPrivateXServer().failure();
    ASSERT_TRUE(x_.ok());
    pump_.SetPollSource(platform::GuiPollSource());
    ASSERT_TRUE(Create(false));  // the desktop panel restores no session
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PassUntilOnline());
    ASSERT_TRUE(call_.AttachGateway(&backend_));
    owner_->AttachSettings(&settings_);
    owner_->SetNotificationsEnabled(true);
  }
  ~OwnerPopupTest() override {
    service_.Release();
    owner_.reset();
    pump_.SetPollSource(nullptr);
    call_.state = CallSession::kIdle;
    call_.AttachGateway(&gateway_);
  }

  // One pass of the X server's events through GTK, then the owner's.
  void Pass() {
    pump_.Wait(0);
    (void)pump_.Drain([](const platform::PumpMessage&) {});
    gateway_.Pump();
    owner_->Tick();
  }
  bool PassUntilShown(const char* title, size_t count = 1) {
    return WaitFor(
        [&] {
          Pass();
          return x_.ViewableWindowsTitled(title).size() == count;
        },
        std::chrono::seconds(60));
  }
  // The one popup of `title` on the screen, 0 when there is none or more.
  unsigned long Popup(const char* title) {
    const std::vector<unsigned long> shown = x_.ViewableWindowsTitled(title);
    return shown.size() == 1 ? shown[0] : 0;
  }
  // The work area's bottom right less (x, y).
  std::array<int, 2> FromBottomRight(int x, int y) {
    const platform::ScreenRect area = platform::WorkArea(nullptr);
    return {area.x + area.width - x, area.y + area.height - y};
  }
  // Clicks the button whose left edge is at `left` of the popup.
  void ClickButton(unsigned long popup, int left) {
    const std::array<int, 4> at = x_.Geometry(popup);
    x_.Click(at[0] + left + 88, at[1] + 65 + 22);
  }
  // A new chat notice from Carol, whom the panel does not show (the panel's
  // history of its selected friend would take the message first). A poll
  // that was under way may come back without the message: the owner's clock
  // moves past the next poll's wait until one brings it, and stands still
  // from the pass that shows it.
  void DeliverNotice(size_t shown_before) {
    messages_.Deliver("carol", "hello");
    ASSERT_TRUE(PassUntil([&] {
      if (log_.Count("CHAT_NOTICE_SHOWN") > shown_before) return true;
      clock_.Advance(60000);
      return false;
    }));
  }

  XDriver x_;
  platform::MessagePump pump_;
  FakeMessageService messages_{service_, "alice"};
  CallBackend backend_;
  UiSettings settings_;
};

// The GTK window showing the X window `xid`.
GtkWindow* GtkWindowOf(unsigned long xid) {
  GtkWindow* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* it = toplevels; it != nullptr; it = it->next) {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(it->data));
    if (window != nullptr && GDK_WINDOW_XID(window) == xid) found = GTK_WINDOW(it->data);
  }
  g_list_free(toplevels);
  return found;
}

// `user_id`'s avatar as the popup paints it, 0x00RRGGBB words row by row.
std::vector<uint32_t> AvatarPixels(const std::string& user_id, int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  PaintAvatar(platform::ui::PaintTarget{cr, size, size}, 0, 0, size, user_id, 0xFFFFFF);
  cairo_surface_flush(surface);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < size; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) +
                                                        y * cairo_image_surface_get_stride(surface));
    for (int x = 0; x < size; ++x) pixels.push_back(row[x] & 0xFFFFFF);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return pixels;
}

TEST_F(OwnerPopupTest, IncomingCallPopupShowsTheCallerWithDeclineFocusedAndTakesNoFocus) {
  call_.OnIncomingCall("call-1", "bob");
  ASSERT_TRUE(PassUntilShown(kCallTitle));
  const unsigned long popup = Popup(kCallTitle);
  const std::array<int, 4> at = x_.Geometry(popup);
  EXPECT_EQ((std::array<int, 2>{at[0], at[1]}), FromBottomRight(430, 355));
  EXPECT_EQ((std::array<int, 2>{at[2], at[3]}), (std::array<int, 2>{410, 165}));
  EXPECT_EQ(log_.Count("DESKTOP_INCOMING_NOTICE"), 1u);

  // Bob's avatar, 36 pixels at (16, 12) on white, as the X server shows it.
  const std::vector<uint32_t> avatar = AvatarPixels("bob", 36);
  ASSERT_NE(std::count(avatar.begin(), avatar.end(), 0xFFFFFFu), 36 * 36);
  EXPECT_TRUE(WaitFor(
      [&] {
        Pass();
        return x_.Pixels(popup, 16, 12, 36, 36) == avatar;
      },
      std::chrono::seconds(60)));

  // Decline is the popup's focused button, while the popup itself takes no
  // keyboard focus.
  GtkWindow* window = GtkWindowOf(popup);
  ASSERT_NE(window, nullptr);
  GtkWidget* focus = gtk_window_get_focus(window);
  ASSERT_TRUE(focus != nullptr && GTK_IS_BUTTON(focus));
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(focus)), "拒否");
  EXPECT_FALSE(gtk_window_get_accept_focus(window));
}

TEST_F(OwnerPopupTest, CallPopupRefusesAStaleRevisionAndAClosedOneStaysClosed) {
  call_.OnIncomingCall("call-1", "bob");
  // The popup's revision goes stale under it (the call changed before the
  // owner's next pass); its buttons then do nothing, and closing it leaves
  // the current revision to a new popup.
  struct Case {
    const char* name;
    int button_left;
  } stale[] = {{"answer", 16}, {"decline", 210}};
  for (const Case& c : stale) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(PassUntilShown(kCallTitle));
    const unsigned long popup = Popup(kCallTitle);
    const size_t actions = log_.Count("NOTICE_CALL_ACTION");
    call_.muted ^= 1;
    ClickButton(popup, c.button_left);
    x_.Close(popup);  // handled after the click: the X server keeps their order
    ASSERT_TRUE(WaitFor(
        [&] {
          pump_.Wait(0);
          (void)pump_.Drain([](const platform::PumpMessage&) {});
          return !x_.Viewable(popup);
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(log_.Count("NOTICE_CALL_ACTION"), actions);
    EXPECT_EQ(backend_.answers + backend_.declines, 0);
    EXPECT_EQ(call_.state, CallSession::kIncoming);
  }

  // Closed with the current revision, it stays closed.
  ASSERT_TRUE(PassUntilShown(kCallTitle));
  const size_t windows = platform::ui::WindowCount();
  x_.Close(Popup(kCallTitle));
  ASSERT_TRUE(PassUntilShown(kCallTitle, 0));
  EXPECT_EQ(platform::ui::WindowCount(), windows - 4);  // the popup, the name and two buttons
  for (int i = 0; i < 50; ++i) Pass();
  EXPECT_EQ(platform::ui::WindowCount(), windows - 4);
  EXPECT_EQ(log_.Count("DESKTOP_INCOMING_NOTICE"), 3u);

  // A new call has a new revision: its popup's decline ends it.
  call_.state = CallSession::kIdle;
  Pass();
  call_.OnIncomingCall("call-2", "bob");
  ASSERT_TRUE(PassUntilShown(kCallTitle));
  ClickButton(Popup(kCallTitle), 210);
  ASSERT_TRUE(WaitFor(
      [&] {
        Pass();
        return backend_.declines == 1;
      },
      std::chrono::seconds(60)));
  EXPECT_EQ(backend_.answers, 0);
  EXPECT_EQ(call_.state, CallSession::kEnding);
  EXPECT_TRUE(PassUntilShown(kCallTitle, 0));
}

TEST_F(OwnerPopupTest, ChatPopupGoesAfterThreeSecondsOrWhenClosedAndNothingShowsWithNotificationsOff) {
  settings_.peer_modes["alice/carol"] = 1;  // quiet: no sound for Carol
  const size_t windows = platform::ui::WindowCount();
  DeliverNotice(0);
  ASSERT_TRUE(PassUntilShown(kChatTitle));
  const std::array<int, 4> at = x_.Geometry(Popup(kChatTitle));
  EXPECT_EQ((std::array<int, 2>{at[0], at[1]}), FromBottomRight(430, 180));
  // On the owner's clock: still there 2,999 ms after the notice, gone at 3,000.
  clock_.Advance(2999);
  Pass();
  EXPECT_EQ(platform::ui::WindowCount(), windows + 3);  // the popup, its title and body
  clock_.Advance(1);
  Pass();
  EXPECT_EQ(platform::ui::WindowCount(), windows);
  EXPECT_TRUE(PassUntilShown(kChatTitle, 0));

  // Closed, its notice leaves the queue.
  DeliverNotice(1);
  ASSERT_TRUE(PassUntilShown(kChatTitle));
  ASSERT_EQ(owner_->GetPendingNotices().size(), 1u);
  x_.Close(Popup(kChatTitle));
  ASSERT_TRUE(PassUntilShown(kChatTitle, 0));
  EXPECT_TRUE(owner_->GetPendingNotices().empty());

  // Notifications off: both popups go at once, and nothing new is shown.
  DeliverNotice(2);
  call_.OnIncomingCall("call-1", "bob");
  ASSERT_TRUE(PassUntilShown(kChatTitle));
  ASSERT_TRUE(PassUntilShown(kCallTitle));
  owner_->SetNotificationsEnabled(false);
  EXPECT_EQ(platform::ui::WindowCount(), windows);
  DeliverNotice(3);
  call_.state = CallSession::kIdle;
  Pass();
  call_.OnIncomingCall("call-2", "bob");
  for (int i = 0; i < 50; ++i) Pass();
  EXPECT_EQ(platform::ui::WindowCount(), windows);
  EXPECT_TRUE(x_.ViewableWindowsTitled(kCallTitle).empty());
  EXPECT_TRUE(x_.ViewableWindowsTitled(kChatTitle).empty());
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
