#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "history_store_fixture.h"
#include "test_util.h"

namespace {

using history_test::DbPath;
using history_test::HistoryStoreTest;
using history_test::kOrigin;
using history_test::Msg;
using history_test::OpenStore;
using history_test::Page;
using history_test::RawDb;
using history_test::Root;
using quorix_history::ConversationRow;
using quorix_history::OutboxEntry;
using quorix_history::Store;
namespace hooks = quorix_history::test_hooks;

using HistoryCrash = HistoryStoreTest;

TEST_F(HistoryCrash, KilledInsideAPageLeavesNoneOfIt) {
  GTEST_FLAG_SET(death_test_style, "fast");
  std::filesystem::path db;
  {
    auto store = OpenStore();
    db = DbPath(*store);
  }
  EXPECT_EXIT(
      {
        hooks::SetCrashPoint([](const char* where, size_t count) {
          if (std::string(where) == "inbox" && count == 50) ::raise(SIGKILL);
        });
        auto store = OpenStore();
        std::vector<std::string> ids;
        store->StoreInboxBatch("s", "100", Page("m", "p1", 1, 100), "ack", &ids, nullptr);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  auto store = OpenStore();
  {
    RawDb raw(db);
    EXPECT_EQ(0, raw.Count("messages"));
    EXPECT_EQ(0, raw.Count("conversations"));
    EXPECT_EQ(0, raw.Count("acknowledgements"));
    EXPECT_EQ(0, raw.Rows("SELECT 1 FROM metadata WHERE key='cursor'").size());
  }
  std::vector<std::string> ids;
  ASSERT_TRUE(store->StoreInboxBatch("s", "100", Page("m", "p1", 1, 100), "ack", &ids, nullptr));
  RawDb raw(db);
  EXPECT_EQ(100, raw.Count("messages"));
}

TEST_F(HistoryCrash, KilledInsideACommitKeepsTheOutboxEntry) {
  GTEST_FLAG_SET(death_test_style, "fast");
  std::string nonce = "nonce_0123456789";
  HistoryMessage accepted = Msg("srv1", "u1", "p1", "hello", 5, "1");
  accepted.client_message_id = nonce;
  std::filesystem::path db;
  {
    auto store = OpenStore();
    ASSERT_TRUE(store->AddOutbox("p1", "hello", &nonce));
    db = DbPath(*store);
  }
  EXPECT_EXIT(
      {
        hooks::SetCrashPoint([](const char* where, size_t) {
          if (std::string(where) == "commit") ::raise(SIGKILL);
        });
        auto store = OpenStore();
        store->CommitAccepted(accepted, "ack");
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  auto store = OpenStore();
  std::vector<OutboxEntry> pending;
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  ASSERT_EQ(1u, pending.size());
  EXPECT_EQ("hello", pending[0].message);
  {
    RawDb raw(db);
    EXPECT_EQ(0, raw.Count("messages"));
    EXPECT_EQ(0, raw.Count("acknowledgements"));
  }
  ASSERT_TRUE(store->CommitAccepted(accepted, "ack"));
  ASSERT_TRUE(store->ListPendingOutbox(&pending));
  EXPECT_TRUE(pending.empty());
}

using HistoryLocks = HistoryStoreTest;

TEST_F(HistoryLocks, AHeldWriteLockGivesTransactionBusy) {
  hooks::SetBusyTimeoutOverride(50);
  auto store = OpenStore();
  std::string nonce = "nonce_0123456789";
  ASSERT_TRUE(store->AddOutbox("p1", "hello", &nonce));
  RawDb raw(DbPath(*store));
  ASSERT_TRUE(raw.Exec("BEGIN IMMEDIATE"));
  std::vector<std::string> ids = {"stale"};
  EXPECT_FALSE(store->StoreInboxBatch("s", "2", Page("m", "p1", 1, 2), "ack", &ids, nullptr));
  EXPECT_EQ("transaction_busy", store->last_error());
  EXPECT_TRUE(ids.empty());
  HistoryMessage accepted = Msg("srv1", "u1", "p1", "hello", 5, "1");
  accepted.client_message_id = nonce;
  EXPECT_FALSE(store->CommitAccepted(accepted, "ack"));
  EXPECT_EQ("transaction_busy", store->last_error());
  EXPECT_FALSE(store->MarkPeerRead("p1"));
  EXPECT_FALSE(store->ReplaceFriends({}));
  ASSERT_TRUE(raw.Exec("ROLLBACK"));
  EXPECT_EQ(0, raw.Count("messages"));
  EXPECT_EQ(1, raw.Count("outbox"));
  // Released: everything goes through.
  ASSERT_TRUE(store->StoreInboxBatch("s", "2", Page("m", "p1", 1, 2), "ack", &ids, nullptr));
  ASSERT_TRUE(store->CommitAccepted(accepted, "ack"));
}

TEST_F(HistoryLocks, OneFailedRollbackIsRetriedTwoCloseTheConnection) {
  auto store = OpenStore();
  std::vector<HistoryMessage> bad = Page("m", "p1", 1, 2);
  bad[1].sequence = "1";  // the first message is written before the page fails
  hooks::FailNextRollbacks(1);
  std::vector<std::string> ids;
  EXPECT_FALSE(store->StoreInboxBatch("s", "9", bad, "ack", &ids, nullptr));
  EXPECT_EQ("inbox_commit_failed", store->last_error());
  ASSERT_NE(nullptr, quorix_history::StoreTestAccess::Connection(*store));
  EXPECT_NE(0, sqlite3_get_autocommit(quorix_history::StoreTestAccess::Connection(*store)));
  ASSERT_TRUE(store->StoreInboxBatch("s", "9", Page("m", "p1", 1, 2), "ack", &ids, nullptr));

  bad = Page("n", "p1", 3, 2);
  bad[1].sequence = "3";
  hooks::FailNextRollbacks(2);
  EXPECT_FALSE(store->StoreInboxBatch("s", "9", bad, "ack", &ids, nullptr));
  EXPECT_EQ("inbox_commit_failed", store->last_error());
  EXPECT_EQ(nullptr, quorix_history::StoreTestAccess::Connection(*store));

  // The write lock is gone at once and the page is absent.
  hooks::SetBusyTimeoutOverride(0);
  auto other = OpenStore();
  ASSERT_TRUE(other->StoreInboxBatch("s", "9", Page("x", "p2", 1, 1), "ack", &ids, nullptr)) << other->last_error();
  RawDb raw(DbPath(*other));
  EXPECT_EQ(3, raw.Count("messages"));
  EXPECT_EQ(0, raw.Rows("SELECT 1 FROM messages WHERE id='n3'").size());

  // The first store now acts as unopened.
  std::vector<ConversationRow> rows;
  EXPECT_FALSE(store->ListConversations(&rows));
  EXPECT_EQ("not_open", store->last_error());
  EXPECT_FALSE(store->StoreInboxBatch("s", "9", Page("m", "p1", 1, 1), "ack", &ids, nullptr));
  EXPECT_EQ("batch_invalid", store->last_error());
}

TEST_F(HistoryLocks, ThreadsAndASecondStoreLoseNothing) {
  auto store = OpenStore();
  auto second = OpenStore();
  constexpr int kThreads = 8;
  constexpr int kPages = 15;
  constexpr int kPerPage = 5;
  std::atomic<int> failures{0};
  auto worker = [&](std::shared_ptr<Store> s, int t) {
    std::string peer = "peer" + std::to_string(t);
    for (int p = 0; p < kPages; ++p) {
      std::vector<HistoryMessage> page;
      for (int i = 0; i < kPerPage; ++i) {
        page.push_back(Msg("t" + std::to_string(t) + "-" + std::to_string(p) + "-" + std::to_string(i), peer, "u1",
                           "text", p * 10.0 + i, std::to_string(i + 1)));
      }
      std::vector<std::string> ids;
      if (!s->StoreInboxBatch("s", "5", page, "ack", &ids, nullptr)) ++failures;
      std::vector<ConversationRow> rows;
      if (!s->ListConversations(&rows)) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, store, t);
  threads.emplace_back(worker, second, kThreads);
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(0, failures.load());
  RawDb raw(DbPath(*store));
  EXPECT_EQ((kThreads + 1) * kPages * kPerPage, raw.Count("messages"));
  std::vector<ConversationRow> rows;
  ASSERT_TRUE(store->ListConversations(&rows));
  ASSERT_EQ(static_cast<size_t>(kThreads + 1), rows.size());
  for (const ConversationRow& row : rows) EXPECT_EQ(kPages * kPerPage, row.unread) << row.peer_id;
}

using HistoryPrivacy = HistoryStoreTest;

bool FileHolds(const std::filesystem::path& path, const std::string& marker) {
  if (!std::filesystem::exists(path)) return false;
  return quorix_test::ReadFile(path).find(marker) != std::string::npos;
}

TEST_F(HistoryPrivacy, NothingInClearInTheFiles) {
  const std::vector<std::string> markers = {"MkText", "MkName", "MkAck", "MkDraft", "MkStream", "MkPeer", "MkSelf",
                                            "svc.example", "MkFriendId"};
  std::filesystem::path db;
  auto check = [&](const char* when) {
    for (const char* suffix : {"", "-wal"}) {
      for (const std::string& m : markers) {
        EXPECT_FALSE(FileHolds(db.string() + suffix, m)) << when << " " << suffix << " " << m;
      }
    }
  };
  {
    auto store = OpenStore("MkSelf");
    db = DbPath(*store);
    ASSERT_TRUE(store->ReplaceFriends({{"MkFriendId1", "MkName one"}, {"MkPeer1", "MkName two"}}));
    std::vector<std::string> ids;
    std::vector<HistoryMessage> page;
    for (int i = 1; i <= 20; ++i) {
      page.push_back(Msg("id" + std::to_string(i), "MkPeer" + std::to_string(i % 3), "MkSelf",
                         "MkText " + std::to_string(i), i, std::to_string(i)));
    }
    ASSERT_TRUE(store->StoreInboxBatch("MkStream", "20", page, "MkAck-token", &ids, nullptr));
    std::string nonce = "nonce_0123456789";
    ASSERT_TRUE(store->AddOutbox("MkPeer1", "MkDraft text", &nonce));
    ASSERT_TRUE(store->MarkOutboxFailed(nonce));
    ASSERT_TRUE(store->MarkPeerRead("MkPeer1"));
    ASSERT_TRUE(std::filesystem::exists(db.string() + "-wal"));
    check("open");
  }
  check("closed");
  // The check itself finds a marker that is there.
  RawDb raw(db);
  ASSERT_TRUE(raw.Exec("INSERT INTO metadata VALUES('probe', CAST('MkProbe' AS BLOB))"));
  EXPECT_TRUE(FileHolds(db.string() + "-wal", "MkProbe") || FileHolds(db.string(), "MkProbe"));
}

}  // namespace
