#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/service_origin.h"
#include "message_sync_fixture.h"
#include "platform/test_hooks.h"
#include "test_pki.h"

namespace {

using sync_test::Fake;
using namespace std::chrono_literals;

constexpr char kUser[] = "u1";

size_t EnvCount(const char* name, size_t fallback) {
  auto value = platform::env::Get(name);
  return value && !value->empty() ? std::stoull(*value) : fallback;
}

// Real children of the sync code killed at random points: a store that
// survives every kill intact and never loses an acknowledged message.
class SyncCrashTest : public history_test::HistoryStoreTest {
 protected:
  SyncCrashTest() : admission_(service_) {
    quorix_test::ScriptPhoneRoutes(service_, kUser);
    fake_ = std::make_unique<Fake>(service_, kUser);
    fake_->OnArrival([this](const Fake::Request&) { ++arrivals_; });
  }

  std::string Plan(uint64_t round, const std::string& kill, size_t kill_at) {
    const std::filesystem::path ca = dir_.path() / "ca.pem";
    quorix_test::WriteFile(ca, quorix_test::TestPki::Get().ca_pem());
    std::string plan = "port=" + std::to_string(service_.port()) + "\nhost=" + quorix_test::kLoopbackServiceName +
                       "\nca=" + ca.string() + "\nlocalappdata=" + local_app_data().string() +
                       "\nkeys=" + platform::testing::GetDataProtectionKeyFolder().string() + "\nuser=" + kUser +
                       "\nrevision=7\npeer=q" + std::to_string(round % 10) + "\ntext=round " +
                       std::to_string(round) + "\nkill=" + kill + "\nkill_at=" + std::to_string(kill_at) + "\n";
    for (const char* name : {"QUORIX_RUNTIME_MODE", "QUORIX_2PC_NETWORK", "QUORIX_2PC_ORIGIN",
                             "QUORIX_2PC_ALLOWED_HOST", "QUORIX_2PC_REAL_ACCOUNTS"}) {
      plan += std::string("env=") + name + "=" + platform::env::Get(name).value_or("") + "\n";
    }
    const std::filesystem::path file = dir_.path() / "plan.txt";
    quorix_test::WriteFile(file, plan);
    return file.string();
  }

  std::shared_ptr<quorix_history::Store> OpenStore() {
    auto store = std::make_shared<quorix_history::Store>();
    EXPECT_TRUE(store->Open(HistorySession::StoreRoot(), quorix_service::kServiceBaseUrl, kUser))
        << store->last_error();
    return store;
  }

  // After any kill: an intact file, every acknowledged message readable as
  // the service has it, no own text accepted twice.
  void CheckSurvivor() {
    auto store = OpenStore();
    {
      history_test::RawDb db(history_test::DbPath(*store, HistorySession::StoreRoot()));
      EXPECT_EQ(db.Rows("PRAGMA integrity_check"), std::vector<std::string>{"ok|"});
    }
    std::map<std::string, Fake::Message> by_id;
    std::map<std::string, size_t> own_texts;
    for (const Fake::Message& m : fake_->Messages()) {
      by_id[m.id] = m;
      if (m.sender == kUser) {
        EXPECT_EQ(++own_texts[m.text], 1u) << m.text;
      }
    }
    for (const std::string& id : fake_->Acknowledged()) {
      HistoryMessage stored;
      ASSERT_TRUE(store->GetMessage(id, &stored)) << id;
      EXPECT_EQ(stored.message, by_id[id].text);
      EXPECT_EQ(stored.sender_id, by_id[id].sender);
      EXPECT_EQ(stored.created_at, by_id[id].created_at);
    }
  }

  void CheckFinal() {
    auto store = OpenStore();
    const auto messages = fake_->Messages();
    int64_t incoming = 0;
    for (const Fake::Message& m : messages) {
      HistoryMessage stored;
      EXPECT_TRUE(store->GetMessage(m.id, &stored)) << m.id;
      incoming += m.sender == kUser ? 0 : 1;
    }
    history_test::RawDb db(history_test::DbPath(*store, HistorySession::StoreRoot()));
    EXPECT_EQ(db.Count("messages"), static_cast<long long>(messages.size()));
    EXPECT_EQ(db.Count("outbox"), 0);
    for (const auto& [nonce, sends] : fake_->SendsPerNonce()) EXPECT_GE(sends, 1u) << nonce;
    std::vector<quorix_history::ConversationRow> rows;
    ASSERT_TRUE(store->ListConversations(&rows));
    int64_t unread = 0;
    for (const auto& row : rows) unread += row.unread;
    EXPECT_EQ(unread, incoming);
  }

  quorix_test::TempDir dir_;
  // Before the service: its scripts call the fake, and the fake this fixture,
  // until its thread stops (a killed child's last request may still be read).
  std::atomic<size_t> arrivals_{0};
  std::unique_ptr<Fake> fake_;
  quorix_test::LoopbackService service_;
  quorix_test::ScopedIsolatedService admission_;
};

TEST_F(SyncCrashTest, KilledChildrenLoseNoAcknowledgedMessage) {
  const size_t rounds = EnvCount("QUORIX_SYNC_CRASH_ROUNDS", 40);
  const uint64_t seed = EnvCount("QUORIX_SYNC_CRASH_SEED", std::random_device{}());
  SCOPED_TRACE("seed " + std::to_string(seed) + " (QUORIX_SYNC_CRASH_SEED)");
  std::mt19937_64 rng(seed);
  const std::vector<std::string> points = {"inbox", "commit", "inbox_stored", "ack_reply", "send_reply"};
  for (int i = 0; i < 3000; ++i) fake_->Deliver("q" + std::to_string(i % 10), "seed " + std::to_string(i));
  size_t killed = 0;
  for (size_t round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    if (round > 0) {
      for (int i = 0; i < 10; ++i) fake_->Deliver("q" + std::to_string(i), "more " + std::to_string(round));
    }
    const bool last = round + 1 == rounds;
    const bool self_kill = !last && rng() % 2 == 0;
    const std::string point = self_kill ? points[rng() % points.size()] : "none";
    const size_t kill_at = point == "inbox" ? 1 + rng() % 20 : 1;
    const size_t arrivals = arrivals_;
    auto child = quorix_test::ChildProcess::Start(QUORIX_SYNC_CRASH_CHILD, {Plan(round, point, kill_at)},
                                                  platform::env::Snapshot());
    ASSERT_TRUE(child);
    if (!last && !self_kill) {
      // Some chat request of the child's run reached the service.
      const size_t nth = 1 + rng() % 4;
      if (quorix_test::WaitFor([&] { return arrivals_ >= arrivals + nth || child->WaitExit(0ms).has_value(); },
                               60s)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 31));
      }
      child->Signal(SIGKILL);
    }
    const auto code = child->WaitExit(180s);
    ASSERT_TRUE(code.has_value());
    if (last) {
      ASSERT_EQ(*code, 0) << child->Stdout() << child->Stderr();
    } else {
      ASSERT_TRUE(*code == 0 || *code == 128 + SIGKILL) << *code << child->Stdout() << child->Stderr();
      killed += *code == 0 ? 0 : 1;
    }
    CheckSurvivor();
    if (HasFatalFailure() || HasFailure()) return;
  }
  CheckFinal();
  EXPECT_GT(killed, rounds / 4);
  EXPECT_EQ(fake_->Unacknowledged(), 0u);
}

}  // namespace
