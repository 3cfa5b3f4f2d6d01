#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "core/environment.h"
#include "event_log_capture.h"
#include "message_sync_fixture.h"

namespace {

using history_test::RawDb;
using sync_test::NextRevision;
using sync_test::SyncTest;

std::vector<ChatFriend> StoredFriends() {
  std::vector<ChatFriend> out;
  EXPECT_TRUE(HistorySession::Snapshot().store->ReadFriends(&out));
  return out;
}

std::vector<std::string> Names(const std::vector<ChatFriend>& friends) {
  std::vector<std::string> names;
  for (const ChatFriend& f : friends) names.push_back(f.user_id + "=" + f.display_name);
  return names;
}

TEST_F(SyncTest, SameSessionIsSettledInMemoryChangedFriendsReplacedAndOtherUsersRefused) {
  quorix_history::test_hooks::SetBusyTimeoutOverride(50);
  revision_ = NextRevision();
  ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
  const uint64_t start = HistorySession::ChangeCounter();
  const auto before = HistorySession::Snapshot();
  ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
  EXPECT_EQ(HistorySession::ChangeCounter(), start);

  // A write lock held by another connection: the same arguments still
  // succeed (no SQLite touched), a changed list fails and keeps the old one.
  std::vector<ChatFriend> renamed = {{"p1", "Peer Uno"}, {"p2", "Peer Two"}};
  {
    RawDb locker(history_test::DbPath(*before.store, HistorySession::StoreRoot()));
    sqlite3_busy_timeout(locker.get(), 0);
    ASSERT_TRUE(locker.Exec("BEGIN IMMEDIATE"));
    EXPECT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
    EXPECT_FALSE(HistorySession::Open("u1", revision_, &wire_, renamed));
    locker.Exec("ROLLBACK");
  }
  EXPECT_EQ(HistorySession::ChangeCounter(), start);
  EXPECT_EQ(Names(HistorySession::Snapshot().friends), Names(sync_test::Friends()));

  ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, renamed));
  EXPECT_EQ(HistorySession::ChangeCounter(), start + 1);
  EXPECT_EQ(Names(StoredFriends()), Names(renamed));

  // A failed open for another user keeps the session.
  EXPECT_FALSE(HistorySession::Open("u2", NextRevision(), &wire_, {{"p1", "A"}, {"p1", "B"}}));
  EXPECT_FALSE(HistorySession::Open(std::string(257, 'u'), NextRevision(), &wire_, {}));
  EXPECT_EQ(HistorySession::Snapshot().user_id, "u1");
  EXPECT_EQ(HistorySession::ChangeCounter(), start + 1);
  EXPECT_TRUE(HistorySession::IsCurrent(before));  // the same session throughout
}

// A rollback that does not take closes the store's connection. The next Open
// of the same session opens the store again (a failed reopen answers false,
// so the owner retries at its pace), and the closing is logged once.
TEST_F(SyncTest, AStoreClosedByAFailedRollbackIsOpenedAgain) {
  quorix_test::EventLogCapture log;
  const uint64_t start = HistorySession::ChangeCounter();
  const auto before = HistorySession::Snapshot();
  std::vector<HistoryMessage> bad = history_test::Page("m", "p1", 1, 2);
  bad[1].sequence = "1";  // the first message is written before the page fails
  std::vector<std::string> ids;
  quorix_history::test_hooks::FailNextRollbacks(2);
  EXPECT_FALSE(before.store->StoreInboxBatch("s", "9", bad, "ack", &ids, nullptr));
  EXPECT_EQ(RunPeerHistoryTask("p1").code, 9u);
  EXPECT_EQ(log.Count("LOCAL_HISTORY_NOT_READY"), 1u);

  // The reopen itself fails first: false, the closed store stays in place.
  quorix_history::test_hooks::SetSha256Failure(true);
  EXPECT_FALSE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
  EXPECT_EQ(HistorySession::Snapshot().store.get(), before.store.get());
  quorix_history::test_hooks::SetSha256Failure(false);

  ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
  const auto after = HistorySession::Snapshot();
  EXPECT_NE(after.store.get(), before.store.get());
  EXPECT_FALSE(HistorySession::IsCurrent(before));
  EXPECT_EQ(HistorySession::ChangeCounter(), start + 1);
  ASSERT_TRUE(after.store->StoreInboxBatch("s", "9", history_test::Page("m", "p1", 1, 2), "ack", &ids, nullptr))
      << after.store->last_error();
  const auto history = RunPeerHistoryTask("p1");
  ASSERT_EQ(history.code, 0u);
  ASSERT_EQ(history.messages.size(), 2u);
  EXPECT_EQ(history.messages[1].text, "text 2");
  EXPECT_EQ(Names(StoredFriends()), Names(sync_test::Friends()));

  // Open now settles in memory again, and nothing more was logged.
  ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
  EXPECT_EQ(HistorySession::Snapshot().store.get(), after.store.get());
  EXPECT_EQ(log.Count("LOCAL_HISTORY_NOT_READY"), 1u);
}

TEST_F(SyncTest, StoreRootDependsOnTheMode) {
  struct Case {
    bool production;
    const char* folder;
  };
  for (const Case& c : {Case{false, "v1-test"}, Case{true, "v1"}}) {
    SCOPED_TRACE(c.folder);
    ScopedEnvironmentVariable mode(u"QUORIX_RUNTIME_MODE",
                                   c.production ? std::optional<std::u16string_view>(u"LIVE_PRODUCTION_RC")
                                                : std::nullopt);
    const auto expected = local_app_data() / "QuorixPhone" / "history" / c.folder;
    EXPECT_EQ(HistorySession::StoreRoot(), expected);
    ASSERT_TRUE(HistorySession::Open("u1", NextRevision(), &wire_, {}));
    EXPECT_TRUE(std::filesystem::exists(history_test::DbPath(*HistorySession::Snapshot().store, expected)));
  }
}

TEST_F(SyncTest, NewerSessionMakesPausedTasksFail) {
  struct Case {
    const char* point;
    std::function<uint32_t()> run;
    uint32_t failure;
  };
  const std::vector<Case> cases = {
      {"peer_history", [] { return RunPeerHistoryTask("p1").code; }, 9},
      {"conversation_list", [] { return RunConversationListTask().code; }, 5},
      {"mark_read", [] { return RunMarkReadTask("p1") ? 0u : 7u; }, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    EXPECT_EQ(c.run(), 0u);
    sync_test::PointGate gate(c.point);
    auto result = std::async(std::launch::async, c.run);
    ASSERT_TRUE(gate.WaitReached());
    revision_ = NextRevision();
    ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
    gate.Go();
    EXPECT_EQ(result.get(), c.failure);
  }
  HistorySession::Reset(NextRevision());
  EXPECT_EQ(RunPeerHistoryTask("p1").code, 1u);
  EXPECT_EQ(RunConversationListTask().code, 1u);
  EXPECT_FALSE(RunMarkReadTask("p1"));
}

TEST_F(SyncTest, LocalTasksReadTheStore) {
  auto s = store();
  std::vector<std::string> ids;
  for (int first = 1; first <= 3001; first += 100) {
    auto page = history_test::Page("a", "p1", first, std::min(100, 3002 - first));
    ASSERT_TRUE(s->StoreInboxBatch("s", page.back().sequence, page, "t", &ids, nullptr)) << s->last_error();
  }
  auto other = history_test::Page("x", "stranger", 4000, 1);
  ASSERT_TRUE(s->StoreInboxBatch("s", "4000", other, "t", &ids, nullptr));

  const auto history = RunPeerHistoryTask("p1");
  ASSERT_EQ(history.code, 0u);
  ASSERT_EQ(history.messages.size(), 3000u);
  EXPECT_EQ(history.messages.front().id, "a2");
  EXPECT_EQ(history.messages.back().id, "a3001");
  EXPECT_EQ(history.messages.back().text, "text 3001");

  const auto list = RunConversationListTask();
  ASSERT_EQ(list.code, 0u);
  EXPECT_EQ(list.self_id, "u1");
  EXPECT_EQ(Names(list.friends).size(), 2u);
  ASSERT_EQ(list.conversations.size(), 1u);  // the stranger's is left out
  EXPECT_EQ(list.conversations[0].peer_id, "p1");
  EXPECT_EQ(list.conversations[0].unread, 3001u);

  struct Case {
    const char* peer;
    uint64_t bump;
  };
  for (const Case& c : {Case{"p1", 1}, Case{"p1", 0}, Case{"p2", 0}}) {
    SCOPED_TRACE(c.peer);
    const uint64_t start = HistorySession::ChangeCounter();
    EXPECT_EQ(MarkReadJob(c.peer)().code, 0u);
    EXPECT_EQ(HistorySession::ChangeCounter(), start + c.bump);
  }
  EXPECT_EQ(ConversationListJob()().conversations[0].unread, 0u);
}

}  // namespace
