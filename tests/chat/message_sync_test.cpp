#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "message_sync_fixture.h"

namespace {

using sync_test::Fake;
using sync_test::SyncTest;
using Knob = Fake::Knob;
using Route = Fake::Route;
using namespace std::chrono_literals;

std::string NonceOf(const Fake::Request& send) {
  JsonValue body;
  EXPECT_TRUE(ParseJson(send.body, body));
  return JsonStringOrEmpty(body, "client_message_id");
}

TEST_F(SyncTest, SentMessageIsCommittedAndAcknowledged) {
  const uint64_t start = HistorySession::ChangeCounter();
  const auto result = SendMessageJob("p1", "hello \"you\"")();
  ASSERT_EQ(result.code, 0u);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(HistorySession::ChangeCounter(), start + 1);
  EXPECT_TRUE(Pending().empty());

  const auto sends = fake_->RequestsTo(Route::kSend);
  ASSERT_EQ(sends.size(), 1u);
  const std::string nonce = NonceOf(sends[0]);
  EXPECT_EQ(nonce.size(), 32u);
  EXPECT_EQ(sends[0].body, R"({"receiver_id":"p1","client_message_id":")" + nonce + R"(","message":"hello \"you\""})");
  EXPECT_EQ(sends[0].connection, quorix_test::kConnectionA);
  const std::string id = result.messages[0].id;
  const auto acks = fake_->RequestsTo(Route::kAck);
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].body, R"({"message_ids":[")" + id + R"("],"ack_token":"ack-1"})");
  EXPECT_EQ(fake_->Acknowledged().count(id), 1u);
  EXPECT_EQ(Count("acknowledgements"), 0);

  HistoryMessage stored;
  ASSERT_TRUE(store()->GetMessage(id, &stored));
  EXPECT_EQ(stored.message, "hello \"you\"");
  EXPECT_EQ(stored.client_message_id, nonce);
  EXPECT_EQ(stored.receiver_id, "p1");
}

TEST_F(SyncTest, RefusedTextAndPermanentRefusals) {
  EXPECT_EQ(RunSendMessageTask("p1", "   ").code, 8u);
  EXPECT_EQ(RunSendMessageTask("p1", std::string(2001, 'a')).code, 8u);
  EXPECT_TRUE(fake_->Requests().empty());
  for (unsigned status : {400u, 403u, 422u}) {
    SCOPED_TRACE(status);
    fake_->Once(Route::kSend, {.status = status});
    EXPECT_EQ(RunSendMessageTask("p1", "t" + std::to_string(status)).code, 5u);
  }
  EXPECT_TRUE(Pending().empty());
  const auto batch = Poll();
  EXPECT_TRUE(batch.succeeded);
  EXPECT_FALSE(batch.incomplete);
  EXPECT_EQ(fake_->RequestsTo(Route::kSend).size(), 3u);  // never sent again
}

TEST_F(SyncTest, UnconfirmedSendsStayPending) {
  std::string stored_id = RunSendMessageTask("p2", "earlier").messages.at(0).id;
  struct Case {
    const char* name;
    Knob knob;
  } cases[] = {
      {"500", {.status = 500}},
      {"409", {.status = 409}},
      {"wrong connection", {.wrong_connection = true}},
      {"other text", {.text = "other"}},
      {"other nonce", {.nonce = "0123456789abcdef0123456789abcdef"}},
      {"other receiver", {.receiver = "p2"}},
      {"null naming an unknown id", {.null_message = true, .named_id = "m999"}},
      {"null naming another stored message", {.null_message = true, .named_id = stored_id}},
      {"no sequence", {.no_sequence = true}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    fake_->Once(Route::kSend, cases[i].knob);
    EXPECT_EQ(RunSendMessageTask("p1", "text " + std::to_string(i)).code, 7u);
    EXPECT_EQ(Pending().size(), i + 1);
  }
}

// A send whose reply the service holds while `disturb` runs: not confirmed.
void ExpectHeldSendUnconfirmed(Fake& fake, const std::function<void()>& disturb) {
  fake.Once(Route::kSend, {.hold = true});
  auto result = std::async(std::launch::async, [] { return RunSendMessageTask("p1", "held"); });
  ASSERT_TRUE(quorix_test::WaitFor([&] { return fake.RequestsTo(Route::kSend).size() == 1; }, 30s));
  disturb();
  EXPECT_EQ(result.get().code, 7u);
}

TEST_F(SyncTest, SendHeldWhileTheRevisionMovesIsUnconfirmed) {
  ExpectHeldSendUnconfirmed(*fake_, [&] {
    ASSERT_TRUE(HistorySession::Open("u1", revision_ + 1, &wire_, {}));
    service_.Release();
  });
  EXPECT_EQ(fake_->Messages().size(), 1u);  // the service has it; the old store keeps it pending
}

TEST_F(SyncTest, SendHeldWhileTheWebSocketClosesIsUnconfirmed) {
  wire_.Stop();
  const size_t first = service_.upgrades();
  service_.ScriptWebSocket([first](size_t upgrade) {
    using quorix_test::WsAction;
    if (upgrade != first) return quorix_test::WsUpgrade{101, false, {WsAction::Ready(quorix_test::kConnectionA)}};
    return quorix_test::WsUpgrade{
        101, false, {WsAction::Ready(quorix_test::kConnectionA), WsAction::WaitSignal(), WsAction::Close(1000)}};
  });
  ASSERT_TRUE(wire_.Start("u1", quorix_test::kPhoneToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
  ExpectHeldSendUnconfirmed(*fake_, [&] {
    service_.Signal();
    // Reconnected under the same connection id, but a later generation.
    ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.upgrades() >= first + 2 && wire_.IsConnected(); }, 10s));
    service_.Release();
  });
  EXPECT_EQ(Pending().size(), 1u);
  EXPECT_EQ(RunSendMessageTask("p1", "after the reconnect").code, 0u);
}

TEST_F(SyncTest, InboxPagesAreStoredAcknowledgedAndNoticed) {
  for (int i = 0; i < 250; ++i) fake_->Deliver(i % 2 ? "p1" : "p3", "hi " + std::to_string(i));
  const uint64_t start = HistorySession::ChangeCounter();
  const auto batch = Poll();
  EXPECT_TRUE(batch.succeeded);
  EXPECT_FALSE(batch.incomplete);
  EXPECT_FALSE(batch.more_pending);
  EXPECT_EQ(batch.revision, revision_);
  ASSERT_EQ(batch.entries.size(), 250u);
  EXPECT_EQ(batch.entries[1].display_name, "Peer One");
  EXPECT_EQ(batch.entries[0].display_name, "");
  EXPECT_EQ(batch.entries[0].text, "hi 0");
  EXPECT_EQ(HistorySession::ChangeCounter(), start + 3);

  const auto pages = fake_->RequestsTo(Route::kInbox);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].target, "/phone/v1/messages/inbox?after=0&limit=100");
  EXPECT_EQ(pages[1].target, "/phone/v1/messages/inbox?after=100&limit=100");
  EXPECT_EQ(pages[2].target, "/phone/v1/messages/inbox?after=200&limit=100");
  const auto acks = fake_->RequestsTo(Route::kAck);
  ASSERT_EQ(acks.size(), 3u);
  EXPECT_NE(acks[0].body.find(R"(],"ack_token":"ack-1"})"), std::string::npos);
  EXPECT_NE(acks[2].body.find(R"({"message_ids":["m201","m202",)"), std::string::npos);
  EXPECT_NE(acks[2].body.find(R"(],"ack_token":"ack-3"})"), std::string::npos);
  EXPECT_EQ(fake_->Unacknowledged(), 0u);
  EXPECT_EQ(Count("messages"), 250);
  EXPECT_EQ(Count("acknowledgements"), 0);
}

TEST_F(SyncTest, TwentyPagesLeaveMorePendingAndNoFlush) {
  for (int i = 0; i < 2100; ++i) fake_->Deliver("p1", "m");
  AddPending("p1", "waiting", "nonce-waiting-0001");
  const auto batch = Poll();
  EXPECT_TRUE(batch.succeeded);
  EXPECT_TRUE(batch.more_pending);
  EXPECT_FALSE(batch.incomplete);
  EXPECT_EQ(batch.entries.size(), 2000u);
  EXPECT_EQ(fake_->RequestsTo(Route::kInbox).size(), 20u);
  EXPECT_TRUE(fake_->RequestsTo(Route::kSend).empty());
}

TEST_F(SyncTest, BadPagesStoreNothing) {
  for (int i = 0; i < 101; ++i) fake_->Deliver("p1", "x");
  struct Case {
    const char* name;
    Knob knob;
  } cases[] = {
      {"101 messages", {.page_limit = 101}},
      {"no sequence", {.no_sequence = true}},
      {"repeated id", {.repeat_id = true}},
      {"other user", {.user_id = "u2"}},
      {"cursor with a query", {.next_cursor = "1&limit=100000"}},
      {"other connection", {.wrong_connection = true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_->Once(Route::kInbox, c.knob);
    const auto batch = Poll();
    EXPECT_TRUE(batch.incomplete);
    EXPECT_FALSE(batch.succeeded);
    EXPECT_TRUE(batch.entries.empty());
    EXPECT_EQ(Count("messages"), 0);
  }
  const auto batch = Poll();
  EXPECT_TRUE(batch.succeeded);
  EXPECT_EQ(batch.entries.size(), 101u);
  for (const auto& r : fake_->Requests()) EXPECT_EQ(r.target.find("100000"), std::string::npos) << r.target;
}

TEST_F(SyncTest, StreamChangesRestartTheCursor) {
  fake_->Deliver("p1", "first");
  ASSERT_TRUE(Poll().succeeded);
  fake_->Deliver("p1", "second");
  const Knob restart{.new_stream = true};
  fake_->Once(Route::kInbox, restart);
  auto batch = Poll();
  EXPECT_TRUE(batch.succeeded);
  ASSERT_EQ(batch.entries.size(), 1u);
  auto pages = fake_->RequestsTo(Route::kInbox);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[1].target, "/phone/v1/messages/inbox?after=1&limit=100");
  EXPECT_EQ(pages[2].target, "/phone/v1/messages/inbox?after=0&limit=100");
  EXPECT_EQ(fake_->RequestsTo(Route::kAck).size(), 2u);  // the dropped page is not acknowledged

  // A stream that restarts on every page: nothing stored, a failure, so the
  // owner waits instead of polling again at once.
  fake_->Deliver("p1", "third");
  fake_->Always(Route::kInbox, restart);
  batch = Poll();
  EXPECT_FALSE(batch.succeeded);
  EXPECT_TRUE(batch.incomplete);
  EXPECT_FALSE(batch.more_pending);
  EXPECT_EQ(fake_->RequestsTo(Route::kInbox).size(), 23u);
  EXPECT_EQ(Count("messages"), 2);
}

TEST_F(SyncTest, RefusedAcknowledgementRestartsWithoutSecondNotice) {
  struct Case {
    const char* name;
    Knob knob;
    long long journal;  // rows left: the service took the ids it did not confirm
  } cases[] = {{"500", {.status = 500}, 0}, {"an id missing", {.drop_one_id = true}, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 3; ++i) fake_->Deliver("p1", "ack me");
    fake_->Once(Route::kAck, c.knob);
    auto batch = Poll();
    EXPECT_TRUE(batch.succeeded);
    EXPECT_TRUE(batch.incomplete);
    EXPECT_EQ(batch.entries.size(), 3u);
    const size_t before = fake_->RequestsTo(Route::kInbox).size();
    batch = Poll();
    EXPECT_TRUE(batch.succeeded);
    EXPECT_FALSE(batch.incomplete);
    EXPECT_TRUE(batch.entries.empty());
    EXPECT_EQ(fake_->RequestsTo(Route::kInbox).at(before).target, "/phone/v1/messages/inbox?after=0&limit=100");
    EXPECT_EQ(fake_->Unacknowledged(), 0u);
    EXPECT_EQ(Count("acknowledgements"), c.journal);
  }
}

TEST_F(SyncTest, NoticesOnlyForNewUnreadIncomingMessages) {
  fake_->EchoSends(true);
  const std::string shown = fake_->Deliver("p1", "shown");
  fake_->Deliver("p1", "read", {true, false});
  fake_->Deliver("p2", "legacy", {false, true});
  const std::string stranger = fake_->Deliver("p9", "stranger");
  ASSERT_EQ(RunSendMessageTask("p1", "own").code, 0u);
  auto batch = Poll();
  ASSERT_EQ(batch.entries.size(), 2u);
  EXPECT_EQ(batch.entries[0].message_id, shown);
  EXPECT_EQ(batch.entries[0].peer_id, "p1");
  EXPECT_EQ(batch.entries[0].sender_id, "p1");
  EXPECT_EQ(batch.entries[0].display_name, "Peer One");
  EXPECT_EQ(batch.entries[1].message_id, stranger);
  EXPECT_EQ(batch.entries[1].display_name, "");
  EXPECT_EQ(Count("messages"), 5);
  EXPECT_EQ(fake_->Unacknowledged(), 0u);
}

TEST_F(SyncTest, PollResendsAnUnconfirmedMessageUnderItsNonce) {
  struct Case {
    const char* name;
    Knob knob;
  } cases[] = {{"500", {.status = 500}}, {"reply from another connection", {.wrong_connection = true}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t sends = fake_->RequestsTo(Route::kSend).size();
    fake_->Once(Route::kSend, c.knob);
    ASSERT_EQ(RunSendMessageTask("p1", c.name).code, 7u);
    const auto batch = Poll();
    EXPECT_TRUE(batch.succeeded);
    EXPECT_FALSE(batch.incomplete);
    const auto all = fake_->RequestsTo(Route::kSend);
    ASSERT_EQ(all.size(), sends + 2);
    EXPECT_EQ(all[sends].body, all[sends + 1].body);
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(fake_->SendsPerNonce()[NonceOf(all[sends])], 2u);
  }
  EXPECT_EQ(fake_->Messages().size(), 2u);
  EXPECT_EQ(Count("messages"), 2);
}

TEST_F(SyncTest, OldestPendingEntryBlocksTheOnesBehindIt) {
  AddPending("p1", "stuck", "nonce-stuck-00001");
  AddPending("p1", "behind", "nonce-behind-0001");
  fake_->ForNonce("nonce-stuck-00001", {.status = 500});
  for (int round = 0; round < 2; ++round) {
    const auto batch = Poll();
    EXPECT_TRUE(batch.succeeded);
    EXPECT_TRUE(batch.incomplete);
    EXPECT_FALSE(batch.more_pending);
  }
  EXPECT_EQ(fake_->SendsPerNonce(), (std::map<std::string, size_t>{{"nonce-stuck-00001", 2}}));
  EXPECT_EQ(RunSendMessageTask("p1", "new one").code, 0u);  // new messages still go out

  fake_->ForNonce("nonce-stuck-00001", {.status = 422});
  auto batch = Poll();
  EXPECT_FALSE(batch.incomplete);
  EXPECT_TRUE(batch.more_pending);
  batch = Poll();
  EXPECT_FALSE(batch.incomplete);
  EXPECT_FALSE(batch.more_pending);
  EXPECT_EQ(fake_->SendsPerNonce()["nonce-behind-0001"], 1u);
  EXPECT_EQ(fake_->SendsPerNonce()["nonce-stuck-00001"], 3u);
  EXPECT_TRUE(Pending().empty());
}

TEST_F(SyncTest, SendAndFlushOfOneNonceGiveOneMessage) {
  // The send task stops between the service's reply and its commit; the
  // poll flushes the same entry meanwhile.
  sync_test::PointGate gate("send_reply");
  auto send = std::async(std::launch::async, [] { return RunSendMessageTask("p1", "race"); });
  ASSERT_TRUE(gate.WaitReached());
  const uint64_t start = HistorySession::ChangeCounter();
  const auto batch = Poll();
  EXPECT_FALSE(batch.incomplete);
  EXPECT_TRUE(Pending().empty());
  gate.Go();
  EXPECT_EQ(send.get().code, 0u);
  EXPECT_EQ(HistorySession::ChangeCounter(), start + 2);
  const auto sends = fake_->RequestsTo(Route::kSend);
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0].body, sends[1].body);
  EXPECT_EQ(fake_->Messages().size(), 1u);
  EXPECT_EQ(Count("messages"), 1);
}

}  // namespace
