// The native phone's frame and its sign-in, home, list and conversation
// screens, through the recording text fake (labels) and pixel probes
// (shapes, with empty masks so that labels leave no ink).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <tuple>

#include "dump_native_views.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/native_screens.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::FindDraw;
using quorix_test::PhoneFixture;
using test_support::RecordedTextDraw;

const NativePalette& P = kNativePaletteLight;

uint32_t Pixel(const FrameBuffer& frame, int x, int y) {
  uint32_t word;
  std::memcpy(&word, frame.data() + (size_t(y) * 540 + size_t(x)) * 4, 4);
  return word;
}

size_t CountDraws(const std::vector<RecordedTextDraw>& draws, std::u16string_view text) {
  return size_t(std::count_if(draws.begin(), draws.end(), [&](const auto& d) { return d.text == text; }));
}

TEST(NativeFrameTest, CornersAreTransparentTheRestOpaqueAndTheModelUntouched) {
  PhoneFixture f;
  f.SignIn(3);
  f.Load(PhoneFixture::Snapshot(4));
  f.ui.dirty = 0;
  const auto drawn = f.ui.drawn_call_revision;
  const FrameBuffer frame = f.ui.RenderPhoneFrame();
  ASSERT_EQ(frame.size(), kCanvasBytes);
  for (auto [x, y] : {std::pair{0, 0}, {539, 0}, {0, 959}, {539, 959}}) EXPECT_EQ(Pixel(frame, x, y) >> 24, 0u);
  size_t opaque = 0;
  for (int y = 0; y < 960; ++y) {
    for (int x = 0; x < 540; ++x) {
      const bool corner = (x < 28 || x >= 512) && (y < 28 || y >= 932);
      opaque += !corner && Pixel(frame, x, y) >> 24 == 255;
    }
  }
  EXPECT_EQ(opaque, 540u * 960 - 4 * 28 * 28);
  const FrameBuffer again = f.ui.RenderPhoneFrame();
  EXPECT_TRUE(std::equal(frame.bytes().begin(), frame.bytes().end(), again.bytes().begin()));
  EXPECT_EQ(f.ui.dirty, 0);
  EXPECT_EQ(f.ui.drawn_call_revision, drawn);

}

TEST(NativeChromeTest, HeaderAndTheTabLitForEachScreen) {
  PhoneFixture f;
  f.SignIn(3);
  for (uint32_t screen = 0; screen <= 11; ++screen) {
    SCOPED_TRACE(screen);
    f.ui.native_screen = screen;
    const PhoneCanvas canvas = f.Screens();
    const RecordedTextDraw* time = FindDraw(f.Draws(), u"09:05");
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(std::tie(time->x, time->y, time->width, time->height), std::make_tuple(30, 19, 100, 15));
    ASSERT_NE(FindDraw(f.Draws(), u"Quorix"), nullptr);
    const int32_t lit = screen <= 10 ? NativeScreenTab(screen) : -1;
    static constexpr std::u16string_view kLabels[4] = {u"Home", u"トーク", u"フレンド", u"設定"};
    for (int32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(canvas.PixelAt(50 + 135 * i + 18, 901), i == lit ? P.accent_text : P.surface) << i;
      const RecordedTextDraw* label = nullptr;
      for (const auto& d : f.Draws()) label = d.text == kLabels[i] && d.y == 943 ? &d : label;
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(label->colour, i == lit ? P.accent_text : P.secondary);
    }
  }
}

TEST(NativeChromeTest, SignedOutShowsSignInExceptSettingsScreensWhichGetBackToLogin) {
  for (bool owner : {true, false}) {
    PhoneFixture f;
    if (!owner) f.ui.AttachOwner(nullptr);
    for (uint32_t screen = 0; screen <= 10; ++screen) {
      SCOPED_TRACE(testing::Message() << owner << " " << screen);
      f.ui.native_screen = screen;
      f.Screens();
      const bool settings_screen = screen == 3 || screen == 6 || screen == 7 || screen == 9;
      EXPECT_EQ(FindDraw(f.Draws(), u"ユーザーID") != nullptr, !settings_screen);
      EXPECT_EQ(FindDraw(f.Draws(), u"‹  ログインに戻る") != nullptr, settings_screen);
      EXPECT_EQ(FindDraw(f.Draws(), u"トーク"), nullptr);
    }
  }
}

TEST(NativeSignInTest, ButtonAndErrorLineFollowTheStatusAndThePasswordShowsOnlyDots) {
  PhoneFixture f;
  for (uint32_t code = 0; code <= 7; ++code) {
    for (uint8_t failed : {0, 1}) {
      SCOPED_TRACE(testing::Message() << code << " " << int(failed));
      f.SignOut(code);
      f.ui.last_owner_action_failed = failed;
      f.Screens();
      EXPECT_EQ(CountDraws(f.Draws(), code == 1 || code == 6 ? u"接続しています…" : u"ログイン  →"), 1u);
      EXPECT_EQ(CountDraws(f.Draws(), u"ID・パスワードと通信状態を確認してください。"), failed || code == 5 ? 1u : 0u);
    }
  }
  f.ui.keyboard.password = u"hunter2";
  f.ui.keyboard.id = u"amy";
  f.ui.keyboard_open = 1;
  f.ui.keyboard.active_field = kFieldPassword;
  const PhoneCanvas canvas = f.Screens();
  for (const char16_t* text : {u"●●●●●●●", u"amy", u"quorix.example", u"English"}) {
    EXPECT_EQ(CountDraws(f.Draws(), text), 1u) << std::string(text, text + 3);
  }
  for (const auto& d : f.Draws()) EXPECT_EQ(d.text.find(u"hunter"), std::u16string::npos);
  EXPECT_EQ(std::make_pair(canvas.PixelAt(270, 686), canvas.PixelAt(270, 567)), std::make_pair(P.accent_soft, P.surface));
}

TEST(NativeHomeTest, ThreeRowsOfFourWithBadgesAndTheOnlineDot) {
  PhoneFixture f;
  f.SignIn(3);
  ChatSnapshot snapshot = PhoneFixture::Snapshot(4);
  for (auto [k, unread] : {std::pair{0, 12}, {1, 0}, {2, 3}, {3, 5}}) snapshot.conversations[size_t(k)].unread = unread;
  f.Load(snapshot);
  f.owner.friend_presence = {{"friend00", 1}, {"friend01", 2}};
  const PhoneCanvas canvas = f.Screens();
  for (const char16_t* name : {u"Friend 0", u"Friend 1", u"Friend 2"}) EXPECT_NE(FindDraw(f.Draws(), name), nullptr);
  EXPECT_EQ(FindDraw(f.Draws(), u"Friend 3"), nullptr);
  EXPECT_NE(FindDraw(f.Draws(), u"Message 2"), nullptr);
  const RecordedTextDraw* badge = FindDraw(f.Draws(), u"12");
  ASSERT_NE(badge, nullptr);
  EXPECT_EQ(std::tie(badge->x, badge->y, badge->colour), std::make_tuple(475, 683, kNativeWhite));
  EXPECT_EQ(FindDraw(f.Draws(), u"0"), nullptr);
  EXPECT_NE(FindDraw(f.Draws(), u"3"), nullptr);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(canvas.PixelAt(74, 672 + 73 * r + 42) == kNativePresenceGreen, r == 1) << r;
  }
  EXPECT_EQ(FindDraw(f.Draws(), u"フレンドとの会話がここに表示されます。"), nullptr);
}

TEST(NativeListTest, StateLinePrecedence) {
  struct Case {
    uint8_t started, unavailable;
    size_t friends;
    std::u16string talks, friends_line;
  } cases[] = {
      {1, 1, 0, u"読み込んでいます…", u"読み込んでいます…"},
      {0, 1, 3, u"接続を確認し、更新してください。", u"接続を確認し、更新してください。"},
      {0, 0, 0, u"フレンドからトークを始めましょう。", u"フレンドを追加して、会話を始めましょう。"},
      {0, 0, 3, u"", u""},
  };
  for (const Case& c : cases) {
    for (uint32_t screen : {1u, 2u}) {
      SCOPED_TRACE(testing::Message() << int(c.started) << int(c.unavailable) << c.friends << " " << screen);
      PhoneFixture f;
      f.SignIn(3);
      if (c.friends != 0) f.Load(PhoneFixture::Snapshot(c.friends));
      f.ui.native_screen = screen;
      f.ui.list_fetch_started = c.started;
      f.ui.list_fetch_unavailable = c.unavailable;
      f.Screens();
      const RecordedTextDraw* line = nullptr;
      for (const auto& d : f.Draws()) line = d.y == 216 ? &d : line;
      const std::u16string& expected = screen == 1 ? c.talks : c.friends_line;
      EXPECT_EQ(line != nullptr ? line->text : u"", expected);
    }
  }
}

TEST(NativeListTest, ThirteenFriendsOverThreePagesAndNoRowsPastTheEnd) {
  PhoneFixture f;
  f.SignIn(3);
  f.Load(PhoneFixture::Snapshot(13));
  f.owner.friend_presence = {{"friend06", 2}};
  struct Case {
    uint64_t page;
    int first, count;
  } cases[] = {{0, 0, 6}, {1, 6, 6}, {2, 12, 1}, {3, 0, 0}, {UINT64_MAX, 0, 0}};
  for (uint32_t screen : {1u, 2u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << screen << " page " << c.page);
      f.ui.native_screen = screen;
      f.ui.native_list_page = c.page;
      f.Screens();
      std::vector<std::u16string> names;
      for (const auto& d : f.Draws()) d.x == 113 && d.height == 24 ? names.push_back(d.text) : void();
      ASSERT_EQ(names.size(), size_t(c.count));
      for (int r = 0; r < c.count; ++r) EXPECT_EQ(names[size_t(r)], Utf8ToCanvasText("Friend " + std::to_string(c.first + r)));
      if (screen == 2 && c.page == 1) {
        EXPECT_EQ(CountDraws(f.Draws(), u"オンライン"), 1u);
        EXPECT_EQ(CountDraws(f.Draws(), u"状態を確認中"), 5u);
      }
    }
  }
}

std::vector<ChatMessage> Seven() {
  std::vector<ChatMessage> messages;
  for (int k = 1; k <= 7; ++k) {
    messages.push_back({"m" + std::to_string(k), k % 2 ? "friend00" : "me", k % 2 ? "me" : "friend00",
                        "text " + std::to_string(k), double(k), k == 7});
  }
  return messages;
}

TEST(NativeConversationTest, SevenMessagesOnTwoPagesMineOnTheRight) {
  PhoneFixture f;
  f.SignIn(3);
  f.Load(PhoneFixture::Snapshot(2));
  f.OpenConversation("friend00", Seven());
  struct Case {
    uint64_t page;
    std::vector<std::u16string> texts;
  } cases[] = {{0, {u"text 3", u"text 4", u"text 5", u"text 6", u"text 7"}},
               {1, {u"text 1", u"text 2"}},
               {9, {u"text 1", u"text 2"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    f.ui.live_page_index = c.page;
    f.Screens();
    std::vector<std::u16string> texts;
    for (const auto& d : f.Draws()) {
      if (d.height != 22 || d.text.rfind(u"text ", 0) != 0) continue;
      texts.push_back(d.text);
      const bool mine = (d.text.back() - u'0') % 2 == 0;
      EXPECT_EQ(d.x, mine ? 151 : 45);
      EXPECT_EQ(d.y, 221 + 100 * int(texts.size() - 1) + 12);
    }
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(CountDraws(f.Draws(), u"配信期限切れ"), c.page == 0 ? 1u : 0u);
  }
}

TEST(NativeConversationTest, LongTextsTakeTwoLinesAndTheCallPillFollowsReadiness) {
  PhoneFixture f;
  f.Load(PhoneFixture::Snapshot(2));
  f.OpenConversation("friend00", {{"m1", "me", "friend00", std::string(39, 'a'), 1.0, false}});
  for (uint32_t code : {3u, 4u}) {
    SCOPED_TRACE(code);
    f.SignIn(code);
    const PhoneCanvas canvas = f.Screens();
    const RecordedTextDraw* second = FindDraw(f.Draws(), std::u16string(19, u'a') + u"…");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->y, 221 + 40);
    EXPECT_EQ(CountDraws(f.Draws(), std::u16string(19, u'a')), 1u);
    const RecordedTextDraw* call = FindDraw(f.Draws(), code == 3 ? u"通話" : u"発信不可");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(std::make_pair(call->colour, canvas.PixelAt(459, 111)),
              code == 3 ? std::make_pair(kNativeWhite, P.accent) : std::make_pair(P.secondary, P.subtle));
  }
}

bool IsJapanese(char16_t c) {
  return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

std::vector<RecordedTextDraw> DrawsOf(const NativeView& view, bool dark, bool english) {
  PhoneFixture f;
  f.SetTheme(dark, english);
  view.setup(f);
  f.Screens();
  return f.Draws();
}

TEST(NativeLanguageTest, EnglishChangesTextsOnlyAndDarkColoursOnlyInEveryView) {
  for (const NativeView& view : NativeDumpViews()) {
    SCOPED_TRACE(view.name);
    const auto ja = DrawsOf(view, false, false), en = DrawsOf(view, false, true), dark = DrawsOf(view, true, false);
    ASSERT_EQ(ja.size(), en.size());
    ASSERT_EQ(ja.size(), dark.size());
    size_t recoloured = 0;
    for (size_t i = 0; i < ja.size(); ++i) {
      const auto box = [](const RecordedTextDraw& d) { return std::tie(d.x, d.y, d.width, d.height, d.centred); };
      EXPECT_EQ(box(ja[i]), box(en[i]));
      EXPECT_EQ(ja[i].colour, en[i].colour);
      EXPECT_EQ(box(ja[i]), box(dark[i]));
      EXPECT_EQ(ja[i].text, dark[i].text);
      recoloured += ja[i].colour != dark[i].colour;
      const bool data = en[i].text == ja[i].text;  // names and messages
      if (data || en[i].text == u"日本語" || en[i].text.find(u'＋') != std::u16string::npos) continue;
      EXPECT_TRUE(std::none_of(en[i].text.begin(), en[i].text.end(), IsJapanese)) << i;
    }
    EXPECT_GT(recoloured, 0u);
  }
}

}  // namespace
