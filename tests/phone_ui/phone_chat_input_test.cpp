// Taps on the launcher, the chat app, the call and notice cards and the
// popups, on the real model, call session and chat model.
#include <gtest/gtest.h>

#include "phone_ui/app_lifecycle.h"
#include "support/cout_capture.h"
#include "support/event_log_capture.h"
#include "support/fake_call_gateway.h"
#include "support/fake_chat_tasks.h"
#include "support/phone_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// The arguments of each call of `slot`, in order.
Strings Args(const quorix_test::FakeOwner& owner, const std::string& slot) {
  Strings out;
  for (const auto& call : owner.calls) {
    if (call.slot == slot) out.push_back(call.args);
  }
  return out;
}

class PhoneChatInputTest : public ::testing::Test {
 protected:
  PhoneChatInputTest() : p_(false) { p_.ui.chat_tasks = tasks_.Launcher(); }

  // The chat app open on a live conversation with friend00.
  void OpenLiveConversation() {
    p_.ui.live_read_only = p_.ui.live_messaging = p_.ui.chat_view_open = 1;
    p_.ui.launcher_screen = 1;
    p_.ui.launcher_app = 0;
    p_.Load(quorix_test::PhoneFixture::Snapshot(3));
    p_.OpenConversation("friend00", {});
  }
  void DriveCall(uint32_t state, const std::string& peer) {
    p_.ui.AttachCallSession(&call_);
    ASSERT_TRUE(quorix_test::DriveCallTo(call_, gateway_, state, peer));
    p_.owner.ClearCalls();
  }

  quorix_test::PhoneFixture p_;
  quorix_test::FakeChatTasks tasks_;
  quorix_test::CoutCapture out_;
  quorix_test::FakeCallGateway gateway_;
  CallSession call_;
};

TEST_F(PhoneChatInputTest, RowsCountInsideTheirBandAndTheLiveRowStartsTheFetch) {
  p_.ui.AttachOwner(nullptr);
  p_.ui.chat_view_open = p_.ui.live_read_only = 1;
  p_.ui.TapChatApp(100, 370);
  EXPECT_EQ(p_.ui.chat_model.mode(), 0u);
  p_.ui.TapChatApp(100, 368);
  EXPECT_EQ(p_.ui.chat_model.selected_id(), "demo_alice");
  tasks_.throw_next = "list";
  p_.ui.TapChatApp(100, 160);
  EXPECT_EQ(p_.ui.list_fetch_unavailable, 1);
  p_.ui.TapChatApp(100, 160);
  p_.ui.TapChatApp(100, 160);  // one fetch at a time
  EXPECT_EQ(tasks_.launches.size(), 1u);
  p_.ui.list_fetch_started = 0;
  p_.Load(quorix_test::PhoneFixture::Snapshot(2));
  p_.ui.TapChatApp(200, 160);
  EXPECT_FALSE(p_.ui.chat_model.snapshot_loaded());
  EXPECT_EQ(out_.Take(),
            "MVP03B2B_LIVE_GET=ASYNC_UNAVAILABLE\nMVP03B2B_LIVE_GET=USER_OPT_IN\nMVP03B2B_VIEW=DEMO_RESTORED\n");
}

TEST_F(PhoneChatInputTest, TheCallButtonActsOnTheConversationsCall) {
  struct Case {
    uint32_t state;
    std::string peer;
    float x;
    bool owner;
    Strings gateway, actions;
  };
  const Case cases[] = {
      {CallSession::kIdle, "", 450, true, {"StartCall(friend00)"}, {}},
      {CallSession::kIncoming, "friend00", 350, true, {}, {"2,7"}},
      {CallSession::kIncoming, "friend00", 350, false, {"DeclineCall(call-1)"}, {}},
      {CallSession::kConnected, "friend00", 350, true, {"SetMuted(call-1,true)"}, {}},
      {CallSession::kOutgoing, "friend00", 450, true, {"CancelCall(friend00)"}, {}},
      {CallSession::kIncoming, "friend01", 450, true, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.state << " " << c.peer << " " << c.owner);
    quorix_test::EventLogCapture log;
    call_.ForceReset();
    p_.ui.AttachOwner(c.owner ? &p_.owner : nullptr);
    p_.SignIn(3);
    p_.owner.call_revision = 7;
    OpenLiveConversation();
    DriveCall(c.state, c.peer);
    p_.ui.TapChatApp(c.x, 200);
    EXPECT_EQ(gateway_.calls, c.gateway);
    EXPECT_EQ(Args(p_.owner, "PerformCallAction"), c.actions);
    EXPECT_EQ(log.Count("VR_CALL_REQUEST"), c.state == CallSession::kIdle ? 1u : 0u);
    p_.ui.chat_model.CloseThread();
  }
}

TEST_F(PhoneChatInputTest, SendingChecksTheTextAndEveryGuard) {
  OpenLiveConversation();
  PhoneUi& ui = p_.ui;
  struct Case {
    std::u16string text;
    uint8_t* spoil;
    std::u16string status;
    size_t bytes;  // of the launched send; 0 none
  };
  uint8_t unused = 0;
  const Case cases[] = {
      {std::u16string(667, u'漢'), &unused, u"文字数または文字種を確認", 0},
      {u"a\xD83D", &unused, u"メッセージを確認", 0},
      {u"hi", &ui.send_in_flight, u"", 0},
      {u"hi", &ui.send_outcome_uncertain, u"", 0},
      {u"hi", &ui.history_failed, u"", 0},
      {std::u16string(666, u'漢'), &unused, u"送信中...", 1998},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    ui.send_status_text.clear();
    ui.keyboard.SetMessageText(c.text);
    *c.spoil = 1;
    ui.TapChatApp(450, 800);
    *c.spoil = 0;
    EXPECT_EQ(ui.send_status_text, c.status);
    EXPECT_EQ(tasks_.launches.empty() ? 0u : tasks_.launches[0].bytes.size(), c.bytes);
  }
  EXPECT_EQ(out_.Take(), "MVP03_CHAT_SEND=USER_TAP_ONE_REQUEST\n");
  ui.send_in_flight = 0;
  for (auto spoil : {+[](PhoneUi& u) { u.history_loaded = 0; }, +[](PhoneUi& u) { u.keyboard.active_field = 0; },
                     +[](PhoneUi& u) { u.history_peer = "friend01"; }}) {
    ui.history_loaded = 1;
    ui.keyboard.active_field = kFieldMessage;
    ui.history_peer = "friend00";
    spoil(ui);
    ui.TapChatApp(450, 800);
  }
  ui.history_peer = "friend00";
  tasks_.throw_next = "send";
  ui.TapChatApp(450, 800);
  EXPECT_EQ(tasks_.launches.size(), 1u);
  EXPECT_EQ(ui.send_status_text, u"送信処理開始に失敗");
}

TEST_F(PhoneChatInputTest, LauncherNavigationAndApps) {
  PhoneUi& ui = p_.ui;
  PhoneAppLifecycle apps;
  ASSERT_TRUE(apps.Uninstall(3));
  out_.Take();
  ui.Tap(100, 950);
  ui.launcher_page = 1;
  ui.Tap(200, 950);
  ui.Tap(60, 200);  // ignored while the launcher slides
  ASSERT_TRUE(ui.OpenExternalEditor(3, u"x", false, u"", [](const std::u16string&, bool) { return true; }));
  ui.Tap(60, 200);  // the editor closes first, then the tap goes on
  EXPECT_EQ(ui.external_editor, nullptr);
  EXPECT_EQ(ui.launcher_app_to, 6);
  ui.app_lifecycle = &apps;
  ui.transition_kind = kTransitionNone;
  ui.launcher_page = 0;
  ui.Tap(180, 300);  // between icons
  ui.Tap(60, 450);
  ui.launcher_screen = 1;
  ui.launcher_app = 4;
  ui.Tap(400, 650);
  EXPECT_FALSE(apps.apps[4].installed);
  EXPECT_EQ(out_.Take(),
            "[PF17_UI] BACK=NOOP reason=HOME_ROOT\n[PF17_UI] HOME=START target=HOME_ROOT\n"
            "[PF17_UI] APP_TRANSITION=START from=HOME target=APP app=CALENDAR\n[PF17_UI] APP_ICON=TAP app=CALENDAR page=2\n"
            "[PF19_UI] APP_ICON=BLOCKED_UNINSTALLED app=app.notes\n[PF19_APP] UNINSTALL=PASS app=app.gallery "
            "uninstall_count=1 launch=BLOCKED\n[PF19_UI] UNINSTALL_TAP=PASS app=app.gallery\n[PF17_UI] HOME=START target=HOME_ROOT\n");
}

TEST_F(PhoneChatInputTest, CardsAndPopupsActOnlyOnTheirDrawnIdentity) {
  p_.SignIn(3);
  p_.owner.call_revision = 9;
  DriveCall(CallSession::kIncoming, "friend00");
  p_.ui.drawn_call_revision = {8, 0};
  EXPECT_TRUE(p_.ui.TapPhoneCards(100, 270, false));  // a stale card
  p_.ui.drawn_call_revision = {9, 0};
  p_.ui.Tap(100, 270);
  p_.owner.pending_notices = {{.id = 5, .expiry = 0, .title = u"", .body = u"", .peer_id = "friend01"}};
  for (const uint64_t drawn : {4, 5}) {
    p_.ui.drawn_notice_id = {drawn, 0};
    EXPECT_TRUE(p_.ui.TapPhoneCards(500, 340, false));  // under the 326 px card
  }
  EXPECT_EQ(Args(p_.owner, "PerformCallAction"), Strings{"1,9"});
  EXPECT_EQ(Args(p_.owner, "DismissNotice"), Strings{"5"});
  EXPECT_EQ(p_.ui.GetPopupItemKey(1), 5u);
  EXPECT_EQ(p_.ui.GetPopupItemKey(2), 0u);
  p_.owner.peer_notification_modes["friend01"] = 2;
  EXPECT_EQ(p_.ui.GetPopupItemKey(1), 0u);

  struct Case {
    uint32_t state;
    float x;
    uint64_t revision;
    Strings actions;
  };
  const Case cases[] = {
      {CallSession::kIncoming, 100, 9, {"2,9"}}, {CallSession::kIncoming, 300, 9, {"1,9"}},
      {CallSession::kConnected, 100, 9, {"4,9"}}, {CallSession::kOutgoing, 100, 9, {}},
      {CallSession::kOutgoing, 300, 9, {"3,9"}}, {CallSession::kIncoming, 100, 8, {}},
  };
  p_.ui.call_popup_active = 1;
  p_.ui.call_popup_counter = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.state << " " << c.x << " " << c.revision);
    call_.ForceReset();
    DriveCall(c.state, "friend00");
    p_.ui.dirty = 0;
    EXPECT_TRUE(p_.ui.PressPopup(0, c.x, 230, {c.revision, 0, 0}, false));
    EXPECT_EQ(Args(p_.owner, "PerformCallAction"), c.actions);
    EXPECT_EQ(p_.ui.dirty, c.revision == 9 ? 1 : 0);
  }
}

}  // namespace
