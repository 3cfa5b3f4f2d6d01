#pragma once
// Helpers of the history session and message sync tests: a wire for "u1"
// started against the loopback service in isolated mode, the message routes
// modelled by the fake, and the history session opened on that wire.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "chat/history_session.h"
#include "chat/message_sync.h"
#include "fake_message_service.h"
#include "history_store_fixture.h"
#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "service_admission.h"

namespace sync_test {

using namespace std::chrono_literals;
using Fake = quorix_test::FakeMessageService;

// Revisions are never reused within the process, so every test starts on a
// fresh session and a fresh inbox cursor.
inline uint64_t NextRevision() {
  static std::atomic<uint64_t> next{1000};
  return ++next;
}

inline const std::vector<ChatFriend>& Friends() {
  static const std::vector<ChatFriend> friends = {{"p1", "Peer One"}, {"p2", "Peer Two"}};
  return friends;
}

// Makes the first task that reaches the named test point wait there until
// Go(); later ones pass.
class PointGate {
 public:
  explicit PointGate(std::string point) : point_(std::move(point)) {
    quorix_history::test_hooks::SetCrashPoint([this](const char* where, size_t) {
      if (point_ != where) return;
      std::unique_lock lock(mutex_);
      if (reached_) return;
      reached_ = true;
      cv_.notify_all();
      cv_.wait(lock, [this] { return go_; });
    });
  }
  ~PointGate() {
    Go();
    quorix_history::test_hooks::SetCrashPoint(nullptr);
  }
  bool WaitReached() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 30s, [this] { return reached_; });
  }
  void Go() {
    std::lock_guard lock(mutex_);
    go_ = true;
    cv_.notify_all();
  }

 private:
  std::string point_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool reached_ = false;
  bool go_ = false;
};

class SyncTest : public history_test::HistoryStoreTest {
 protected:
  SyncTest() : admission_(service_) {
    quorix_test::ScriptPhoneRoutes(service_, "u1");
    fake_ = std::make_unique<Fake>(service_, "u1");
    wire_.SetTimingForTesting(&timing_);
  }

  void SetUp() override {
    HistoryStoreTest::SetUp();
    ASSERT_TRUE(wire_.Start("u1", quorix_test::kPhoneToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
    revision_ = NextRevision();
    ASSERT_TRUE(HistorySession::Open("u1", revision_, &wire_, Friends()));
  }

  void TearDown() override {
    HistorySession::Reset(NextRevision());
    service_.Release();
    wire_.Stop();
    HistoryStoreTest::TearDown();
  }

  std::shared_ptr<quorix_history::Store> store() { return HistorySession::Snapshot().store; }
  quorix_notice::Batch Poll() { return RunInboxPollTask(revision_); }
  std::vector<quorix_history::OutboxEntry> Pending() {
    std::vector<quorix_history::OutboxEntry> out;
    EXPECT_TRUE(store()->ListPendingOutbox(&out));
    return out;
  }
  // A pending outbox entry under a chosen nonce.
  void AddPending(const std::string& peer, const std::string& text, std::string nonce) {
    ASSERT_TRUE(store()->AddOutbox(peer, text, &nonce)) << store()->last_error();
  }
  long long Count(const std::string& table) {
    history_test::RawDb db(history_test::DbPath(*store(), HistorySession::StoreRoot()));
    return db.Count(table);
  }

  quorix_test::LoopbackService service_;
  quorix_test::ScopedIsolatedService admission_;
  std::unique_ptr<Fake> fake_;
  quorix_test::RecordingTiming timing_;
  quorix_phone::WindowsWire wire_;
  uint64_t revision_ = 0;
};

}  // namespace sync_test
