#include "phone_ui/chat_app.h"

#include <gtest/gtest.h>

#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_text.h"
#include "support/fake_call_gateway.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::FindDraw;
using quorix_test::PhoneFixture;
using quorix_test::PhoneText;

// Launcher mode, the chat app open, the recording fake.
struct ChatApp : PhoneFixture {
  ChatApp() : PhoneFixture(false, PhoneText::kEmpty) { OpenChatApp(); }
  const test_support::RecordedTextDraw* Draw(std::u16string_view text) { return FindDraw(Draws(), text); }
  void ChatView(bool live_read_only) {
    ui.chat_view_open = 1;
    ui.live_read_only = live_read_only ? 1 : 0;
  }
  void Calling(uint32_t state, uint8_t muted = 0) {
    call.state = state;
    call.peer_id = "friend00";
    call.muted = muted;
  }
  std::vector<std::u16string> TextsAt(int32_t x) {
    std::vector<std::u16string> out;
    for (const auto& d : Draws()) {
      if (d.x == x) out.push_back(d.text);
    }
    return out;
  }
};

TEST(ChatAppTest, AccountPageWithoutOwnerIsCardAndBannerOnly) {
  ChatApp f;
  f.ui.AttachOwner(nullptr);
  const PhoneCanvas c = f.Launcher();
  ASSERT_NE(f.Draw(u"Quorix 入力"), nullptr);
  ASSERT_NE(f.Draw(u"チャットプレビュー（通信OFF）"), nullptr);
  EXPECT_EQ(f.Draw(u"ログイン")->width, 168 - 7);
  EXPECT_EQ(f.Draw(u"入力テスト")->y, 361 + 5);
  EXPECT_EQ(f.Draw(u"Quorix ログイン"), nullptr);
  EXPECT_EQ(f.Draw(u"Quorix"), nullptr);
  EXPECT_EQ(c.PixelAt(100, 190), 0xFF2A2625u) << "no status band over the card's title";
}

TEST(ChatAppTest, AccountPageStatusFollowsTheOwner) {
  struct Case {
    uint32_t code;
    bool failed;
    std::u16string line;
    bool call_line;
  } cases[] = {
      {0, false, GetOwnerStatusText(0), false},
      {3, false, GetOwnerStatusText(3), true},
      {4, false, GetOwnerStatusText(4), false},
      {3, true, u"処理と入力を確認して、もう一度操作してください", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ChatApp f;
    if (c.code == 0) f.SignOut(0); else f.SignIn(c.code);
    f.ui.last_owner_action_failed = c.failed ? 1 : 0;
    const PhoneCanvas canvas = f.Launcher();
    ASSERT_NE(f.Draw(u"Quorix"), nullptr);
    ASSERT_NE(f.Draw(c.line), nullptr);
    EXPECT_EQ(f.Draw(c.line)->y, 197);
    EXPECT_EQ(f.Draw(u"ログイン")->width, 151 - 7);
    EXPECT_EQ(f.Draw(u"発信・着信が可能です") != nullptr, c.call_line && c.code == 3);
    EXPECT_EQ(f.Draw(u"発信権限・通話の接続状態を確認してください") != nullptr, c.code == 4);
    EXPECT_EQ(canvas.PixelAt(100, 190), 0xFF2A2625u);
  }
}

TEST(ChatAppTest, FieldsShowTheirLast24UnitsWithPairsWhole) {
  ChatApp f;
  f.ui.keyboard.password = std::u16string(30, u'p');
  f.ui.keyboard.id = u"x";
  for (int k = 0; k < 12; ++k) f.ui.keyboard.id += u"𠮷";
  f.ui.keyboard.id += u"z";  // 26 units: the 24th from the end is a low half
  f.Launcher();
  EXPECT_NE(f.Draw(std::u16string(24, u'●')), nullptr);
  std::u16string tail;
  for (int k = 0; k < 11; ++k) tail += u"𠮷";
  ASSERT_NE(f.Draw(tail + u"z"), nullptr);
  EXPECT_EQ(FieldTail(u"short"), u"short");
}

TEST(ChatAppTest, ListStateAndChipFollowTheFlags) {
  struct Case {
    bool owner, read_only, loaded, failed, in_flight;
    std::u16string title, shown;
    int32_t shown_y;
    std::u16string chip;
    uint32_t chip_colour;
    bool tabs;
  } cases[] = {
      {false, true, false, false, false, u"チャットプレビュー", u"実データ読込（GET）", 147 + 9, u"デモ", 0xFF7E655B, true},
      {true, false, false, false, false, u"フレンド・トーク", u"接続設定を確認してください", 151, u"", 0, false},
      {true, true, false, true, false, u"フレンド・トーク", u"一覧を取得できませんでした。更新を押してください", 276,
       u"読込失敗", 0xFF3030A4, false},
      {true, true, false, false, true, u"フレンド・トーク", u"フレンド・トークを読み込んでいます", 276, u"通信中",
       0xFF7E655B, false},
      {false, true, true, false, false, u"チャットプレビュー", u"デモへ戻す", 147 + 9, u"実データ", 0xFF7E655B, true},
      {false, false, false, false, false, u"チャットプレビュー", u"デモデータのみ・通信OFF・送信／既読更新不可", 151, u"",
       0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.owner << c.read_only << c.loaded << c.failed << c.in_flight);
    ChatApp f;
    if (!c.owner) f.ui.AttachOwner(nullptr);
    if (c.loaded) f.Load(PhoneFixture::Snapshot(3));
    f.ChatView(c.read_only);
    f.ui.list_fetch_unavailable = c.failed ? 1 : 0;
    f.ui.list_fetch_started = c.in_flight ? 1 : 0;
    f.Launcher();
    EXPECT_NE(f.Draw(c.title), nullptr);
    ASSERT_NE(f.Draw(c.shown), nullptr);
    EXPECT_EQ(f.Draw(c.shown)->y, c.shown_y);
    if (!c.chip.empty()) {
      ASSERT_NE(f.Draw(c.chip), nullptr);
      EXPECT_EQ(f.Draw(c.chip)->colour, c.chip_colour);
    }
    EXPECT_EQ(f.Draw(u"会話") != nullptr, c.tabs);
  }
}

TEST(ChatAppTest, FriendsTabKeepsStoredOrderAndTalkTabTheConversationOrder) {
  ChatApp f;
  ChatSnapshot snapshot = PhoneFixture::Snapshot(3);
  std::swap(snapshot.conversations[0], snapshot.conversations[2]);
  f.Load(snapshot);
  f.ChatView(true);
  const std::vector<std::u16string> stored = {u"Friend 0", u"Friend 1", u"Friend 2"};
  f.Launcher();
  EXPECT_EQ(f.TextsAt(104).size(), 6u);
  EXPECT_EQ(f.Draw(u"Friend 0")->y, 268 + 11);
  EXPECT_EQ(f.Draw(u"Friend 2")->y, 268 + 228 + 11);
  ASSERT_TRUE(f.ui.chat_model.SelectRightTab());
  f.Launcher();
  const std::vector<std::string> ids = f.ui.chat_model.FriendIds();
  ASSERT_NE(ids.front(), "friend00");
  EXPECT_EQ(f.Draw(u"Friend 0")->y, 268 + 114 * 2 + 11) << "conversation order puts friend00 last";
}

TEST(ChatAppTest, UnreadDotsOnlyForLiveData) {
  for (bool live : {false, true}) {
    SCOPED_TRACE(live);
    ChatApp f;
    f.ui.AttachOwner(nullptr);
    if (live) f.Load(PhoneFixture::Snapshot(3));  // friend01 has 1 unread
    f.ChatView(true);
    const PhoneCanvas c = f.Launcher();
    EXPECT_EQ(c.PixelAt(482, 268 + 114 + 24) == 0xFF63BE23u, live);
    EXPECT_EQ(c.PixelAt(239, 216) == 0xFF63BE23u, live);
    EXPECT_EQ(c.PixelAt(482, 268 + 24) == 0xFF63BE23u, false) << "friend00 has none";
  }
}

TEST(ChatAppTest, CallRowFollowsTheCall) {
  struct Case {
    uint32_t state;
    uint8_t muted;
    bool ready;
    std::u16string button, second, state_label;
    uint32_t colour;
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
    f.Load(PhoneFixture::Snapshot(2));
    f.ChatView(true);
    ASSERT_TRUE(f.ui.chat_model.OpenThread("friend01"));
    f.Calling(c.state, c.muted);
    const PhoneCanvas canvas = f.Launcher();
    ASSERT_NE(f.Draw(c.button), nullptr);
    EXPECT_EQ(f.Draw(c.button)->y, 193 + 16);
    EXPECT_EQ(canvas.PixelAt(415, 217), c.colour);
    if (!c.second.empty()) { EXPECT_NE(f.Draw(c.second), nullptr); }
    EXPECT_EQ(canvas.PixelAt(310, 217) == 0xFF4A3FA6u, !c.second.empty());
    if (!c.state_label.empty()) { EXPECT_EQ(f.Draw(c.state_label)->y, 226); }
  }
}

std::vector<ChatMessage> Seven() {
  std::vector<ChatMessage> messages;
  for (int k = 0; k < 7; ++k) {
    messages.push_back({"m" + std::to_string(k), k % 2 ? "me" : "friend00", "x", "text " + std::to_string(k),
                        1741000000.0 + k * 60});
  }
  return messages;
}

TEST(ChatAppTest, LiveConversationPagesNewestFirst) {
  struct Case {
    uint64_t page;
    size_t messages;
    std::u16string first_text;
    uint32_t older, newer;
  } cases[] = {
      {0, 7, u"text 2", 0xFFFFFBFA, 0xFFCAB7AF},
      {1, 7, u"text 0", 0xFFCAB7AF, 0xFFFFFBFA},
      {9, 7, u"text 0", 0xFFCAB7AF, 0xFFFFFBFA},
      {0, 0, u"メッセージ履歴なし", 0xFFCAB7AF, 0xFFCAB7AF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    ChatApp f;
    f.Load(PhoneFixture::Snapshot(2));
    f.ChatView(true);
    std::vector<ChatMessage> all = Seven();
    all.resize(c.messages);
    f.OpenConversation("friend00", all);
    f.ui.live_page_index = c.page;
    const PhoneCanvas canvas = f.Launcher();
    ASSERT_NE(f.Draw(c.first_text), nullptr);
    if (c.messages > 0) { EXPECT_EQ(f.Draw(c.first_text)->y, 291 + 26); }
    EXPECT_EQ(canvas.PixelAt(360, 250), c.older);
    EXPECT_EQ(canvas.PixelAt(440, 250), c.newer);
  }
}

TEST(ChatAppTest, ConversationFooterAndHistoryLines) {
  ChatApp f;
  f.Load(PhoneFixture::Snapshot(2));
  f.ChatView(true);
  f.OpenConversation("friend00", Seven());
  f.ui.history_failed = 1;
  f.ui.send_outcome_uncertain = 1;
  f.ui.send_status_text = u"届いたか不明";
  f.Launcher();
  EXPECT_EQ(f.Draw(u"履歴取得失敗（送信しないでください）")->colour, 0xFF2B2BA0u);
  EXPECT_EQ(f.Draw(u"届いたか不明")->colour, 0xFF2C2CA5u);
  EXPECT_NE(f.Draw(u"ここを押して文字を入力"), nullptr);
  EXPECT_NE(f.Draw(u"自分"), nullptr);
  f.ui.keyboard.message = u"こんにちは";
  f.ui.history_failed = 0;
  f.Launcher();
  EXPECT_EQ(f.Draw(u"ここを押して文字を入力"), nullptr);
  EXPECT_EQ(f.Draw(u"こんにちは")->y, 795);
  EXPECT_NE(f.Draw(u"履歴はこのPCに保存されます"), nullptr);
}

TEST(ChatAppTest, DemoBubblesStopAboveTheFooter) {
  ChatApp f;
  f.ui.AttachOwner(nullptr);
  f.ChatView(false);
  const std::string peer = f.ui.chat_model.friends().front().user_id;
  std::vector<ChatMessage> more;
  for (int k = 0; k < 8; ++k) more.push_back({"x" + std::to_string(k), peer, f.ui.chat_model.self_id(), "more", 1900000000.0 + k});
  ASSERT_TRUE(f.ui.chat_model.AddMessages(peer, more));
  ASSERT_TRUE(f.ui.chat_model.OpenThread(peer));
  f.Launcher();
  size_t bubbles = 0;
  for (const auto& d : f.Draws()) {
    if (d.text == u"自分（デモ）" || d.text == u"相手（デモ）") {
      ++bubbles;
      EXPECT_LT(d.y - 7, 734);
    }
  }
  EXPECT_EQ(bubbles, 5u);
  EXPECT_NE(f.Draw(u"送信・既読変更は無効"), nullptr);
}

TEST(ChatAppTest, AudioDevicePage) {
  struct Case {
    int32_t selected;
    bool idle, english, with_settings, save_failed;
    std::u16string name, position;
  } cases[] = {
      {-1, true, false, false, false, u"機器を選んでください", u"0 / 2"},
      {1, false, false, true, false, u"Speaker B", u"2 / 2"},
      {5, true, true, true, true, u"Select a device", u"0 / 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selected);
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
    const auto* name = f.Draw(c.name);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->y, 420 + 47);
    ASSERT_NE(f.Draw(c.position), nullptr);
    EXPECT_EQ(canvas.PixelAt(30, 420 + 120), c.idle ? 0xFFED6823u : 0xFFB29E96u);
    EXPECT_NE(f.Draw(c.english ? u"Microphone" : u"マイク"), nullptr);
    EXPECT_EQ(f.Draw(u"100%") != nullptr, c.with_settings);
    EXPECT_EQ(f.Draw(u"Could not save settings.") != nullptr, c.save_failed);
  }
}

TEST(ChatAppTest, CallPanelCardsAndWhatTheyRecord) {
  struct Case {
    uint32_t state;
    bool expanded_flag, with_settings, notice;
    std::u16string title, right;
    bool left;
    int32_t notice_top;
  } cases[] = {
      {CallSession::kIncoming, false, false, true, u"着信中", u"拒否", true, 338},
      {CallSession::kConnected, false, false, true, u"通話中", u"", false, 158},
      {CallSession::kConnected, true, false, false, u"通話中", u"終話", true, 0},
      {CallSession::kOutgoing, true, false, false, u"発信中", u"終話", false, 0},
      {CallSession::kFailed, true, false, false, u"通話に失敗しました", u"確認", false, 0},
      {CallSession::kFailed, true, true, true, u"", u"", false, 78},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    ChatApp f;
    f.SignIn(3);
    f.owner.call_revision = 41;
    f.owner.call_peer_name = u"佐藤 花";
    if (c.notice) f.owner.pending_notices.push_back({7, 0, u"Hana", u"短い本文", "hana"});
    if (c.with_settings) f.ui.settings = &f.settings;
    f.ui.call_card_expanded = c.expanded_flag ? 1 : 0;
    f.Calling(c.state);
    PhoneCanvas canvas(255);
    RenderCallPanel(f.ui, canvas, 1);
    EXPECT_EQ(f.ui.drawn_call_revision[1], c.title.empty() ? 0u : 41u);
    EXPECT_EQ(f.ui.drawn_notice_id[1], c.notice ? 7u : 0u);
    if (!c.title.empty()) { EXPECT_EQ(f.Draw(c.title)->y, 86); }
    if (!c.right.empty()) { EXPECT_NE(f.Draw(c.right), nullptr); }
    EXPECT_EQ(canvas.PixelAt(40, 260) == 0xFFAE6B4Au, c.left);
    if (c.notice) { EXPECT_EQ(f.Draw(u"新着メッセージ")->y, c.notice_top + 12); }
  }
}

TEST(ChatAppTest, CallPanelDrawsNothingUnlessSignedInWithNotifications) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    ChatApp f;
    f.SignIn(3);
    f.Calling(CallSession::kIncoming);
    f.owner.pending_notices.push_back({7, 0, u"t", u"b", "p"});
    if (way == 0) f.owner.notifications_enabled = false;
    if (way == 1) f.SignOut(0);
    f.ui.drawn_call_revision = {5, 5};
    f.ui.drawn_notice_id = {6, 6};
    PhoneCanvas canvas(255);
    RenderCallPanel(f.ui, canvas, way == 2 ? 2 : 0);
    EXPECT_EQ(canvas.PixelAt(100, 100), 0xFFFFFFFFu);
    EXPECT_EQ(f.ui.drawn_call_revision[0], way == 2 ? 5u : 0u);
    EXPECT_EQ(f.ui.drawn_notice_id[0], way == 2 ? 6u : 0u);
    EXPECT_EQ(f.ui.drawn_notice_id[1], 6u);
  }
}

TEST(ChatAppTest, NoticeBodyThreeLinesOf23Units) {
  ChatApp f;
  f.SignIn(3);
  std::u16string body = std::u16string(22, u'あ') + u"𠮷" + std::u16string(60, u'い');
  f.owner.pending_notices.push_back({9, 0, u"Title", body, "p"});
  PhoneCanvas canvas(255);
  RenderCallPanel(f.ui, canvas, 0);
  ASSERT_NE(f.Draw(std::u16string(22, u'あ')), nullptr) << "the pair moves to the next line";
  EXPECT_EQ(f.Draw(std::u16string(22, u'あ'))->y, 78 + 76);
  const auto& last = f.Draws().back();
  EXPECT_EQ(last.y, 78 + 76 + 58);
  EXPECT_EQ(last.text.back(), u'…');
}

TEST(ChatAppTest, LauncherDrawsTheChatPageBetweenShellAndBars) {
  ChatApp f;
  f.SignIn(3);
  const PhoneCanvas chat = f.Launcher();
  f.ui.launcher_app = 3;
  const PhoneCanvas notes = f.Launcher();
  EXPECT_EQ(chat.PixelAt(5, 300), 0xFFFDF9F7u);
  EXPECT_NE(notes.PixelAt(5, 300), 0xFFFDF9F7u);
  for (int32_t y : {10, 930}) EXPECT_EQ(chat.PixelAt(5, y), notes.PixelAt(5, y)) << y;
}

}  // namespace
