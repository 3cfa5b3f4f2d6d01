#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "history_store_fixture.h"

namespace {

using history_test::DbPath;
using history_test::HistoryStoreTest;
using history_test::Msg;
using history_test::OpenStore;
using history_test::Page;
using history_test::RawDb;
using quorix_history::ConversationRow;
using quorix_history::OutboxEntry;
using quorix_history::Store;
using Ids = std::vector<std::string>;

using HistoryOutbox = HistoryStoreTest;

TEST_F(HistoryOutbox, AddListFailAndConflicts) {
  auto store = OpenStore();
  std::string nonce = "nonce_0123456789";
  ASSERT_TRUE(store->AddOutbox("p1", "hello", &nonce));
  ASSERT_TRUE(store->AddOutbox("p1", "hello", &nonce));  // the same entry again
  EXPECT_FALSE(store->AddOutbox("p1", "other text", &nonce));
  EXPECT_EQ("nonce_conflict", store->last_error());
  EXPECT_FALSE(store->AddOutbox("p2", "hello", &nonce));
  EXPECT_EQ("nonce_conflict", store->last_error());

  std::string generated;
  ASSERT_TRUE(store->AddOutbox("p2", "second", &generated));
  ASSERT_EQ(32u, generated.size());
  EXPECT_EQ(std::string::npos, generated.find_first_not_of("0123456789abcdef"));

  struct Bad {
    const char* name;
    std::string peer, message, nonce, code;
  } bad[] = {
      {"15-byte nonce", "p1", "x", std::string(15, 'a'), "nonce_invalid"},
      {"129-byte nonce", "p1", "x", std::string(129, 'a'), "nonce_invalid"},
      {"dot in nonce", "p1", "x", "abcdefghijklmnop.", "nonce_invalid"},
      {"peer is self", "u1", "x", "", "draft_invalid"},
      {"empty peer", "", "x", "", "draft_invalid"},
      {"peer of 257 bytes", std::string(257, 'p'), "x", "", "draft_invalid"},
      {"empty text", "p1", "", "", "draft_invalid"},
      {"text of 8193 bytes", "p1", std::string(8193, 't'), "", "draft_invalid"},
  };
  for (Bad& b : bad) {
    EXPECT_FALSE(store->AddOutbox(b.peer, b.message, &b.nonce)) << b.name;
    EXPECT_EQ(b.code, store->last_error()) << b.name;
  }
  EXPECT_FALSE(store->AddOutbox("p1", "x", nullptr));
  std::string edge(128, 'Z');
  EXPECT_TRUE(store->AddOutbox("p1", std::string(8192, 't'), &edge));

  std::vector<OutboxEntry> pending;
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  ASSERT_EQ(3u, pending.size());
  EXPECT_EQ(nonce, pending[0].nonce);
  EXPECT_EQ("p1", pending[0].peer);
  EXPECT_EQ("hello", pending[0].message);
  EXPECT_EQ(generated, pending[1].nonce);
  ASSERT_TRUE(store->MarkOutboxFailed(nonce));
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  ASSERT_EQ(2u, pending.size());
  EXPECT_EQ(generated, pending[0].nonce);
  RawDb raw(DbPath(*store));
  EXPECT_EQ(3, raw.Count("outbox"));  // a failed entry stays

  // Generator failure and an injected duplicate with other content.
  quorix_history::test_hooks::SetNonceGenerator([] { return std::nullopt; });
  std::string empty;
  EXPECT_FALSE(store->AddOutbox("p1", "x", &empty));
  EXPECT_EQ("nonce_failed", store->last_error());
  quorix_history::test_hooks::SetNonceGenerator([&] { return std::optional<std::string>(generated); });
  std::string dup;
  EXPECT_FALSE(store->AddOutbox("p2", "another text", &dup));
  EXPECT_EQ("nonce_conflict", store->last_error());
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  EXPECT_EQ("second", pending[0].message);
}

TEST_F(HistoryOutbox, ListsTheHundredOldest) {
  auto store = OpenStore();
  for (int i = 0; i < 101; ++i) {
    std::string nonce = "nonce-" + std::to_string(1000000000 + i);
    ASSERT_TRUE(store->AddOutbox("p", "m" + std::to_string(i), &nonce));
  }
  std::vector<OutboxEntry> pending;
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  ASSERT_EQ(100u, pending.size());
  EXPECT_EQ("m0", pending.front().message);
  EXPECT_EQ("m99", pending.back().message);
  EXPECT_FALSE(store->ListPendingOutbox(nullptr));
  EXPECT_EQ("not_open", store->last_error());
}

using HistoryCommit = HistoryStoreTest;

HistoryMessage Accepted(const std::string& nonce, const std::string& text = "hello") {
  HistoryMessage m = Msg("srv1", "u1", "p1", text, 50, "3");
  m.client_message_id = nonce;
  return m;
}

TEST_F(HistoryCommit, MovesTheOutboxEntryIntoTheHistory) {
  auto store = OpenStore();
  std::string nonce = "nonce_0123456789";
  ASSERT_TRUE(store->AddOutbox("p1", "hello", &nonce));
  EXPECT_FALSE(store->CommitAccepted(Accepted(""), "ack"));
  EXPECT_EQ("accepted_invalid", store->last_error());
  HistoryMessage foreign = Accepted(nonce);
  foreign.sender_id = "p1";
  foreign.receiver_id = "u1";
  EXPECT_FALSE(store->CommitAccepted(foreign, "ack"));
  EXPECT_EQ("accepted_invalid", store->last_error());
  EXPECT_FALSE(store->CommitAccepted(Accepted(nonce, "other text"), "ack"));
  EXPECT_EQ("accepted_outbox_mismatch", store->last_error());

  ASSERT_TRUE(store->CommitAccepted(Accepted(nonce), "ack"));
  RawDb raw(DbPath(*store));
  EXPECT_EQ(0, raw.Count("outbox"));
  EXPECT_EQ(1, raw.Count("messages"));
  EXPECT_EQ(1, raw.Count("acknowledgements"));
  HistoryMessage got;
  ASSERT_TRUE(store->GetMessage("srv1", &got));
  EXPECT_EQ(nonce, got.client_message_id);
  EXPECT_TRUE(got.is_read);  // own messages are stored read

  // Again after the outbox row is gone: only the acknowledgement is written.
  ASSERT_TRUE(raw.Exec("DELETE FROM acknowledgements"));
  ASSERT_TRUE(store->CommitAccepted(Accepted(nonce), "ack2"));
  EXPECT_EQ(1, raw.Count("messages"));
  EXPECT_EQ(1, raw.Count("acknowledgements"));
  EXPECT_FALSE(store->CommitAccepted(Accepted("nonce_other_00000"), "ack"));
  EXPECT_EQ("accepted_outbox_mismatch", store->last_error());
}

TEST_F(HistoryCommit, AFailedInsertKeepsTheOutboxRow) {
  auto store = OpenStore();
  std::string nonce = "nonce_0123456789";
  ASSERT_TRUE(store->AddOutbox("p1", "hello", &nonce));
  // The accepted message lacks a sequence: its stored form would not read back.
  HistoryMessage no_sequence = Accepted(nonce);
  no_sequence.sequence.clear();
  EXPECT_FALSE(store->CommitAccepted(no_sequence, "ack"));
  EXPECT_EQ("accepted_commit_failed", store->last_error());
  // Another message already holds the id with other content.
  std::vector<std::string> ids;
  ASSERT_TRUE(store->StoreInboxBatch("s", "9", {Msg("srv1", "p1", "u1", "theirs", 1, "9")}, "a", &ids, nullptr));
  EXPECT_FALSE(store->CommitAccepted(Accepted(nonce), "ack"));
  EXPECT_EQ("accepted_commit_failed", store->last_error());
  std::vector<OutboxEntry> pending;
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  ASSERT_EQ(1u, pending.size());
  EXPECT_EQ(nonce, pending[0].nonce);
}

using HistoryInbox = HistoryStoreTest;

TEST_F(HistoryInbox, RefusedPagesChangeNothing) {
  auto store = OpenStore();
  std::vector<std::string> ids;
  ASSERT_TRUE(store->StoreInboxBatch("s", "2", Page("m", "p1", 1, 2), "ack", &ids, nullptr));
  RawDb raw(DbPath(*store));
  const std::vector<std::string> before = raw.AllTables();

  auto with_sequences = [](std::vector<std::string> sequences) {
    std::vector<HistoryMessage> page;
    for (size_t i = 0; i < sequences.size(); ++i) {
      page.push_back(Msg("n" + std::to_string(i), "p2", "u1", "x", 10.0 + i, sequences[i]));
    }
    return page;
  };
  std::vector<HistoryMessage> repeated = Page("r", "p2", 3, 2);
  repeated[1].message_id = repeated[0].message_id;
  std::vector<HistoryMessage> conflicting = Page("m", "p1", 3, 1);
  conflicting[0].message_id = "m1";  // stored with another text
  struct Case {
    const char* name;
    std::string stream, cursor;
    std::vector<HistoryMessage> page;
    std::string ack;
    const char* code;
  } cases[] = {
      {"5, 7, 6", "s", "9", with_sequences({"5", "7", "6"}), "ack", "inbox_commit_failed"},
      {"equal sequences", "s", "9", with_sequences({"5", "5"}), "ack", "inbox_commit_failed"},
      {"sequence 0", "s", "9", with_sequences({"0"}), "ack", "inbox_commit_failed"},
      {"last above the cursor", "s", "6", with_sequences({"5", "7"}), "ack", "inbox_commit_failed"},
      {"sequence 007", "s", "9", with_sequences({"007"}), "ack", "inbox_commit_failed"},
      {"no sequence", "s", "9", with_sequences({""}), "ack", "inbox_commit_failed"},
      {"repeated id", "s", "9", repeated, "ack", "inbox_commit_failed"},
      {"same id, other text", "s", "9", conflicting, "ack", "inbox_commit_failed"},
      {"cursor 007", "s", "007", with_sequences({"5"}), "ack", "batch_invalid"},
      {"cursor with a query", "s", "1&limit=9", with_sequences({"1"}), "ack", "batch_invalid"},
      {"empty stream", "", "9", with_sequences({"5"}), "ack", "batch_invalid"},
      {"no ack token", "s", "9", with_sequences({"5"}), "", "batch_invalid"},
      {"101 messages", "s", "999", Page("big", "p2", 1, 101), "ack", "batch_invalid"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> stored = {"stale"};
    std::vector<std::string> inserted = {"stale"};
    EXPECT_FALSE(store->StoreInboxBatch(c.stream, c.cursor, c.page, c.ack, &stored, &inserted)) << c.name;
    EXPECT_EQ(c.code, store->last_error()) << c.name;
    EXPECT_TRUE(stored.empty()) << c.name;
    EXPECT_TRUE(inserted.empty()) << c.name;
    EXPECT_EQ(before, raw.AllTables()) << c.name;
  }
  EXPECT_FALSE(store->StoreInboxBatch("s", "9", {}, "", nullptr, nullptr));
  EXPECT_EQ("batch_invalid", store->last_error());
}

TEST_F(HistoryInbox, PagesRedeliveriesAndTheConversationRow) {
  auto store = OpenStore();
  std::vector<std::string> stored, inserted;
  ASSERT_TRUE(store->StoreInboxBatch("s", "100", Page("m", "p1", 1, 3), "ack", &stored, &inserted));
  EXPECT_EQ((Ids{"m1", "m2", "m3"}), stored);
  EXPECT_EQ(stored, inserted);
  // A redelivery of m3 with a new one, the maximum sequence and the cursor equal to it.
  std::vector<HistoryMessage> page = Page("m", "p1", 3, 2);
  page[1].sequence = "9223372036854775807";
  ASSERT_TRUE(store->StoreInboxBatch("s", "9223372036854775807", page, "ack", &stored, &inserted));
  EXPECT_EQ((Ids{"m3", "m4"}), stored);
  EXPECT_EQ((Ids{"m4"}), inserted);
  {
    // An empty page only rewrites the cursor.
    RawDb raw(DbPath(*store));
    auto without_cursor = [&] {
      auto rows = raw.AllTables();
      auto cursor = raw.Rows("SELECT * FROM metadata WHERE key='cursor'");
      rows.erase(std::remove(rows.begin(), rows.end(), cursor.at(0)), rows.end());
      return rows;
    };
    auto before = without_cursor();
    auto cursor_before = raw.Rows("SELECT value FROM metadata WHERE key='cursor'");
    ASSERT_TRUE(store->StoreInboxBatch("s", "5", {}, "", &stored, nullptr));
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(before, without_cursor());
    EXPECT_NE(cursor_before, raw.Rows("SELECT value FROM metadata WHERE key='cursor'"));
  }

  std::vector<ConversationRow> rows;
  ASSERT_TRUE(store->ListConversations(&rows));
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("p1", rows[0].peer_id);
  EXPECT_EQ("text 4", rows[0].text);
  EXPECT_EQ(4, rows[0].unread);
  EXPECT_EQ(1004.0, rows[0].created);

  // Equal times go to the larger id; a late older message counts but does not show.
  ASSERT_TRUE(store->StoreInboxBatch("s", "9", {Msg("z", "p2", "u1", "z text", 7, "1"), Msg("a", "p2", "u1", "a text", 7, "2"),
                                                Msg("old", "p2", "u1", "old text", 1, "3")},
                                     "ack", &stored, nullptr));
  // An own read message from another origin of the conversation.
  HistoryMessage own = Msg("own", "u1", "p3", "mine", 2000, "4");
  ASSERT_TRUE(store->StoreInboxBatch("s", "9", {own}, "ack", &stored, nullptr));
  ASSERT_TRUE(store->ListConversations(&rows));
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ("p3", rows[0].peer_id);
  EXPECT_EQ(0, rows[0].unread);
  EXPECT_EQ("p1", rows[1].peer_id);
  EXPECT_EQ("p2", rows[2].peer_id);
  EXPECT_EQ("z text", rows[2].text);
  EXPECT_EQ(3, rows[2].unread);

  ASSERT_TRUE(store->MarkPeerRead("p2"));
  ASSERT_TRUE(store->MarkPeerRead("nobody"));
  ASSERT_TRUE(store->ListConversations(&rows));
  EXPECT_EQ(0, rows[2].unread);
  EXPECT_EQ(4, rows[1].unread);

  std::vector<HistoryMessage> history;
  ASSERT_TRUE(store->ReadPeerHistory("p2", &history, 100));
  ASSERT_EQ(3u, history.size());
  EXPECT_EQ("old", history[0].message_id);
  EXPECT_EQ("a", history[1].message_id);
  EXPECT_EQ("z", history[2].message_id);
  for (const HistoryMessage& m : history) EXPECT_TRUE(m.is_read);  // from the column
  ASSERT_TRUE(store->ReadPeerHistory("p1", &history, 2));
  ASSERT_EQ(2u, history.size());
  EXPECT_EQ("m3", history[0].message_id);
  EXPECT_EQ("m4", history[1].message_id);
  EXPECT_FALSE(history[0].is_read);
  EXPECT_FALSE(store->ReadPeerHistory("p1", &history, 100001));
  EXPECT_EQ("history_invalid", store->last_error());
  ASSERT_TRUE(store->ReadPeerHistory("p1", &history, 100000));
  EXPECT_EQ(4u, history.size());

  HistoryMessage got;
  ASSERT_TRUE(store->GetMessage("a", &got));
  EXPECT_TRUE(got.is_read);
  EXPECT_EQ("2", got.sequence);
  EXPECT_FALSE(store->GetMessage("missing", &got));
}

TEST_F(HistoryInbox, AValueTooLargeToReadBackIsNotStored) {
  auto store = OpenStore();
  // The record's JSON text stays under the reader's 1 MiB, its encrypted
  // form would not.
  HistoryMessage big = Msg("big", "p1", "u1", "x", 1, "1");
  const size_t base = HistoryMessageToJson(big).size();
  big.client_message_id = std::string(1048576 - 10 - base, 'c');
  JsonValue parsed;
  ASSERT_TRUE(ParseJson(HistoryMessageToJson(big), parsed));
  std::vector<std::string> stored;
  EXPECT_FALSE(store->StoreInboxBatch("s", "1", {big}, "ack", &stored, nullptr));
  EXPECT_EQ("inbox_commit_failed", store->last_error());
  RawDb raw(DbPath(*store));
  EXPECT_EQ(0, raw.Count("messages"));
  EXPECT_EQ(0, raw.Count("conversations"));
  std::vector<ConversationRow> rows;
  EXPECT_TRUE(store->ListConversations(&rows));
  EXPECT_FALSE(store->GetMessage("big", &big));
}

TEST_F(HistoryInbox, IdsWithZeroBytesAndAcknowledgements) {
  auto store = OpenStore();
  std::string id_a("id\0a", 4);
  std::string id_b("id\0b", 4);
  std::vector<std::string> stored;
  ASSERT_TRUE(store->StoreInboxBatch("s", "2", {Msg(id_a, "p1", "u1", "one", 1, "1"), Msg(id_b, "p1", "u1", "two", 2, "2")},
                                     "ack", &stored, nullptr));
  HistoryMessage got;
  ASSERT_TRUE(store->GetMessage(id_a, &got));
  EXPECT_EQ("one", got.message);
  ASSERT_TRUE(store->GetMessage(id_b, &got));
  EXPECT_EQ("two", got.message);
  EXPECT_FALSE(store->GetMessage("id", &got));
  RawDb raw(DbPath(*store));
  EXPECT_EQ(2, raw.Count("acknowledgements"));
  ASSERT_TRUE(store->DeleteAcknowledgements({id_a, "unknown"}));
  EXPECT_EQ(1, raw.Count("acknowledgements"));
  ASSERT_TRUE(store->DeleteAcknowledgements({}));
  EXPECT_FALSE(store->DeleteAcknowledgements(Ids(101, "x")));
  EXPECT_EQ("ack_invalid", store->last_error());
  ASSERT_TRUE(store->DeleteAcknowledgements(Ids(100, id_b)));
  EXPECT_EQ(0, raw.Count("acknowledgements"));
}

TEST_F(HistoryInbox, InsertMessageCodes) {
  auto store = OpenStore();
  using quorix_history::StoreTestAccess;
  bool inserted = true;
  // A missing sequence and an id taken by other content are refused through
  // the callers (RefusedPagesChangeNothing, AFailedInsertKeepsTheOutboxRow).
  EXPECT_FALSE(StoreTestAccess::InsertMessage(*store, Msg("m1", "p1", "u2", "x", 1), "", &inserted));
  EXPECT_EQ("message_invalid", store->last_error());
  EXPECT_FALSE(inserted);
  EXPECT_FALSE(StoreTestAccess::InsertMessage(*store, Msg("m1", "p1", "u1", "x", std::nan("")), "", &inserted));
  EXPECT_EQ("message_json_invalid", store->last_error());
  EXPECT_FALSE(StoreTestAccess::InsertMessage(*store, Msg("m1", "p1", "u1", "bad \xff", 1), "", &inserted));
  EXPECT_EQ("message_json_invalid", store->last_error());
  ASSERT_TRUE(StoreTestAccess::InsertMessage(*store, Msg("m1", "p1", "u1", "x", 1), "", &inserted));
  EXPECT_TRUE(inserted);
  ASSERT_TRUE(StoreTestAccess::InsertMessage(*store, Msg("m1", "p1", "u1", "x", 1, "77"), "tok", &inserted));
  EXPECT_FALSE(inserted);
  RawDb raw(DbPath(*store));
  EXPECT_EQ(1, raw.Count("messages"));
  EXPECT_EQ(1, raw.Count("acknowledgements"));
}

using HistoryReads = HistoryStoreTest;

TEST_F(HistoryReads, DamagedPayloadsAreReported) {
  auto store = OpenStore();
  std::vector<std::string> stored;
  ASSERT_TRUE(store->StoreInboxBatch("s", "1", {Msg("m1", "p1", "u1", "one", 1, "1")}, "ack", &stored, nullptr));
  RawDb raw(DbPath(*store));
  ASSERT_TRUE(raw.DamagePayloadByte("messages", "41"));
  std::vector<HistoryMessage> history;
  EXPECT_FALSE(store->ReadPeerHistory("p1", &history, 10));
  EXPECT_EQ("decrypt_failed", store->last_error());
  HistoryMessage got;
  EXPECT_FALSE(store->GetMessage("m1", &got));
  ASSERT_TRUE(raw.DamagePayloadByte("conversations", "length(payload)"));
  std::vector<ConversationRow> rows;
  EXPECT_FALSE(store->ListConversations(&rows));
  EXPECT_EQ("decrypt_failed", store->last_error());
  ASSERT_TRUE(raw.Exec("UPDATE conversations SET payload=X''"));
  EXPECT_FALSE(store->ListConversations(&rows));
  EXPECT_EQ("cipher_invalid", store->last_error());
  // A redelivery of a message whose stored copy cannot be read fails.
  EXPECT_FALSE(store->StoreInboxBatch("s", "1", {Msg("m1", "p1", "u1", "one", 1, "1")}, "ack", &stored, nullptr));
}

TEST_F(HistoryReads, FriendsComeBackInListOrder) {
  auto store = OpenStore();
  std::vector<ChatFriend> friends = {{"zed", "Z"}, {"amy", "A"}, {"mia", "M \"quoted\"\n"}, {"bob", ""}};
  ASSERT_TRUE(store->ReplaceFriends(friends));
  std::vector<ChatFriend> back;
  ASSERT_TRUE(store->ReadFriends(&back));
  ASSERT_EQ(friends.size(), back.size());
  for (size_t i = 0; i < friends.size(); ++i) {
    EXPECT_EQ(friends[i].user_id, back[i].user_id);
    EXPECT_EQ(friends[i].display_name, back[i].display_name);
  }
  // A repeated id stores nothing and keeps the old list.
  EXPECT_FALSE(store->ReplaceFriends({{"new", "N"}, {"new", "again"}}));
  ASSERT_TRUE(store->ReadFriends(&back));
  EXPECT_EQ(4u, back.size());
  EXPECT_FALSE(store->ReplaceFriends(std::vector<ChatFriend>(10001, ChatFriend{"x", "y"})));
  ASSERT_TRUE(store->ReplaceFriends({}));
  ASSERT_TRUE(store->ReadFriends(&back));
  EXPECT_TRUE(back.empty());
}

TEST_F(HistoryReads, UnopenedStoreRefusesEverything) {
  Store store;
  std::string nonce;
  EXPECT_FALSE(store.AddOutbox("p", "m", &nonce));
  EXPECT_EQ("draft_invalid", store.last_error());
  std::vector<OutboxEntry> pending;
  EXPECT_FALSE(store.ListPendingOutbox(&pending));
  EXPECT_EQ("not_open", store.last_error());
  EXPECT_FALSE(store.MarkOutboxFailed("n"));
  EXPECT_FALSE(store.CommitAccepted(Accepted("nonce_0123456789"), "a"));
  EXPECT_EQ("accepted_invalid", store.last_error());
  std::vector<std::string> ids;
  EXPECT_FALSE(store.StoreInboxBatch("s", "1", {}, "", &ids, nullptr));
  EXPECT_EQ("batch_invalid", store.last_error());
  EXPECT_FALSE(store.DeleteAcknowledgements({}));
  EXPECT_EQ("ack_invalid", store.last_error());
  std::vector<ConversationRow> rows;
  EXPECT_FALSE(store.ListConversations(&rows));
  EXPECT_EQ("not_open", store.last_error());
  EXPECT_FALSE(store.MarkPeerRead("p"));
  std::vector<ChatFriend> friends;
  EXPECT_FALSE(store.ReadFriends(&friends));
  EXPECT_FALSE(store.ReplaceFriends({}));
  std::vector<HistoryMessage> history;
  EXPECT_FALSE(store.ReadPeerHistory("p", &history, 1));
  EXPECT_EQ("history_invalid", store.last_error());
  HistoryMessage got;
  EXPECT_FALSE(store.GetMessage("m", &got));
}

TEST_F(HistoryReads, FailingPeerHashRefusesPeerOperations) {
  auto store = OpenStore();
  std::vector<std::string> stored;
  ASSERT_TRUE(store->StoreInboxBatch("s", "1", {Msg("m1", "p1", "u1", "one", 1, "1")}, "ack", &stored, nullptr));
  quorix_history::test_hooks::SetSha256Failure(true);
  EXPECT_FALSE(store->StoreInboxBatch("s", "2", {Msg("m2", "p1", "u1", "two", 2, "2")}, "ack", &stored, nullptr));
  EXPECT_EQ("inbox_commit_failed", store->last_error());
  std::vector<HistoryMessage> history;
  EXPECT_FALSE(store->ReadPeerHistory("p1", &history, 10));
  EXPECT_EQ("history_invalid", store->last_error());
  EXPECT_FALSE(store->MarkPeerRead("p1"));
  EXPECT_FALSE(store->ReplaceFriends({{"f", "F"}}));
  quorix_history::test_hooks::SetSha256Failure(false);
  RawDb raw(DbPath(*store));
  EXPECT_EQ(1, raw.Count("messages"));
  EXPECT_EQ(1, raw.Rows("SELECT unread FROM conversations").size());
}

}  // namespace
