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

using quorix_test::FakeChatTasks;

// The arguments of each call of `slot`, in order.
std::vector<std::string> Args(const quorix_test::FakeOwner& owner, const std::string& slot) {
  std::vector<std::string> out;
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
    p_.ui.live_read_only = p_.ui.live_messaging = 1;
    p_.ui.launcher_screen = 1;
    p_.ui.launcher_app = 0;
    p_.ui.chat_view_open = 1;
    p_.Load(quorix_test::PhoneFixture::Snapshot(3));
    p_.OpenConversation("friend00", {});
  }

  quorix_test::PhoneFixture p_;
  FakeChatTasks tasks_;
  quorix_test::CoutCapture out_;
};

TEST_F(PhoneChatInputTest, RowsCountInsideTheirBandAndTheLiveRowStartsTheFetch) {
  p_.ui.AttachOwner(nullptr);
  p_.ui.chat_view_open = 1;
  EXPECT_TRUE(p_.ui.TapChatApp(100, 370));
  EXPECT_EQ(p_.ui.chat_model.mode(), 0u);
  EXPECT_TRUE(p_.ui.TapChatApp(100, 368));
  EXPECT_EQ(p_.ui.chat_model.selected_id(), "demo_alice");
  p_.ui.chat_model.CloseThread();

  p_.ui.live_read_only = 1;
  tasks_.throw_next = "list";
  p_.ui.TapChatApp(100, 160);
  EXPECT_EQ(p_.ui.list_fetch_unavailable, 1);
  p_.ui.TapChatApp(100, 160);
  EXPECT_EQ(p_.ui.list_fetch_started, 1);
  EXPECT_EQ(tasks_.launches, (std::vector<FakeChatTasks::Launch>{{"list", "", ""}}));
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
    const char* name;
    uint32_t state;
    std::string peer;
    float x;
    bool owner;
    std::vector<std::string> gateway;
    std::vector<std::string> actions;
  };
  const Case cases[] = {
      {"idle: call", CallSession::kIdle, "", 450, true, {"StartCall(friend00)"}, {}},
      {"incoming, owner: decline", CallSession::kIncoming, "friend00", 350, true, {}, {"2,7"}},
      {"incoming: answer", CallSession::kIncoming, "friend00", 450, true, {}, {"1,7"}},
      {"incoming, no owner: decline", CallSession::kIncoming, "friend00", 350, false, {"DeclineCall(call-1)"}, {}},
      {"connected: mute", CallSession::kConnected, "friend00", 350, true, {"SetMuted(call-1,true)"}, {}},
      {"outgoing: hang up", CallSession::kOutgoing, "friend00", 450, true, {"CancelCall(friend00)"}, {}},
      {"another peer's call", CallSession::kIncoming, "friend01", 450, true, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix_test::EventLogCapture log;
    quorix_test::FakeCallGateway gateway;
    CallSession call;
    p_.ui.AttachCallSession(&call);
    p_.ui.AttachOwner(c.owner ? &p_.owner : nullptr);
    p_.SignIn(3);
    p_.owner.call_revision = 7;
    OpenLiveConversation();
    ASSERT_TRUE(quorix_test::DriveCallTo(call, gateway, c.state, c.peer));
    p_.owner.ClearCalls();
    EXPECT_TRUE(p_.ui.TapChatApp(c.x, 200));
    EXPECT_EQ(gateway.calls, c.gateway);
    EXPECT_EQ(Args(p_.owner, "PerformCallAction"), c.actions);
    EXPECT_EQ(log.Count("VR_CALL_REQUEST"), c.state == CallSession::kIdle ? 1u : 0u);
    p_.ui.chat_model.CloseThread();
  }
}

TEST_F(PhoneChatInputTest, SendingChecksTheTextAndEveryGuard) {
  OpenLiveConversation();
  struct Case {
    const char* name;
    std::u16string text;
    std::function<void(PhoneUi&)> spoil;
    std::u16string status;
    size_t bytes;  // of the launched send; 0 none
  };
  const auto none = [](PhoneUi&) {};
  const Case cases[] = {
      {"667 three-byte units", std::u16string(667, u'漢'), none, u"文字数または文字種を確認", 0},
      {"lone surrogate", u"a\xD83D", none, u"メッセージを確認", 0},
      {"send in flight", u"hi", [](PhoneUi& ui) { ui.send_in_flight = 1; }, u"", 0},
      {"uncertain outcome", u"hi", [](PhoneUi& ui) { ui.send_outcome_uncertain = 1; }, u"", 0},
      {"history loading", u"hi", [](PhoneUi& ui) { ui.history_loaded = 0; }, u"", 0},
      {"history failed", u"hi", [](PhoneUi& ui) { ui.history_failed = 1; }, u"", 0},
      {"id field active", u"hi", [](PhoneUi& ui) { ui.keyboard.active_field = kFieldId; }, u"", 0},
      {"another history", u"hi", [](PhoneUi& ui) { ui.history_peer = "friend01"; }, u"", 0},
      {"666 three-byte units", std::u16string(666, u'漢'), none, u"送信中...", 1998},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PhoneUi& ui = p_.ui;
    ui.send_in_flight = ui.send_outcome_uncertain = ui.history_failed = 0;
    ui.history_loaded = 1;
    ui.history_peer = "friend00";
    ui.keyboard.active_field = kFieldMessage;
    ui.send_status_text.clear();
    ui.keyboard.SetMessageText(c.text);
    c.spoil(ui);
    tasks_.launches.clear();
    ui.TapChatApp(450, 800);
    EXPECT_EQ(ui.send_status_text, c.status);
    EXPECT_EQ(tasks_.launches.empty() ? 0u : tasks_.launches[0].bytes.size(), c.bytes);
  }
  EXPECT_EQ(out_.Take(), "MVP03_CHAT_SEND=USER_TAP_ONE_REQUEST\n");
  p_.ui.send_in_flight = 0;
  tasks_.throw_next = "send";
  p_.ui.TapChatApp(450, 800);
  EXPECT_EQ(p_.ui.send_status_text, u"送信処理開始に失敗");
  EXPECT_EQ(p_.ui.send_in_flight, 0);
}

TEST_F(PhoneChatInputTest, LauncherNavigationAndApps) {
  PhoneUi& ui = p_.ui;
  ui.Tap(100, 950);
  EXPECT_EQ(out_.Take(), "[PF17_UI] BACK=NOOP reason=HOME_ROOT\n");
  ui.launcher_page = 1;
  ui.Tap(200, 950);
  EXPECT_EQ(ui.transition_kind, kTransitionHome);
  ui.Tap(60, 200);  // ignored while the launcher slides
  EXPECT_EQ(ui.transition_kind, kTransitionHome);
  ASSERT_TRUE(ui.OpenExternalEditor(3, u"x", false, u"", [](const std::u16string&, bool) { return true; }));
  ui.Tap(60, 200);  // the editor closes first, then the tap goes on
  EXPECT_EQ(ui.external_editor, nullptr);
  EXPECT_EQ(ui.transition_kind, kTransitionAppOpen);
  EXPECT_EQ(ui.launcher_app_to, 6);

  PhoneAppLifecycle apps;
  ui.app_lifecycle = &apps;
  ui.transition_kind = kTransitionNone;
  ui.launcher_page = 0;
  ASSERT_TRUE(apps.Uninstall(3));
  out_.Take();
  ui.Tap(60, 450);
  ui.Tap(100, 800);  // the dock's home button on the home root
  ui.Tap(180, 300);  // between icons
  ui.Tap(230, 300);
  EXPECT_EQ(out_.Take(),
            "[PF19_UI] APP_ICON=BLOCKED_UNINSTALLED app=app.notes\n"
            "[PF17_UI] HOME=NOOP reason=ALREADY_HOME_ROOT\n"
            "[PF17_UI] APP_TRANSITION=START from=HOME target=APP app=BROWSER\n"
            "[PF17_UI] APP_ICON=TAP app=BROWSER page=1\n");
  ui.transition_kind = kTransitionNone;
  ui.launcher_screen = 1;
  ui.launcher_app = 4;
  ui.Tap(400, 650);
  EXPECT_EQ(apps.apps[4].installed, false);
  ui.Tap(100, 650);
  EXPECT_NE(out_.Take().find("[PF19_UI] UNINSTALL_TAP=PASS app=app.gallery\n[PF17_UI] HOME=START"), std::string::npos);
}

TEST_F(PhoneChatInputTest, CardsActOnlyOnTheirDrawnIdentity) {
  quorix_test::FakeCallGateway gateway;
  ASSERT_TRUE(quorix_test::DriveCallTo(p_.call, gateway, CallSession::kIncoming, "friend00"));
  p_.SignIn(3);
  p_.owner.call_revision = 9;
  p_.ui.drawn_call_revision = {8, 0};
  EXPECT_TRUE(p_.ui.TapPhoneCards(100, 270, false));
  EXPECT_TRUE(Args(p_.owner, "PerformCallAction").empty());
  p_.ui.drawn_call_revision = {9, 0};
  p_.ui.Tap(100, 270);
  p_.ui.Tap(300, 270);
  EXPECT_EQ(Args(p_.owner, "PerformCallAction"), (std::vector<std::string>{"1,9", "2,9"}));

  p_.owner.pending_notices = {{.id = 5, .expiry = 0, .title = u"", .body = u"", .peer_id = "friend01"}};
  p_.ui.drawn_notice_id = {4, 0};
  EXPECT_TRUE(p_.ui.TapPhoneCards(500, 340, false));  // under the 326 px card
  p_.ui.drawn_notice_id = {5, 0};
  EXPECT_TRUE(p_.ui.TapPhoneCards(500, 340, false));
  EXPECT_EQ(Args(p_.owner, "DismissNotice"), (std::vector<std::string>{"5"}));
}

TEST_F(PhoneChatInputTest, PopupKeysAndPresses) {
  p_.SignIn(3);
  p_.owner.pending_notices = {{.id = 5, .expiry = 0, .title = u"", .body = u"", .peer_id = "friend01"}};
  EXPECT_EQ(p_.ui.GetPopupItemKey(1), 5u);
  EXPECT_EQ(p_.ui.GetPopupItemKey(2), 0u);
  p_.owner.peer_notification_modes["friend01"] = 2;
  EXPECT_EQ(p_.ui.GetPopupItemKey(1), 0u);

  struct Case {
    uint32_t state;
    float x;
    uint64_t revision;
    std::vector<std::string> actions;
  };
  const Case cases[] = {
      {CallSession::kIncoming, 100, 9, {"2,9"}}, {CallSession::kIncoming, 300, 9, {"1,9"}},
      {CallSession::kConnected, 100, 9, {"4,9"}}, {CallSession::kOutgoing, 100, 9, {}},
      {CallSession::kOutgoing, 300, 9, {"3,9"}}, {CallSession::kIncoming, 100, 8, {}},
  };
  p_.ui.call_popup_active = 1;
  p_.ui.call_popup_counter = 4;
  p_.owner.call_revision = 9;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.state << " " << c.x << " " << c.revision);
    quorix_test::FakeCallGateway gateway;
    CallSession call;
    p_.ui.AttachCallSession(&call);
    ASSERT_TRUE(quorix_test::DriveCallTo(call, gateway, c.state, "friend00"));
    p_.owner.ClearCalls();
    p_.ui.dirty = 0;
    EXPECT_TRUE(p_.ui.PressPopup(0, c.x, 230, {c.revision, 0, 0}, false));
    EXPECT_EQ(Args(p_.owner, "PerformCallAction"), c.actions);
    EXPECT_EQ(p_.ui.dirty, c.revision == 9 ? 1 : 0);
  }
  p_.ui.AttachCallSession(&p_.call);
}

}  // namespace
