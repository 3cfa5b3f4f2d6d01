// Calls, the chat task and the notices through the session owner, signed in
// on the loopback service with a call backend double attached after sign-in.
#include <cairo.h>

#include <cmath>
#include <limits>

#include "chat/history_session.h"
#include "core/ui_settings.h"
#include "fake_message_service.h"
#include "owner_fixture.h"
#include "session_owner/call_audio.h"
#include "session_owner/notices.h"

namespace quorix_test {
namespace {

namespace ui = platform::ui;

class OwnerCallTest : public OwnerTest {
 protected:
  ~OwnerCallTest() override {
    // The owner's tasks and the service's routes use the members below.
    service_.Release();
    owner_.reset();
    call_.state = CallSession::kIdle;
    call_.AttachGateway(&gateway_);
  }
  // Signed in and online, with the history open and the backend double.
  void SignInOnline() {
    ASSERT_TRUE(CreateSignedOut());
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PassUntilOnline());
    ASSERT_TRUE(call_.AttachGateway(&backend_));
    owner_->AttachSettings(&settings_);
    ui_sound_test_hooks::SetObserver([this](int32_t id, bool quiet, bool) { played_.push_back({id, quiet}); });
  }
  size_t Played(int32_t id) const {
    return static_cast<size_t>(std::count_if(played_.begin(), played_.end(), [id](auto& p) { return p.first == id; }));
  }

  FakeMessageService messages_{service_, "alice"};
  CallBackend backend_;
  UiSettings settings_;
  std::vector<std::pair<int32_t, bool>> played_;
};

TEST_F(OwnerCallTest, CallRevisionFollowsTheCallAndActionsNeedTheCurrentOne) {
  SignInOnline();
  const uint64_t first = owner_->GetCallRevision();
  EXPECT_EQ(owner_->GetCallRevision(), first);
  call_.OnIncomingCall("call-1", "bob");
  const uint64_t ringing = owner_->GetCallRevision();
  EXPECT_GT(ringing, first);
  EXPECT_EQ(owner_->GetCallPeerName(), u"Bob");
  struct Case { const char* name; uint32_t action; bool stale, result; } cases[] = {
      {"stale revision", 2, true, false},
      {"mute while ringing", 4, false, false},
      {"answer without chosen devices", 1, false, false},
      {"decline", 2, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint64_t revision = owner_->GetCallRevision();
    EXPECT_EQ(owner_->PerformCallAction(c.action, c.stale ? revision - 1 : revision), c.result);
  }
  EXPECT_EQ(backend_.answers, 0);
  EXPECT_EQ(backend_.declines, 1);
  EXPECT_EQ(call_.state, CallSession::kEnding);
  EXPECT_EQ(log_.Count("NOTICE_CALL_ACTION"), 3u);  // the stale one stops before the record
  const uint64_t ending = owner_->GetCallRevision();
  call_.state = CallSession::kConnected;
  EXPECT_GT(owner_->GetCallRevision(), ending);
  const uint64_t connected = owner_->GetCallRevision();
  call_.muted = 1;
  EXPECT_GT(owner_->GetCallRevision(), connected);
  const uint64_t before_sign_out = owner_->GetCallRevision();
  call_.state = CallSession::kIdle;
  call_.muted = 0;
  ASSERT_TRUE(owner_->SignOut());
  EXPECT_GT(owner_->GetCallRevision(), before_sign_out);
  EXPECT_FALSE(owner_->PerformCallAction(5, owner_->GetCallRevision()));
}

TEST_F(OwnerTest, DeclinedInviteEndsTheCallAtTheServiceAndIsNotMissed) {
  const std::string call_id = "00112233445566778899aabbccddeeff";
  ScriptCallRoutes(service_, call_id);
  service_.ScriptWebSocket(
      [](size_t) { return WsUpgrade{101, false, {WsAction::Ready(kConnectionA), WsAction::ServePushes()}}; });
  ASSERT_TRUE(CreateSignedOut());
  ASSERT_TRUE(SignIn());
  ASSERT_TRUE(PassUntil([&] { return owner_->GetStatus().code == 3; }));
  service_.Push(R"({"type":"phone_invite","call_id":")" + call_id + R"(","caller_id":"bob"})");
  ASSERT_TRUE(PassUntil([&] { return call_.state == CallSession::kIncoming; }));
  EXPECT_TRUE(owner_->PerformCallAction(2, owner_->GetCallRevision()));
  ASSERT_TRUE(PassUntil([&] { return service_.RequestsTo("/phone/v1/calls/" + call_id + "/end").size() == 1; }));
  ASSERT_TRUE(PassUntil([&] { return call_.state == CallSession::kIdle; }));
  EXPECT_EQ(owner_->GetSystemNotice().id, 0u);  // declined, so not missed
}

TEST_F(OwnerCallTest, AvatarPlaceholderIsPaintedIntoTheTarget) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 64);
  cairo_t* cr = cairo_create(surface);
  const ui::PaintTarget target{cr, 64, 64};
  auto pixel = [&](int x, int y) {  // R, G, B, A
    cairo_surface_flush(surface);
    const uint8_t* p = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4;
    return std::vector<int>{p[2], p[1], p[0], p[3]};
  };
  for (const int32_t size : {3, 129}) PaintAvatar(target, 0, 0, size, "bob", 0x00FFFFFF);
  EXPECT_EQ(pixel(0, 0), (std::vector<int>{0, 0, 0, 0}));
  PaintAvatar(target, 10, 20, 36, "bob", 0x00FFFFFF);
  EXPECT_EQ(pixel(10 + 18, 20 + 18), (std::vector<int>{76, 117, 188, 255}));
  EXPECT_EQ(pixel(10, 20), (std::vector<int>{255, 255, 255, 255}));
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

TEST_F(OwnerCallTest, SendClearsOnlyTheUneditedDraftAndKeepsItOnRefusal) {
  SignInOnline();
  const platform::WindowHandle draft = Control(22);
  struct Case { const char* name; std::optional<unsigned> status; bool edit; std::u16string after; const char* event; };
  const Case cases[] = {
      {"accepted", std::nullopt, false, u"", "CHAT_ACK"},
      {"edited while held", std::nullopt, true, u"hello and more", "CHAT_ACK"},
      {"refused 422", 422, false, u"hello", "CHAT_FAILED"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMessageService::Knob knob;
    knob.status = c.status;
    knob.hold = true;
    messages_.Once(FakeMessageService::Route::kSend, knob);
    ui::SetWindowText(draft, u"hello");
    const size_t events = log_.Count(c.event);
    const size_t sends = messages_.RequestsTo(FakeMessageService::Route::kSend).size();
    ASSERT_TRUE(owner_->SendDraftMessage());
    EXPECT_FALSE(owner_->SendDraftMessage());  // one at a time
    ASSERT_TRUE(WaitFor([&] { return messages_.RequestsTo(FakeMessageService::Route::kSend).size() > sends; },
                        std::chrono::seconds(60)));
    if (c.edit) ui::SetWindowText(draft, u"hello and more");
    service_.Release();
    ASSERT_TRUE(PassUntilLogged(c.event, events + 1));
    EXPECT_EQ(ui::GetWindowText(draft), c.after);
    messages_.Clear();
  }
  EXPECT_EQ(Played(5), 2u);
  EXPECT_EQ(log_.Events("CHAT_FAILED").back().n, 5u);
  ui::SetWindowText(draft, u"");
  EXPECT_FALSE(owner_->SendDraftMessage());
  EXPECT_EQ(StatusText(), u"Empty/too long/invalid message");
}

TEST(OwnerTranscript, TimesAreClampedWholeNumbers) {
  struct Case { double value; uint64_t whole; } cases[] = {{1e300, 9007199254740992ull}, {-5, 0}, {std::nan(""), 0},
               {std::numeric_limits<double>::infinity(), 0}, {1700000000.75, 1700000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(two_pc::ClampToWholeNumber(c.value), c.whole);
  }
  EXPECT_EQ(BuildTranscript(-1, {ChatMessage{"m1", "bob", "alice", "hi", 1e300, false}}),
            u"Server unread: -1\r\n9007199254740992  bob: hi\r\n");
}

TEST(OwnerNoticeQueue, KeepsTheNewestThreeForThreeSeconds) {
  NoticeQueue queue;
  for (int i = 0; i < 4; ++i) queue.Push("bob", u"t" + std::u16string(1, u'0' + i), u"b", 1000);
  const std::vector<quorix_native::Ui::Notice> kept = queue.CopyUnexpired(3999);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ((std::vector<uint64_t>{kept[0].id, kept[1].id, kept[2].id}), (std::vector<uint64_t>{4, 3, 2}));
  EXPECT_TRUE(queue.CopyUnexpired(4000).empty());
}

TEST(OwnerNoticePoll, StartsOnNewsOrWhenTheWaitIsOver) {
  using Inbox = quorix_phone::Gateway::InboxReadiness;
  struct Case { const char* name; NoticePollRecord record; Inbox inbox; uint64_t now; bool start; };
  const NoticePollRecord polled{0, 0, 7, 10000, 0, 0, 1};  // 7 changes seen at 10000
  auto inbox = [](uint64_t changes, uint8_t ready, uint64_t lease, uint8_t stream) {
    return Inbox{{}, {}, {}, {}, 0, changes, lease, ready, stream};
  };
  const Case cases[] = {
      {"first poll", {}, inbox(1, 0, 0, 0), 5, true},
      {"in flight", {0, 0, 0, 0, 0, 1, 0}, inbox(1, 0, 0, 0), 5, false},
      {"before not-before", {0, 0, 0, 0, 900, 0, 0}, inbox(1, 0, 0, 0), 899, false},
      {"no stream, 1999 ms", polled, inbox(7, 0, 0, 0), 11999, false},
      {"no stream, 2000 ms", polled, inbox(7, 0, 0, 0), 12000, true},
      {"no stream, lease, 29999 ms", polled, inbox(7, 1, 99999, 0), 39999, false},
      {"no stream, lease, 30000 ms", polled, inbox(7, 1, 99999, 0), 40000, true},
      {"stream, lease", polled, inbox(7, 1, 99999, 1), 90000, false},
      {"stream, lease, news", polled, inbox(8, 1, 99999, 1), 10001, true},
      {"stream, no lease, 59999 ms", polled, inbox(7, 0, 0, 1), 69999, false},
      {"stream, no lease, 60000 ms", polled, inbox(7, 0, 0, 1), 70000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShouldStartNoticePoll(c.record, c.inbox, c.now), c.start);
  }
}

TEST_F(OwnerCallTest, PollTurnsMessagesIntoNoticesByPeerMode) {
  SignInOnline();
  settings_.peer_modes["alice/carol"] = 1;
  messages_.Deliver("bob", "from a friend");
  messages_.Deliver("carol", "from a stranger");
  clock_.Advance(60000);  // past any wait of the first polls
  call_.state = CallSession::kConnected;
  call_.peer_id = "dave";
  settings_.peer_modes["alice/dave"] = 1;  // no call sounds in this test
  ASSERT_TRUE(PassUntilLogged("CHAT_NOTICE_SHOWN", 2));
  std::vector<quorix_native::Ui::Notice> pending = owner_->GetPendingNotices();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].title, u"carol");
  EXPECT_EQ(pending[1].title, u"Bob");
  EXPECT_EQ(pending[1].body, u"from a friend");
  EXPECT_EQ(Played(4), 1u);
  EXPECT_TRUE(std::find(played_.begin(), played_.end(), std::make_pair(4, true)) != played_.end());
  settings_.peer_modes["alice/carol"] = 2;  // hidden at once
  EXPECT_EQ(owner_->GetActiveNotice().title, u"Bob");
  clock_.Advance(2999);
  EXPECT_EQ(owner_->GetPendingNotices().size(), 1u);
  clock_.Advance(1);
  EXPECT_TRUE(owner_->GetPendingNotices().empty());
  EXPECT_EQ(owner_->GetActiveNotice().id, 0u);
}

TEST_F(OwnerCallTest, FailedInboxWaitsTenSeconds) {
  SignInOnline();
  FakeMessageService::Knob knob;
  knob.status = 500;
  messages_.Always(FakeMessageService::Route::kInbox, knob);
  clock_.Advance(60000);
  const size_t failed = log_.Count("CHAT_NOTICE_POLL_FAILED");
  ASSERT_TRUE(PassUntilLogged("CHAT_NOTICE_POLL_FAILED", failed + 1));
  const size_t polls = messages_.RequestsTo(FakeMessageService::Route::kInbox).size();
  clock_.Advance(9999);
  Ticks(3);
  EXPECT_EQ(messages_.RequestsTo(FakeMessageService::Route::kInbox).size(), polls);
  clock_.Advance(1);
  ASSERT_TRUE(PassUntilLogged("CHAT_NOTICE_POLL_FAILED", failed + 2));
}

TEST_F(OwnerCallTest, RingingRepeatsForModeZeroPeersOnly) {
  SignInOnline();
  struct Case { const char* name; uint32_t state; int32_t mode; uint64_t period; int32_t sound; } cases[] = {
      {"incoming", CallSession::kIncoming, 0, 2700, 0},
      {"outgoing", CallSession::kOutgoing, 0, 2800, 1},
      {"quiet peer", CallSession::kIncoming, 1, 2700, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    settings_.peer_modes["alice/bob"] = c.mode;
    played_.clear();
    call_.state = c.state;
    call_.peer_id = "bob";
    call_.call_id = "call-2";
    owner_->Tick();
    clock_.Advance(c.period - 1);
    owner_->Tick();
    EXPECT_EQ(Played(c.sound), c.mode == 0 ? 1u : 0u);
    clock_.Advance(1);
    owner_->Tick();
    EXPECT_EQ(Played(c.sound), c.mode == 0 ? 2u : 0u);
    call_.state = CallSession::kIdle;
    owner_->Tick();
    EXPECT_EQ(Played(3), c.mode == 0 ? 1u : 0u);  // call_ended
  }
  // Ended while ringing: the missed-call notice with the caller's name.
  EXPECT_EQ(owner_->GetSystemNotice().title, u"不在着信");
  EXPECT_EQ(owner_->GetSystemNotice().body, u"Bob");
  owner_->DismissSystemNotice(owner_->GetSystemNotice().id + 1);
  EXPECT_NE(owner_->GetSystemNotice().id, 0u);
  call_.state = CallSession::kFailed;
  owner_->Tick();
  EXPECT_EQ(owner_->GetSystemNotice().title, u"通話に接続できませんでした");
  owner_->DismissSystemNotice(owner_->GetSystemNotice().id);
  EXPECT_EQ(owner_->GetSystemNotice().id, 0u);
}

TEST_F(OwnerCallTest, LostAndRestoredConnectionGiveTheirNotices) {
  SignInOnline();
  wire_.Stop();
  clock_.Advance(15000);  // past the connecting time
  ASSERT_TRUE(PassUntil([&] { return owner_->GetSystemNotice().id != 0; }));
  EXPECT_EQ(owner_->GetStatus().code, 4u);
  EXPECT_EQ(owner_->GetSystemNotice().title, u"通話の接続を確認してください");
  ASSERT_TRUE(wire_.Start("alice", kPhoneSessionToken));
  ASSERT_TRUE(PassUntil([&] { return owner_->GetSystemNotice().title == u"通話の待受が復旧しました"; }));
  EXPECT_EQ(owner_->GetSystemNotice().body, u"着信を受け取れます");
  EXPECT_EQ(log_.Events("VR_SYSTEM_NOTICE").back().n, 4u);
}

TEST_F(OwnerCallTest, SignOutDoesNotWaitForAHeldPoll) {
  SignInOnline();
  FakeMessageService::Knob knob;
  knob.hold = true;
  messages_.Once(FakeMessageService::Route::kInbox, knob);
  messages_.Deliver("bob", "held");
  const size_t polls = messages_.RequestsTo(FakeMessageService::Route::kInbox).size();
  clock_.Advance(60000);
  ASSERT_TRUE(PassUntil([&] { return messages_.RequestsTo(FakeMessageService::Route::kInbox).size() > polls; }));
  EXPECT_TRUE(owner_->SignOut());
  service_.Release();
  ASSERT_TRUE(PassUntil([&] { return owner_->GetStatus().code == 0; }));  // the sign-out task collected
  ASSERT_TRUE(SignIn());
  // The next session polls once the held one is over (retrying until it is
  // online), and shows the message.
  ASSERT_TRUE(PassUntil([&] {
    clock_.Advance(1000);
    return log_.Count("CHAT_NOTICE_SHOWN") == 1;
  }));
  EXPECT_EQ(owner_->GetPendingNotices().at(0).body, u"held");
}

TEST_F(OwnerCallTest, DesktopPanelFetchesTheSelectedConversation) {
  ASSERT_TRUE(Create(false));
  ASSERT_TRUE(SignIn());
  messages_.Deliver("bob", "hi there");
  const std::u16string expected = u"Server unread: -1\r\n";
  ASSERT_TRUE(PassUntil([&] {
    clock_.Advance(1000);
    return ui::GetWindowText(Control(21)).find(u"  bob: hi there\r\n") != std::u16string::npos;
  }));
  EXPECT_EQ(ui::GetWindowText(Control(21)).rfind(expected, 0), 0u);
}

}  // namespace
}  // namespace quorix_test
