// The friend request, notification, settings, pointer, history and wrist
// screens, the popup cards and the launcher frame: labels through the
// recording text fake, shapes through pixel probes with empty masks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "chat/avatar_cache.h"
#include "dump_native_views.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/launcher.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/ui_text.h"
#include "support/fake_call_gateway.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::FindDraw;
using quorix_test::PhoneFixture;
using Notice = quorix_native::Ui::Notice;

const NativePalette& P = kNativePaletteLight;

uint32_t Pixel(const FrameBuffer& frame, int x, int y) {
  uint32_t word;
  std::memcpy(&word, frame.data() + (size_t(y) * 540 + size_t(x)) * 4, 4);
  return word;
}

size_t Count(PhoneFixture& f, std::u16string_view text) {
  const auto& d = f.Draws();
  return size_t(std::count_if(d.begin(), d.end(), [&](const auto& r) { return r.text == text; }));
}

Notice Make(uint64_t id, std::u16string title, std::u16string body, std::string peer = "p") {
  Notice notice;
  notice.id = id;
  notice.title = std::move(title);
  notice.body = std::move(body);
  notice.peer_id = std::move(peer);
  return notice;
}

bool AllZero(const FrameBuffer& frame) {
  return std::all_of(frame.bytes().begin(), frame.bytes().end(), [](uint8_t b) { return b == 0; });
}

// Signed in, English, on `screen`.
struct Phone : PhoneFixture {
  explicit Phone(uint32_t screen) {
    SignIn(3);
    owner.own_user_id = "me";
    SetTheme(false, true);
    ui.native_screen = screen;
  }
};

TEST(FriendRequestScreenTest, StatusLineFollowsItsPrecedenceAndIsRedWhenFailed) {
  struct Case { uint8_t busy, failed, unreachable; uint32_t op; std::u16string_view text; };
  const Case cases[] = {{1, 1, 1, 1, u"Working…"}, {0, 1, 1, 1, u"Result unknown. Refresh before trying again."},
                        {0, 1, 0, 1, u"Request failed. Check the ID and request status."},
                        {0, 0, 0, 3, u"Updated."}, {0, 0, 0, 0, u"Accepted requests appear in your Friends list."}};
  Phone f(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()).size());
    f.owner.friend_requests = {};
    f.owner.friend_requests.busy = c.busy;
    f.owner.friend_requests.failed = c.failed;
    f.owner.friend_requests.unreachable = c.unreachable;
    f.owner.friend_requests.last_operation = c.op;
    f.Screens();
    const auto* line = FindDraw(f.Draws(), c.text);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->colour, c.failed ? 0xFF634DD8u : P.secondary);
  }
}

TEST(FriendRequestScreenTest, IncomingRowsComeFirstFourAPageWithAnUnclampedLabel) {
  struct Case { size_t incoming, sent; uint64_t page; size_t in, pending; std::u16string_view label; };
  const Case cases[] = {{5, 2, 0, 4, 0, u"1 / 2"}, {5, 2, 1, 1, 2, u"2 / 2"}, {5, 2, 2, 0, 0, u"3 / 2"},
                        {0, 0, 0, 0, 0, u"1 / 1"}};
  Phone f(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    f.owner.friend_requests = {};
    for (size_t i = 0; i < c.incoming; ++i) f.owner.friend_requests.incoming.push_back("in" + std::to_string(i));
    for (size_t i = 0; i < c.sent; ++i) f.owner.friend_requests.outgoing.push_back("out" + std::to_string(i));
    f.ui.friend_request_page = c.page;
    f.Screens();
    EXPECT_EQ(Count(f, u"Incoming"), c.in);
    EXPECT_EQ(Count(f, u"Skip"), c.in);
    EXPECT_EQ(Count(f, u"Accept"), c.in);
    EXPECT_EQ(Count(f, u"Pending"), c.pending);
    EXPECT_NE(FindDraw(f.Draws(), c.label), nullptr);
    EXPECT_EQ(Count(f, u"No pending requests."), c.incoming + c.sent == 0 ? 1u : 0u);
  }
}

TEST(FriendNotificationScreenTest, ThePeersOwnEntryPicksThePrimaryPill) {
  struct Case { const char* key; int32_t mode; int32_t lit; };
  const Case cases[] = {{"other/x", 2, 0}, {"me/bob", 2, 2}, {"me/bob", 1, 1}, {"someone/bob", 2, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    Phone f(8);
    f.ui.selected_friend_id = "bob";
    f.settings.peer_modes[c.key] = c.mode;
    const PhoneCanvas canvas = f.Screens();
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(canvas.PixelAt(270, 333 + 87 * i) == P.accent, i == c.lit) << i;
  }
}

TEST(SettingsScreenTest, SignedOutDropsHistoryFilesAndTheAngleIsTruncated) {
  Phone f(3);
  f.settings.ring_visibility_deg = 47.9f;
  f.Screens();
  EXPECT_NE(FindDraw(f.Draws(), u"47°"), nullptr);
  EXPECT_NE(FindDraw(f.Draws(), u"History files"), nullptr);
  EXPECT_NE(FindDraw(f.Draws(), u"Log out"), nullptr);
  f.SignOut(0);
  f.Screens();
  EXPECT_EQ(FindDraw(f.Draws(), u"History files"), nullptr);
}

TEST(SettingsScreenTest, PrimaryPillsFollowThemeLanguageRingAndMode) {
  for (int bits = 0; bits < 24; ++bits) {
    SCOPED_TRACE(bits);
    Phone f(3);
    f.SetTheme(bits & 1, bits & 2);
    f.settings.ring_black = bits & 4;
    f.settings.notification_mode = bits / 8;
    const NativePalette& p = GetNativePalette(bits & 1);
    const PhoneCanvas c = f.Screens();
    EXPECT_EQ(c.PixelAt(145, 234) == p.accent, !(bits & 1));
    EXPECT_EQ(c.PixelAt(394, 234) == p.accent, bool(bits & 1));
    EXPECT_EQ(c.PixelAt(394, 368) == p.accent, bool(bits & 2));
    EXPECT_EQ(c.PixelAt(430, 578) == p.accent, bool(bits & 4));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.PixelAt(106 + 164 * i, 500) == p.accent, i == bits / 8);
  }
}

TEST(PointerScreenTest, PreviewDotRadiusRimAndFooter) {
  struct Case { uint32_t pct; int32_t r; bool blue; bool failed; };
  const Case cases[] = {{50, 7, true, false}, {100, 14, false, true}, {200, 28, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pct);
    Phone f(9);
    f.settings.pointer_size_percent = c.pct;
    f.settings.pointer_blue = c.blue;
    f.settings.store_failed = c.failed;
    const PhoneCanvas canvas = f.Screens();
    EXPECT_EQ(canvas.PixelAt(270 + c.r - 1, 752), c.blue ? 0xFFFF8020u : 0xFF3D2DEBu);
    EXPECT_EQ(canvas.PixelAt(270 + c.r + 1, 752), c.blue ? 0xFF000000u : P.surface);
    EXPECT_EQ(canvas.PixelAt(270 + c.r + 3, 752), P.surface);
    const auto* footer =
        FindDraw(f.Draws(), c.failed ? u"Could not save settings." : u"Changes apply now and are saved for next time.");
    ASSERT_NE(footer, nullptr);
    EXPECT_EQ(footer->colour, c.failed ? 0xFF634DD8u : P.secondary);
  }
}

TEST(WristSettingsPageTest, BothPagesShowRoundedValuesAndTheCountdown) {
  Phone f(7);
  f.settings.ring_visibility_deg = 47.5f;
  f.settings.wrist_y = -0.025f;
  for (bool dark : {false, true}) {
    f.SetTheme(dark, true);
    const PhoneCanvas wrist = f.Screens();
    EXPECT_EQ(wrist.PixelAt(144, 250), 0xFFED6823u);
    EXPECT_NE(FindDraw(f.Draws(), u"48°"), nullptr);
    for (std::u16string_view kept : {u"手首リングの色", u"白", u"黒", u"通知の表示", u"画面を正面へ戻す",
                                     u"リングの表示角度",
                                     u"5〜90°。色・通知・角度は次回も保持します。"}) {
      EXPECT_NE(FindDraw(f.Draws(), kept), nullptr);
    }
  }
  f.ui.vr_settings_fine_tune_open = 1;
  struct Case { uint32_t countdown; bool english; std::u16string_view line; };
  const Case cases[] = {{3, false, u"3秒：甲を顔へ向けて待ってください"},
                        {3, true, u"3s: face your hand toward you"},
                        {0, false, u"甲を顔へ向け、3秒待つと方向が保存されます。"},
                        {0x80000000u, false, u"甲を顔へ向け、3秒待つと方向が保存されます。"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.countdown);
    f.SetTheme(false, c.english);
    f.ui.calibration_countdown = c.countdown;
    f.Screens();
    EXPECT_NE(FindDraw(f.Draws(), c.line), nullptr);
    EXPECT_NE(FindDraw(f.Draws(), u"-25 mm"), nullptr);
  }
}

// Signed in, a call popup on display.
struct PopupPhone : Phone {
  PopupPhone() : Phone(0) {
    ui.call_popup_active = 1;
    ui.call_popup_counter = 7;
    ui.call_popup_peer_id = "bob";
    ui.call_popup_peer_name = u"Bob";
  }
  FrameBuffer Popup(uint32_t slot) {
    UseText(quorix_test::PhoneText::kEmpty);
    return ui.RenderPopupFrame(slot);
  }
  quorix_test::FakeCallGateway gateway;
};

TEST(PopupFrameTest, NoItemGivesATransparentFrameOfTheSlotsSize) {
  PopupPhone f;
  f.ui.call_popup_active = 0;
  const FrameBuffer call = f.Popup(0);
  EXPECT_EQ(call.size(), 648'000u);
  EXPECT_TRUE(AllZero(call));
  const FrameBuffer fifth = f.Popup(5);
  EXPECT_EQ(fifth.size(), 432'000u);
  EXPECT_TRUE(AllZero(fifth));
}

TEST(PopupFrameTest, CallCardStatusAndButtonsByState) {
  struct Case { uint32_t state; bool muted; bool ended; std::u16string_view status; uint32_t left, right; };
  const uint32_t none = 0;
  const Case cases[] = {
      {CallSession::kIdle, false, false, u"Connecting…", none, 0xFF644AE7},
      {CallSession::kConnecting, false, false, u"Connecting…", none, 0xFF644AE7},
      {CallSession::kIncoming, false, false, u"Incoming call…", 0xFF644AE7, P.accent},
      {CallSession::kConnected, false, false, u"In call", P.accent_soft, 0xFF644AE7},
      {CallSession::kConnected, true, false, u"In call", P.accent, 0xFF644AE7},
      {CallSession::kConnected, false, true, u"Call ended", none, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    PopupPhone f;
    if (c.state != CallSession::kIdle) {
      ASSERT_TRUE(quorix_test::DriveCallTo(f.call, f.gateway, c.state, "bob"));
    }
    if (c.muted) {
      ASSERT_TRUE(f.call.SetMuted(true));
    }
    f.ui.call_popup_ended_shown = c.ended;
    const FrameBuffer frame = f.Popup(0);
    ASSERT_EQ(frame.size(), 648'000u);
    EXPECT_NE(FindDraw(f.Draws(), c.status), nullptr);
    EXPECT_EQ(Pixel(frame, 100, 240), c.left == none ? P.surface : c.left);
    EXPECT_EQ(Pixel(frame, 400, 240), c.right == none ? P.surface : c.right);
    EXPECT_EQ(Pixel(frame, 2, 150), 0u);
    EXPECT_EQ(Pixel(frame, 270, 298), 0u);
  }
}

TEST(PopupFrameTest, NoticeBodiesAreCutAndSystemMissedCallsStayUntranslated) {
  PopupPhone f;
  const std::u16string surrogate = std::u16string(24, u'a') + u"\U0001F600" + u"b";
  f.owner.pending_notices = {Make(1, u"T", std::u16string(26, u'a')), Make(2, u"T", std::u16string(60, u'c')),
                             Make(3, u"T", surrogate)};
  f.Popup(1);
  EXPECT_NE(FindDraw(f.Draws(), std::u16string(25, u'a')), nullptr);
  EXPECT_NE(FindDraw(f.Draws(), u"a"), nullptr);
  f.Popup(2);
  EXPECT_NE(FindDraw(f.Draws(), std::u16string(25, u'c') + u"…"), nullptr);
  f.Popup(3);
  EXPECT_NE(FindDraw(f.Draws(), std::u16string(24, u'a')), nullptr);
  const UiTextEntry entry = UiTextEntries()[0];
  for (std::u16string_view title : {u"不在着信", u"Other"}) {
    f.owner.system_notice = Make(9, std::u16string(title), std::u16string(entry.japanese), "");
    const FrameBuffer frame = f.Popup(4);
    EXPECT_EQ(frame.size(), 432'000u);
    const std::u16string_view body = title == u"不在着信" ? entry.japanese : entry.english;
    EXPECT_NE(FindDraw(f.Draws(), SplitTextLines(body, 2, 25)[0]), nullptr);
  }
}

TEST(PopupFrameTest, ANoticeIsReadOnceSoExpiryBetweenReadsCannotOverrun) {
  PopupPhone f;
  const Notice a = Make(1, u"A", u"a"), b = Make(2, u"B", u"b");
  f.owner.pending_notice_script = {{a, b}, {a}};
  f.owner.ClearCalls();
  EXPECT_FALSE(AllZero(f.Popup(2)));
  EXPECT_NE(FindDraw(f.Draws(), u"B"), nullptr);
  EXPECT_EQ(f.owner.Count("GetPendingNotices"), 1u);
  EXPECT_TRUE(AllZero(f.Popup(2)));  // the second answer lacks the entry
  f.owner.system_notice_script = {Make(5, u"S", u""), Notice{}};
  EXPECT_FALSE(AllZero(f.Popup(4)));
  EXPECT_TRUE(AllZero(f.Popup(4)));
}

TEST(PopupFrameTest, AnUnchangedRenderKeyGivesTheSameFrame) {
  PopupPhone f;
  f.owner.friend_presence["bob"] = 2;
  std::mt19937 random(23);
  std::array<std::array<uint64_t, 5>, 5> keys{};
  std::array<FrameBuffer, 5> frames;
  const uint32_t states[] = {CallSession::kIdle, CallSession::kOutgoing, CallSession::kIncoming,
                             CallSession::kConnected, CallSession::kEnding};
  for (int step = 0; step < 2000; ++step) {
    switch (random() % 7) {
      case 0: f.settings.dark = !f.settings.dark; break;
      case 1: f.settings.english = !f.settings.english; break;
      case 2:
        f.call.ForceReset();
        if (const uint32_t s = states[random() % 5]; s != CallSession::kIdle) {
          ASSERT_TRUE(quorix_test::DriveCallTo(f.call, f.gateway, s, "bob"));
        }
        ++f.owner.call_revision;
        break;
      case 3:
        if (f.call.SetMuted(f.call.GetSnapshot().muted == 0)) ++f.owner.call_revision;
        break;
      case 4: {
        f.owner.pending_notices.clear();
        for (uint32_t n = random() % 4; n > 0; --n) {
          const uint64_t id = random() % 50 + 1;
          f.owner.pending_notices.push_back(
              Make(id, u"T" + std::u16string(id % 5, u'x'), std::u16string(id % 40, u'y')));
        }
        const uint64_t sys = random() % 3;
        f.owner.system_notice = Make(sys, sys == 1 ? u"不在着信" : u"S", u"b", "");
        break;
      }
      case 5: quorix_avatar::Clear(); break;
      default: f.ui.call_popup_ended_shown ^= 1;
    }
    for (uint32_t slot = 0; slot < 5; ++slot) {
      const auto key = f.ui.GetPopupRenderKey(slot);
      FrameBuffer frame = f.Popup(slot);
      if (step > 0 && key == keys[slot]) {
        ASSERT_TRUE(std::equal(frame.bytes().begin(), frame.bytes().end(), frames[slot].bytes().begin()))
            << "step " << step << " slot " << slot;
      }
      keys[slot] = key;
      frames[slot] = std::move(frame);
    }
  }
}

// The launcher with a transition of `kind` begun `elapsed` ms ago.
FrameBuffer Slide(PhoneFixture& f, uint32_t kind, int64_t elapsed) {
  f.ui.transition_kind = kind;
  f.ui.transition_start = uint64_t(int64_t(f.clock.TickMs()) - elapsed);
  return f.ui.RenderPhoneFrame();
}

// The x span of `colour` on a row through the first tile row: a tile's fill
// lies 3 pixels inside its 112-pixel square.
std::pair<int, int> Span(const FrameBuffer& frame, uint32_t colour) {
  int lo = 540, hi = -1;
  for (int x = 0; x < 540; ++x) {
    if (Pixel(frame, x, 250) == colour) lo = std::min(lo, x), hi = std::max(hi, x);
  }
  return {lo, hi};
}

TEST(LauncherFrameTest, PageSlidesMoveBothPagesAndSwitchTheDotsHalfway) {
  PhoneFixture f(false);
  const uint32_t tile2 = 0xFF000000 | kLauncherTiles[2].colour, tile6 = 0xFF000000 | kLauncherTiles[6].colour;
  const FrameBuffer still = f.ui.RenderPhoneFrame();
  for (size_t i = 3; i < still.size(); i += 4) ASSERT_NE(still.data()[i], 0);
  f.ui.launcher_page_from = 0;
  f.ui.launcher_page_to = 1;
  EXPECT_EQ(Span(Slide(f, 1, 90), tile2), std::pair(119, 224));
  EXPECT_EQ(Span(Slide(f, 1, 90), tile6), std::pair(315, 420));
  EXPECT_EQ(Span(Slide(f, 1, 0), tile6).second, -1);
  EXPECT_EQ(Span(Slide(f, 1, -50), tile2), Span(Slide(f, 1, 0), tile2));
  EXPECT_EQ(Span(Slide(f, 1, 180), tile2).second, -1);
  EXPECT_EQ(Span(Slide(f, 1, 400), tile6), std::pair(45, 150));
  f.ui.launcher_page_from = 1;
  f.ui.launcher_page_to = 0;
  EXPECT_EQ(Span(Slide(f, 2, 90), tile6), std::pair(315, 420));
  EXPECT_EQ(Span(Slide(f, 2, 90), tile2), std::pair(119, 224));
  // Drawing the dots the frame shows again changes nothing; the other page's
  // dots change it.
  for (auto [ms, shown] : {std::pair{89, 1u}, {90, 0u}}) {
    const FrameBuffer frame = Slide(f, 2, ms);
    for (uint32_t page : {0u, 1u}) {
      PhoneCanvas copy(0);
      std::memcpy(copy.data(), frame.data(), kCanvasBytes);
      DrawPageDots(copy, page);
      EXPECT_EQ(std::equal(frame.bytes().begin(), frame.bytes().end(), copy.bytes().begin()), page == shown) << ms;
    }
  }
}

TEST(LauncherFrameTest, AppTransitionsShowEitherSideUnderTheVeilAndTheCallCardOnTop) {
  PhoneFixture f(false);
  ui_render_dark = true;
  ui_render_english = true;
  f.ui.launcher_screen_from = 0;
  f.ui.launcher_page_from = 1;
  f.ui.launcher_screen_to = 1;
  f.ui.launcher_app_to = 3;
  struct Case { uint32_t kind; int64_t ms; bool to; float veil; };
  const Case cases[] = {{3, 45, false, 0.275f}, {3, 90, true, 0.55f}, {5, 180, true, 0.0f}, {5, 45, false, 0.275f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ms);
    const FrameBuffer frame = Slide(f, c.kind, c.ms);
    PhoneCanvas expected(255);
    ComposeLauncherPage(expected, f.ui, c.to, c.to ? 0 : 1, c.to ? 3 : -1);
    BlendCanvasRect(expected, 0, 64, 540, 900, 0xFF2D1F1C, c.veil);
    EXPECT_TRUE(std::equal(frame.bytes().begin(), frame.bytes().end(), expected.bytes().begin()));
  }
  EXPECT_TRUE(ui_render_dark && ui_render_english);
  f.SignIn(3);
  quorix_test::FakeCallGateway gateway;
  ASSERT_TRUE(quorix_test::DriveCallTo(f.call, gateway, CallSession::kConnected, "bob"));
  f.owner.call_revision = 4;
  const FrameBuffer with_card = Slide(f, 3, 90);
  PhoneCanvas veiled(255);
  ComposeLauncherPage(veiled, f.ui, true, 0, 3);
  BlendCanvasRect(veiled, 0, 64, 540, 900, 0xFF2D1F1C, 0.55f);
  EXPECT_FALSE(std::equal(with_card.bytes().begin(), with_card.bytes().end(), veiled.bytes().begin()));
  EXPECT_EQ(f.ui.drawn_call_revision[0], 4u);
}

// Each picture of the settings-side screens shows the page its name says.
TEST(MoreDumpViewsTest, EachViewShowsItsPage) {
  const std::map<std::string, std::u16string> titles = {
      {"audio_devices", u"機器を再読込"}, {"requests_page_0", u"フレンド申請"},
      {"wrist_page", u"手首リングの色"}, {"pointer_red", u"ポインター"},
  };
  for (const NativeView& view : MoreDumpViews()) {
    const auto title = titles.find(view.name);
    if (title == titles.end()) continue;
    SCOPED_TRACE(view.name);
    PhoneFixture f;
    view.setup(f);
    f.Screens();
    EXPECT_NE(FindDraw(f.Draws(), title->second), nullptr);
  }
}

}  // namespace
