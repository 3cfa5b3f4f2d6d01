#include "phone_ui/chat_app.h"

#include <gtest/gtest.h>

#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_text.h"
#include "support/fake_call_gateway.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::PhoneFixture;

constexpr int32_t kAbsent = -1;
const std::u16string kPairs = u"𠮷𠮷𠮷𠮷𠮷𠮷𠮷𠮷𠮷𠮷𠮷";

// Launcher mode, the chat app open, the recording fake without ink.
struct ChatApp : PhoneFixture {
  explicit ChatApp(bool with_owner = true) : PhoneFixture(false, quorix_test::PhoneText::kEmpty) {
    OpenChatApp();
    if (!with_owner) ui.AttachOwner(nullptr);
  }
  // The y of the first draw of `text`, kAbsent when none; its colour, 0 when none.
  int32_t Y(std::u16string_view text) { return Find(text) ? Find(text)->y : kAbsent; }
  uint32_t Colour(std::u16string_view text) { return Find(text) ? Find(text)->colour : 0; }
  const test_support::RecordedTextDraw* Find(std::u16string_view text) {
    return text.empty() ? nullptr : quorix_test::FindDraw(Draws(), text);
  }
  void ChatView(bool read_only, size_t live_friends = 0) {
    if (live_friends > 0) Load(Snapshot(live_friends));
    ui.chat_view_open = 1;
    ui.live_read_only = read_only ? 1 : 0;
  }
  PhoneCanvas Panel(uint8_t target) {
    PhoneCanvas canvas(255);
    RenderCallPanel(ui, canvas, target);
    return canvas;
  }
};

TEST(ChatAppTest, AccountPageFollowsOwnerAndStatus) {
  struct Case {
    bool owner;
    uint32_t code;  // 0 signed out
    bool failed;
    std::u16string line;
    int32_t button_width, call_line_y;
  } cases[] = {
      {false, 0, false, u"", 168, kAbsent},
      {true, 0, false, GetOwnerStatusText(0), 151, kAbsent},
      {true, 3, false, GetOwnerStatusText(3), 151, 716},
      {true, 4, true, u"処理と入力を確認して、もう一度操作してください", 151, kAbsent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f(c.owner);
    c.code == 0 ? f.SignOut(0) : f.SignIn(c.code);
    f.ui.last_owner_action_failed = c.failed ? 1 : 0;
    f.ui.keyboard.password = std::u16string(30, u'p');
    f.ui.keyboard.id = u"x𠮷" + kPairs + u"z";  // 26 units: a cut at 24 would start on a low half
    f.Launcher();
    EXPECT_EQ(f.Y(std::u16string(24, u'●')), 293 + 14);
    EXPECT_EQ(f.Y(kPairs + u"z"), 225 + 14);
    EXPECT_EQ(f.Y(u"Quorix 入力"), 166);
    EXPECT_EQ(f.Y(c.owner ? u"フレンド・トークへ" : u"チャットプレビュー（通信OFF）"), 580);
    EXPECT_EQ(f.Find(u"ログイン")->width, c.button_width - 7);
    EXPECT_EQ(f.Y(u"Quorix"), c.owner ? 92 : kAbsent);
    EXPECT_EQ(f.Y(u"入力テスト"), c.owner ? kAbsent : 366);
    if (c.owner) { EXPECT_EQ(f.Y(c.line), 197); }
    EXPECT_EQ(f.Y(u"発信・着信が可能です"), c.call_line_y);
  }
}

TEST(ChatAppTest, ListStateChipAndRetryFollowTheFlags) {
  struct Case {
    bool owner, read_only, loaded, failed, in_flight; std::u16string title, shown; int32_t shown_y;
    std::u16string chip; uint32_t chip_colour; bool tabs;
  } cases[] = {
      {false, true, false, false, false, u"チャットプレビュー", u"実データ読込（GET）", 156, u"デモ", 0xFF7E655B, true},
      {true, false, false, false, false, u"フレンド・トーク", u"接続設定を確認してください", 151, u"", 0, false},
      {true, true, false, true, false, u"フレンド・トーク", u"一覧を取得できませんでした。更新を押してください", 276,
       u"読込失敗", 0xFF3030A4, false},
      {true, true, false, false, true, u"フレンド・トーク", u"フレンド・トークを読み込んでいます", 276, u"通信中",
       0xFF7E655B, false},
      {false, true, true, false, false, u"チャットプレビュー", u"デモへ戻す", 156, u"実データ", 0xFF7E655B, true},
      {false, false, false, false, false, u"チャットプレビュー", u"デモデータのみ・通信OFF・送信／既読更新不可", 151,
       u"", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f(c.owner);
    f.ChatView(c.read_only, c.loaded ? 3 : 0);
    f.ui.list_fetch_unavailable = c.failed ? 1 : 0;
    f.ui.list_fetch_started = c.in_flight ? 1 : 0;
    f.Launcher();
    EXPECT_EQ(f.Y(c.title), 92);
    EXPECT_EQ(f.Y(c.shown), c.shown_y);
    if (!c.chip.empty()) { EXPECT_EQ(f.Colour(c.chip), c.chip_colour); }
    EXPECT_EQ(f.Y(u"会話") != kAbsent, c.tabs);
  }
}

TEST(ChatAppTest, FriendsTabInStoredOrderTalkTabInConversationOrderDotsOnlyLive) {
  ChatApp f;
  ChatSnapshot snapshot = PhoneFixture::Snapshot(3);  // friend01 has 1 unread
  std::swap(snapshot.conversations[0], snapshot.conversations[2]);
  f.Load(snapshot);
  f.ChatView(true);
  PhoneCanvas canvas = f.Launcher();
  EXPECT_EQ(f.Y(u"Friend 0"), 268 + 11);
  EXPECT_EQ(f.Y(u"Friend 2"), 268 + 228 + 11);
  EXPECT_EQ(canvas.PixelAt(482, 268 + 114 + 24), 0xFF63BE23u);
  EXPECT_EQ(canvas.PixelAt(239, 216), 0xFF63BE23u);
  EXPECT_NE(canvas.PixelAt(482, 268 + 24), 0xFF63BE23u);
  ASSERT_TRUE(f.ui.chat_model.SelectRightTab());
  f.Launcher();
  EXPECT_EQ(f.Y(u"Friend 0"), 268 + 228 + 11) << "the conversation order puts friend00 last";
  EXPECT_EQ(f.Y(u"Friend 2"), 268 + 11);
  ChatApp demo(false);
  demo.ChatView(true);
  EXPECT_NE(demo.Launcher().PixelAt(239, 216), 0xFF63BE23u) << "demo data has no unread dots";
}

TEST(ChatAppTest, CallRowFollowsTheCall) {
  struct Case {
    uint32_t state; uint8_t muted; bool ready; std::u16string button, second, state_label; uint32_t colour;
  } cases[] = {
      {CallSession::kIdle, 0, true, u"発信", u"", u"", 0xFF4A3FA6},
      {CallSession::kIdle, 0, false, u"発信不可", u"", u"", 0xFFA98A7C},
      {CallSession::kIncoming, 0, false, u"応答", u"拒否", u"着信中", 0xFF4A3FA6},
      {CallSession::kConnected, 1, false, u"終話", u"解除", u"通話中", 0xFF4A3FA6},
      {CallSession::kOutgoing, 0, false, u"終話", u"ミュート", u"発信中", 0xFF4A3FA6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f;
    quorix_test::FakeCallGateway gateway;
    gateway.ready = c.ready;
    f.call.backend = &gateway;
    f.call.enabled = 1;
    f.ChatView(true, 2);
    ASSERT_TRUE(f.ui.chat_model.OpenThread("friend01"));
    f.call.state = c.state;
    f.call.muted = c.muted;
    const PhoneCanvas canvas = f.Launcher();
    EXPECT_EQ(f.Y(c.button), 193 + 16);
    EXPECT_EQ(canvas.PixelAt(415, 217), c.colour);
    EXPECT_EQ(f.Y(c.second), c.second.empty() ? kAbsent : 209);
    EXPECT_EQ(canvas.PixelAt(310, 217) == 0xFF4A3FA6u, !c.second.empty());
    if (!c.state_label.empty()) { EXPECT_EQ(f.Y(c.state_label), 226); }
  }
}

TEST(ChatAppTest, LiveConversationPagesAndStatusLines) {
  struct Case {
    uint64_t page; size_t messages; bool failed, uncertain; std::u16string draft, first, history;
    uint32_t older, newer;
  } cases[] = {
      {0, 7, false, false, u"", u"text 2", u"履歴はこのPCに保存されます", 0xFFFFFBFA, 0xFFCAB7AF},
      {1, 7, true, true, u"やあ", u"text 0", u"履歴取得失敗（送信しないでください）", 0xFFCAB7AF, 0xFFFFFBFA},
      {9, 7, false, false, u"", u"text 0", u"履歴はこのPCに保存されます", 0xFFCAB7AF, 0xFFFFFBFA},
      {0, 0, false, false, u"", u"メッセージ履歴なし", u"履歴はこのPCに保存されます", 0xFFCAB7AF, 0xFFCAB7AF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f;
    f.ChatView(true, 2);
    std::vector<ChatMessage> messages;
    for (size_t k = 0; k < c.messages; ++k) {
      messages.push_back({"m" + std::to_string(k), k % 2 ? "me" : "friend00", "x", "text " + std::to_string(k), 1e9});
    }
    f.OpenConversation("friend00", messages);
    f.ui.live_page_index = c.page;
    f.ui.history_failed = c.failed ? 1 : 0;
    f.ui.send_outcome_uncertain = c.uncertain ? 1 : 0;
    f.ui.send_status_text = u"届いたか不明";
    f.ui.keyboard.message = c.draft;
    const PhoneCanvas canvas = f.Launcher();
    EXPECT_EQ(f.Y(c.first), c.messages > 0 ? 291 + 26 : 340);
    EXPECT_EQ(canvas.PixelAt(360, 250), c.older);
    EXPECT_EQ(canvas.PixelAt(440, 250), c.newer);
    EXPECT_EQ(f.Colour(c.history), c.failed ? 0xFF2B2BA0u : 0xFF7E655Bu);
    EXPECT_EQ(f.Colour(u"届いたか不明"), c.uncertain ? 0xFF2C2CA5u : 0xFF7E655Bu);
    EXPECT_EQ(f.Y(u"ここを押して文字を入力"), c.draft.empty() ? 795 : kAbsent);
    if (!c.draft.empty()) { EXPECT_EQ(f.Y(c.draft), 795); }
  }
}

TEST(ChatAppTest, DemoBubblesStopAboveTheFooter) {
  ChatApp f(false);
  f.ChatView(false);
  const std::string peer = f.ui.chat_model.friends().front().user_id;
  std::vector<ChatMessage> more;
  for (int k = 0; k < 8; ++k) more.push_back({"x" + std::to_string(k), peer, f.ui.chat_model.self_id(), "m", 2e9 + k});
  ASSERT_TRUE(f.ui.chat_model.AddMessages(peer, more));
  ASSERT_TRUE(f.ui.chat_model.OpenThread(peer));
  f.Launcher();
  std::vector<int32_t> ys;
  for (const auto& d : f.Draws()) {
    if (d.text == u"自分（デモ）" || d.text == u"相手（デモ）") ys.push_back(d.y);
  }
  EXPECT_EQ(ys, (std::vector<int32_t>{307, 400, 493, 586, 679}));
  EXPECT_EQ(f.Y(u"送信・既読変更は無効"), 788);
}

TEST(ChatAppTest, AudioDevicePage) {
  struct Case {
    int32_t selected; bool idle, english, with_settings, save_failed; std::u16string name, position;
  } cases[] = {
      {-1, true, false, false, false, u"機器を選んでください", u"0 / 2"},
      {1, false, false, true, false, u"Speaker B", u"2 / 2"},
      {5, true, true, true, true, u"Select a device", u"0 / 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f;
    f.SignIn(3);
    f.owner.status.idle = c.idle ? 1 : 0;
    f.owner.microphones = {{u"Mic"}, 0, 3};
    f.owner.speakers = {{u"Speaker A", u"Speaker B"}, c.selected, 4};
    f.ui.audio_panel_open = 1;
    if (c.with_settings) f.ui.settings = &f.settings;
    f.settings.english = c.english;
    f.settings.store_failed = c.save_failed;
    ui_render_english = c.english;
    const PhoneCanvas canvas = f.Launcher();
    ui_render_english = false;
    EXPECT_EQ(f.Y(c.name), 420 + 47);
    EXPECT_EQ(f.Y(c.position), 420 + 106);
    EXPECT_EQ(canvas.PixelAt(30, 420 + 120), c.idle ? 0xFFED6823u : 0xFFB29E96u);
    EXPECT_EQ(f.Y(c.english ? u"Microphone" : u"マイク"), 220);
    EXPECT_EQ(f.Y(u"100%"), c.with_settings ? 809 : kAbsent);
    EXPECT_EQ(f.Y(u"Could not save settings."), c.save_failed ? 866 : kAbsent);
  }
}

TEST(ChatAppTest, CallPanelCardsAndWhatTheyRecord) {
  struct Case {
    uint32_t state; bool expanded_flag, with_settings, notice; std::u16string title, right; bool left;
    int32_t notice_top;
  } cases[] = {
      {CallSession::kIncoming, false, false, true, u"着信中", u"拒否", true, 338},
      {CallSession::kConnected, false, false, true, u"通話中", u"", false, 158},
      {CallSession::kConnected, true, false, false, u"通話中", u"終話", true, 0},
      {CallSession::kOutgoing, true, false, false, u"発信中", u"終話", false, 0},
      {CallSession::kFailed, true, false, false, u"通話に失敗しました", u"確認", false, 0},
      {CallSession::kFailed, true, true, true, u"", u"", false, 78},
  };
  std::u16string body = std::u16string(22, u'あ') + u"𠮷" + std::u16string(60, u'い');
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f;
    f.SignIn(3);
    f.owner.call_revision = 41;
    if (c.notice) f.owner.pending_notices.push_back({7, 0, u"Hana", body, "hana"});
    if (c.with_settings) f.ui.settings = &f.settings;
    f.ui.call_card_expanded = c.expanded_flag ? 1 : 0;
    f.call.state = c.state;
    const PhoneCanvas canvas = f.Panel(1);
    EXPECT_EQ(f.ui.drawn_call_revision[1], c.title.empty() ? 0u : 41u);
    EXPECT_EQ(f.ui.drawn_notice_id[1], c.notice ? 7u : 0u);
    EXPECT_EQ(f.Y(c.title), c.title.empty() ? kAbsent : 86);
    EXPECT_EQ(f.Y(c.right), c.right.empty() ? kAbsent : 266);
    EXPECT_EQ(canvas.PixelAt(40, 260) == 0xFFAE6B4Au, c.left);
    if (!c.notice) continue;
    EXPECT_EQ(f.Y(u"新着メッセージ"), c.notice_top + 12);
    EXPECT_EQ(f.Y(std::u16string(22, u'あ')), c.notice_top + 76) << "the pair moves to the next line";
    EXPECT_EQ(f.Draws().back().y, c.notice_top + 76 + 58);
    EXPECT_EQ(f.Draws().back().text, std::u16string(23, u'い') + u"…");
  }
}

TEST(ChatAppTest, CallPanelDrawsAndRecordsNothingUnlessSignedInWithNotifications) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    ChatApp f;
    f.SignIn(3);
    f.call.state = CallSession::kIncoming;
    f.owner.pending_notices.push_back({7, 0, u"t", u"b", "p"});
    if (way == 0) f.owner.notifications_enabled = false;
    if (way == 1) f.SignOut(0);
    f.ui.drawn_call_revision = {5, 5};
    f.ui.drawn_notice_id = {6, 6};
    const PhoneCanvas canvas = f.Panel(way == 2 ? 2 : 0);  // target 2 is out of range
    EXPECT_EQ(canvas.PixelAt(100, 100), 0xFFFFFFFFu);
    EXPECT_EQ(f.ui.drawn_call_revision, (std::array<uint64_t, 2>{way == 2 ? 5u : 0u, 5u}));
    EXPECT_EQ(f.ui.drawn_notice_id, (std::array<uint64_t, 2>{way == 2 ? 6u : 0u, 6u}));
  }
}

}  // namespace
