#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "message_sync_fixture.h"

namespace {

using sync_test::NextRevision;
using sync_test::SyncTest;

// Tasks on five threads while the main thread keeps replacing and closing
// the session: every task ends, with one of its own codes.
TEST_F(SyncTest, TasksRaceSessionChanges) {
  quorix_history::test_hooks::SetBusyTimeoutOverride(100);
  for (int i = 0; i < 300; ++i) fake_->Deliver(i % 2 ? "p1" : "p2", "race " + std::to_string(i));
  std::atomic<bool> stop{false};
  std::atomic<size_t> runs{0};
  std::vector<std::string> bad;
  std::mutex bad_mutex;
  auto check = [&](bool ok, const std::string& what) {
    ++runs;
    if (ok) return;
    std::lock_guard lock(bad_mutex);
    bad.push_back(what);
  };
  auto in = [](uint32_t code, std::set<uint32_t> allowed) { return allowed.count(code) != 0; };
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    while (!stop) {
      auto r = RunPeerHistoryTask("p1");
      check(in(r.code, {0, 1, 9}) && (r.code == 0 || r.messages.empty()), "history " + std::to_string(r.code));
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      auto r = RunConversationListTask();
      check(in(r.code, {0, 1, 5}) && (r.code == 0 || r.conversations.empty()), "list " + std::to_string(r.code));
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      auto r = MarkReadJob("p2")();
      check(in(r.code, {0, 7}), "read " + std::to_string(r.code));
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; !stop; ++i) {
      auto r = SendMessageJob("p1", "out " + std::to_string(i))();
      check(in(r.code, {0, 1, 7, 9}) && (r.code == 0) == (r.messages.size() == 1), "send " + std::to_string(r.code));
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      const uint64_t revision = HistorySession::Snapshot().revision;
      auto batch = RunInboxPollTask(revision);
      check(batch.revision == revision && (batch.succeeded || batch.incomplete || batch.entries.empty()),
            "poll");
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (bool open = true; std::chrono::steady_clock::now() < end; open = !open) {
    if (open) {
      revision_ = NextRevision();
      HistorySession::Open("u1", revision_, &wire_, sync_test::Friends());
    } else {
      HistorySession::Reset(NextRevision());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(bad.empty()) << bad.front();
  EXPECT_GE(runs.load(), 5u);

  // A settled session afterwards still works end to end.
  revision_ = NextRevision();
  ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, sync_test::Friends()));
  EXPECT_EQ(RunSendMessageTask("p1", "after").code, 0u);
}

}  // namespace
