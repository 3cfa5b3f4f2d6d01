// The per-frame update on the real model, chat model, call session and
// keyboard: the owner's session, list, history, send and read results, the
// draft from the bridge, the editor retry and the call popup.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/cout_capture.h"
#include "support/draft_bridge_fixture.h"
#include "support/event_log_capture.h"
#include "support/fake_call_gateway.h"
#include "support/fake_chat_tasks.h"
#include "support/phone_fixture.h"
#include "support/ui_sound_fixture.h"

namespace {

quorix_mvp03b2b::FetchResult Lists(size_t friends, const std::string& self = "me", uint32_t code = 0) {
  const ChatSnapshot snapshot = quorix_test::PhoneFixture::Snapshot(friends);
  return {code, self, snapshot.friends, snapshot.conversations};
}

quorix_mvp03live::Result Page(size_t n, uint32_t code = 0) {
  quorix_mvp03live::Result result;
  result.code = code;
  for (size_t k = 0; k < n; ++k) result.messages.push_back({"m" + std::to_string(k), "friend00", "me", "hi", 1.0 * k, false});
  return result;
}

class PhoneUpdateTest : public ::testing::Test {
 protected:
  PhoneUpdateTest() {
    p_.ui.chat_tasks = tasks_.Launcher();
    p_.ui.live_read_only = p_.ui.live_messaging = 1;
    p_.owner.own_user_id = "me";
  }
  // Signed in with three friends' lists loaded.
  void Live() {
    p_.SignIn(4);
    p_.ui.Tick();
    ASSERT_EQ(tasks_.lists.size(), 1u);
    tasks_.lists[0].set_value(Lists(3));
    p_.ui.Tick();
    ASSERT_TRUE(p_.ui.chat_model.snapshot_loaded());
    p_.ui.drawn_status_revision = p_.owner.status.revision;
  }
  // friend00 open with its first page of `n` messages loaded.
  void Open(size_t n) {
    Live();
    ASSERT_TRUE(p_.ui.OpenConversation("friend00"));
    p_.ui.Tick();
    ASSERT_EQ(tasks_.histories.size(), 1u);
    tasks_.histories[0].set_value(Page(n));
    p_.ui.Tick();
    ASSERT_EQ(p_.ui.history_loaded, 1);
  }

  quorix_test::PhoneFixture p_;
  quorix_test::FakeChatTasks tasks_;
  quorix_test::CoutCapture out_;
};

TEST_F(PhoneUpdateTest, OneRoadFromSignInToASentMessage) {
  quorix_test::ScopedUiSounds sounds(&p_.clock);
  Live();
  EXPECT_NE(out_.Take().find("MVP03B2B_VR_LIVE_LISTS=PASS friends=3 conversations=3\n"), std::string::npos);
  p_.ui.native_screen = 1;
  p_.ui.Tap(300, 212 + 96 + 5);
  ASSERT_EQ(p_.ui.native_screen, 4u);
  p_.ui.Tick();
  ASSERT_EQ(tasks_.histories.size(), 1u);
  EXPECT_EQ(tasks_.launches.back().peer, "friend01");
  tasks_.histories[0].set_value(Page(2));
  p_.ui.Tick();
  EXPECT_EQ(out_.Take(), "MVP03_CHAT_HISTORY=PASS count=2\nMVP03_AUTO_READ=STARTED_ON_ROOM_OPEN\n");
  tasks_.mark_reads[0].set_value({});
  p_.ui.Tick();
  EXPECT_EQ(out_.Take(), "MVP03_AUTO_READ=SERVER_ACK\n");
  ASSERT_TRUE(p_.ui.keyboard.SetMessageText(u"あい"));
  p_.ui.Tap(450, 830);
  ASSERT_EQ(tasks_.sends.size(), 1u);
  EXPECT_EQ(tasks_.launches.back().bytes, "あい");
  quorix_mvp03live::Result sent = Page(3);
  tasks_.sends[0].set_value(sent);
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.keyboard.message, u"");
  EXPECT_EQ(p_.ui.live_page_list.size(), 3u);
  EXPECT_EQ(p_.ui.send_status_text, u"送信済み・このPCに保存しました");
  EXPECT_EQ(sounds.Written().back(), 5);
  EXPECT_EQ(out_.Take(), "MVP03_CHAT_SEND=USER_TAP_ONE_REQUEST\nMVP03_CHAT_SEND=SERVER_ACK_SAVED delivered=0\n");
}

TEST_F(PhoneUpdateTest, HistoryResultsApplyOnlyToTheirConversation) {
  Open(2);
  // A chat revision change fetches again.
  p_.owner.chat_revision = 5;
  p_.ui.live_page_index = 7;
  p_.ui.Tick();
  ASSERT_EQ(tasks_.histories.size(), 2u);
  tasks_.histories[1].set_value(Page(12));
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.live_page_index, 2u);
  EXPECT_EQ(p_.ui.live_page_list.size(), 12u);
  // Another epoch: dropped.
  p_.owner.chat_revision = 6;
  p_.ui.Tick();
  ++p_.ui.conversation_epoch;
  tasks_.histories[2].set_value(Page(1));
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.live_page_list.size(), 12u);
  // A throwing task fails the page and is not retried by itself.
  p_.owner.chat_revision = 7;
  p_.ui.Tick();
  tasks_.histories[3].set_exception(std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur))));
  out_.Take();
  p_.ui.Tick();
  EXPECT_NE(out_.Take().find("MVP03_CHAT_HISTORY=FAIL status=9\n"), std::string::npos);
  EXPECT_EQ(p_.ui.history_failed, 1);
  EXPECT_EQ(p_.ui.history_refresh_due, std::numeric_limits<int64_t>::max());
  p_.ui.Tick();
  EXPECT_EQ(tasks_.histories.size(), 4u);
}

TEST_F(PhoneUpdateTest, SendResults) {
  const struct Case {
    uint32_t code;
    bool retyped;
    std::u16string message_after;
    uint8_t uncertain;
    std::string line;
  } cases[] = {
      {0, false, u"", 0, "MVP03_CHAT_SEND=SERVER_ACK_SAVED delivered=0\n"},
      {0, true, u"more", 0, "MVP03_CHAT_SEND=SERVER_ACK_SAVED delivered=0\n"},
      {7, false, u"hello", 1, "MVP03_CHAT_SEND=UNCERTAIN_NO_AUTO_RETRY status=7\n"},
      {3, false, u"hello", 0, "MVP03_CHAT_SEND=REJECTED status=3\n"},
  };
  Open(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    p_.ui.send_outcome_uncertain = 0;
    p_.ui.live_page_index = 1;
    p_.ui.keyboard.SetMessageText(u"hello");
    p_.ui.Tap(450, 830);
    ASSERT_EQ(p_.ui.send_in_flight, 1);
    if (c.retyped) p_.ui.keyboard.SetMessageText(u"more");
    tasks_.sends.back().set_value(Page(c.code == 0 ? 3 : 0, c.code));
    out_.Take();
    p_.ui.Tick();
    EXPECT_EQ(out_.Take().substr(0, c.line.size()), c.line);
    EXPECT_EQ(p_.ui.keyboard.message, c.message_after);
    EXPECT_EQ(p_.ui.send_outcome_uncertain, c.uncertain);
    EXPECT_EQ(p_.ui.live_page_list.size(), 3u);  // the known ids are not added twice
    EXPECT_EQ(p_.ui.live_page_index, c.code == 0 ? 0u : 1u);
  }
  // An uncertain outcome sends nothing more.
  p_.ui.send_outcome_uncertain = 1;
  p_.ui.Tap(450, 830);
  EXPECT_EQ(tasks_.sends.size(), 4u);
}

TEST_F(PhoneUpdateTest, ListResults) {
  quorix_test::EventLogCapture log;
  Live();
  out_.Take();
  const struct Case {
    bool sign_in_again;
    quorix_mvp03b2b::FetchResult result;
    bool throws;
    uint64_t n;
    std::string line;
  } cases[] = {
      {true, Lists(2), false, 7, ""},
      {false, Lists(2, "other"), false, 1, "MVP03B2B_VR_LIVE_LISTS=NOT_VERIFIED\n"},
      {false, Lists(2, "me", 4), false, 5, "MVP03B2B_VR_LIVE_LISTS=NOT_VERIFIED\n"},
      {false, Lists(2), true, 0, "MVP03B2B_VR_LIVE_LISTS=INTERNAL_ERROR\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + std::to_string(c.n));
    p_.ui.StartListFetch();
    ASSERT_EQ(p_.ui.list_fetch_started, 1);
    if (c.sign_in_again) p_.SignIn(4);
    if (c.throws) {
      tasks_.lists.back().set_exception(std::make_exception_ptr(std::bad_alloc()));
    } else {
      tasks_.lists.back().set_value(c.result);
    }
    const size_t events = log.Count("UI32_LIST_RESULT");
    p_.ui.Tick();
    EXPECT_EQ(out_.Take().substr(0, c.line.size()), c.line);
    if (!c.throws) {
      ASSERT_EQ(log.Count("UI32_LIST_RESULT"), events + 1);
      EXPECT_EQ(log.Events("UI32_LIST_RESULT").back().n, c.n);
    }
    p_.ui.list_fetch_unavailable = 0;
  }
}

TEST_F(PhoneUpdateTest, AcceptedListKeepsTheOpenThreadOrLeavesIt) {
  Open(1);
  const uint64_t epoch = p_.ui.conversation_epoch;
  p_.ui.StartListFetch();
  tasks_.lists.back().set_value(Lists(2));
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.chat_model.selected_id(), "friend00");
  EXPECT_EQ(p_.ui.conversation_epoch, epoch);
  p_.ui.StartListFetch();
  quorix_mvp03b2b::FetchResult without = Lists(3);
  without.friends.erase(without.friends.begin());
  without.conversations.erase(without.conversations.begin());
  tasks_.lists.back().set_value(without);
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.conversation_epoch, epoch + 1);
  EXPECT_EQ(p_.ui.native_screen, 1u);
}

TEST_F(PhoneUpdateTest, ASessionChangeResetsEverythingOfTheAccount) {
  Open(1);
  int called = 0;
  ASSERT_TRUE(p_.ui.OpenExternalEditor(7, u"x", false, u"", [&](const std::u16string&, bool) { return ++called, true; }));
  p_.ui.keyboard.SetMessageText(u"draft");
  const uint64_t epoch = p_.ui.conversation_epoch;
  p_.SignIn(4);
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.external_editor, nullptr);
  EXPECT_EQ(called, 0);
  EXPECT_EQ(p_.ui.keyboard.message, u"");
  EXPECT_GT(p_.ui.conversation_epoch, epoch);
  EXPECT_EQ(p_.ui.chat_view_open, 0);
}

TEST_F(PhoneUpdateTest, ARefusedCommitIsRetriedAfter200Ms) {
  int calls = 0;
  ASSERT_TRUE(p_.ui.OpenExternalEditor(7, u"x", false, u"", [&](const std::u16string&, bool) { return ++calls > 1; }));
  EXPECT_EQ(p_.ui.CommitExternalEditor(), 0);
  p_.clock.Advance(199);
  p_.ui.Tick();
  EXPECT_EQ(calls, 1);
  p_.clock.Advance(1);
  p_.ui.Tick();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(p_.ui.external_editor, nullptr);
}

// Commit tapped while the bridge converts: the owner gets the commit once the
// conversion is over, once, with the text it left.
TEST_F(PhoneUpdateTest, ACommitTappedDuringAConversionRunsOnceWithItsResult) {
  struct Case {
    const char* name;
    std::function<void(QuorixTsfDraftBridge&, PhoneUi&)> finish;
    std::u16string committed;
  };
  const Case cases[] = {
      {"first candidate tapped on the phone", [](QuorixTsfDraftBridge&, PhoneUi& ui) { ui.TapKeyboard(100, 130); },
       u"橋"},
      {"second candidate chosen at the bridge", [](QuorixTsfDraftBridge& b, PhoneUi&) { b.SelectCandidate(1); },
       u"箸"},
      {"conversion cancelled", [](QuorixTsfDraftBridge& b, PhoneUi&) { b.CancelComposition(); }, u"はし"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix_test::BoundDraftBridge bridge;
    std::vector<std::pair<std::u16string, bool>> offers;
    ASSERT_TRUE(p_.ui.OpenExternalEditor(7, u"はし", false, u"", [&](const std::u16string& text, bool commit) {
      offers.emplace_back(text, commit);
      return true;
    }));
    p_.ui.AttachTsfBridge(bridge.bridge.get());
    ASSERT_TRUE(bridge.bridge->RequestVrConvert(0, QuorixTsfDraftBridge::kToDraftEnd));
    ASSERT_TRUE(bridge.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
    p_.ui.Tick();
    EXPECT_EQ(p_.ui.CommitExternalEditor(), 0);
    p_.clock.Advance(1000);
    p_.ui.Tick();
    EXPECT_EQ(std::count_if(offers.begin(), offers.end(), [](const auto& o) { return o.second; }), 0);

    c.finish(*bridge.bridge, p_.ui);
    ASSERT_FALSE(bridge.bridge->IsBusy());
    for (int i = 0; i < 4; ++i) {
      bridge.bridge->Poll();
      p_.ui.Tick();
      p_.clock.Advance(300);
    }
    std::vector<std::u16string> commits;
    for (const auto& [text, commit] : offers) {
      if (commit) commits.push_back(text);
    }
    EXPECT_EQ(commits, std::vector<std::u16string>{c.committed});
    EXPECT_EQ(p_.ui.external_editor, nullptr);
    p_.ui.CloseExternalEditor(7);
  }
}

TEST_F(PhoneUpdateTest, DraftFromTheBridge) {
  quorix_test::ScopedUiSounds sounds(&p_.clock);
  quorix_test::BoundDraftBridge bridge;
  p_.ui.AttachTsfBridge(bridge.bridge.get());
  bridge.Type(u"a");
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.keyboard.message, u"a");
  EXPECT_EQ(sounds.Written(), std::vector<int>{10});
  EXPECT_NE(out_.Take().find("MVP02C3D_VR_DRAFT_SYNC=APPLIED old_units=0 new_units=1"), std::string::npos);
  bridge.Type(u"bcd");
  p_.ui.Tick();
  EXPECT_EQ(sounds.Written().size(), 1u);
  // Into another component's field: its owner hears of it and the caret
  // follows, so the next key edits at the end.
  std::u16string heard;
  ASSERT_TRUE(p_.ui.OpenExternalEditor(7, u"abcd", false, u"", [&](const std::u16string& text, bool) {
    heard = text;
    return true;
  }));
  p_.ui.AttachTsfBridge(bridge.bridge.get());  // the desktop lends it again
  bridge.Type(u"e");
  p_.ui.Tick();
  EXPECT_EQ(heard, u"abcde");
  EXPECT_EQ(p_.ui.selection_start, 5u);
  EXPECT_TRUE(p_.ui.ApplyEditorEdit([](QuorixVrKeyboard& k) { k.SetMessageText(k.message + u"f"); }, false, false));
  EXPECT_EQ(p_.ui.external_editor->message, u"abcdef");
}

TEST_F(PhoneUpdateTest, APendingConversationOpensOnceWhenTheListsArrive) {
  p_.SignIn(4);
  p_.ui.Tick();
  ASSERT_TRUE(p_.ui.OpenConversation("friend01"));
  tasks_.lists.back().set_value(Lists(3));
  p_.ui.Tick();  // the lists
  p_.ui.Tick();  // the pending conversation
  const uint64_t epoch = p_.ui.conversation_epoch;
  EXPECT_EQ(p_.ui.chat_model.selected_id(), "friend01");
  for (int i = 0; i < 10; ++i) p_.ui.Tick();
  EXPECT_EQ(p_.ui.conversation_epoch, epoch);
  EXPECT_EQ(tasks_.histories.size(), 1u);
}

TEST_F(PhoneUpdateTest, FriendRefreshCallPopupAndSignOut) {
  quorix_test::EventLogCapture log;
  Live();
  p_.ui.ShowNativeScreen(5);
  p_.owner.ClearCalls();
  p_.clock.Advance(14999);
  p_.ui.Tick();
  EXPECT_EQ(p_.owner.Count("RequestFriendOperation"), 0u);
  p_.owner.friend_requests.busy = 1;
  p_.clock.Advance(1);
  p_.ui.Tick();
  EXPECT_EQ(p_.owner.Count("RequestFriendOperation"), 0u);
  p_.owner.friend_requests.busy = 0;
  p_.ui.Tick();
  EXPECT_EQ(p_.owner.Count("RequestFriendOperation"), 1u);

  quorix_test::FakeCallGateway gateway;
  CallSession call;
  p_.ui.AttachCallSession(&call);
  ASSERT_TRUE(quorix_test::DriveCallTo(call, gateway, CallSession::kIncoming, "bob"));
  p_.owner.call_peer_name = u"Bob";
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.call_popup_counter, 1u);
  EXPECT_EQ(p_.ui.call_popup_peer_name, u"Bob");
  call.OnCallEnded("call-1");
  p_.ui.Tick();
  p_.clock.Advance(2999);
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.call_popup_ended_shown, 1);
  p_.clock.Advance(1);
  p_.ui.Tick();
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.call_popup_ended_shown, 0);
  EXPECT_EQ(log.Count("UI_CALL_POPUP_AUTO_HIDDEN"), 1u);

  p_.ui.ShowNativeScreen(6);
  p_.SignOut(0);
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.native_screen, 6u);
  p_.ui.native_screen = 5;
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.native_screen, 0u);
}

TEST_F(PhoneUpdateTest, TheAudioPageAddsItsDevicesToTheCallSummary) {
  p_.owner.microphones = {{u"mic"}, 0, 4};
  p_.owner.speakers = {{u"spk"}, -1, 4};
  p_.ui.Tick();
  EXPECT_EQ(p_.ui.call_summary_text.find("|AUDIO:"), std::string::npos);
  p_.ui.audio_panel_open = 1;
  p_.ui.dirty = 0;
  p_.ui.Tick();
  EXPECT_TRUE(p_.ui.call_summary_text.ends_with("|AUDIO:4:0:4:-1"));
  EXPECT_EQ(p_.ui.dirty, 1);
}

}  // namespace
