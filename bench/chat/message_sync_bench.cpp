// Message sync on the loopback service (127.0.0.1 only):
//  - one inbox page end to end: the fake service gets 100 new messages (10
//    peers, 200-byte texts in Japanese and ASCII) and RunInboxPollTask fetches
//    the page over the wire, stores it, acknowledges it and finds the outbox
//    empty; beside a peer arm with one reused libcurl handle that GETs the
//    same page, parses it, writes the rows and conversation upserts in one
//    transaction into plain SQLite (same schema and pragmas, clear text,
//    statements prepared once) and POSTs the same acknowledgement. Counters
//    split each arm into network and store time.
//  - HistorySession::Open on the unchanged session with 200 friends, beside
//    a std::mutex lock and a std::vector comparison of the same lists.
// `--tmpfs` puts the stores under /dev/shm instead of /var/tmp.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../bare_curl.h"
#include "chat/history_schema.h"
#include "chat/history_session.h"
#include "chat/history_store_test_hooks.h"
#include "chat/message_sync.h"
#include "core/json.h"
#include "fake_message_service.h"
#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "platform/env.h"
#include "platform/https.h"
#include "platform/test_hooks.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool g_tmpfs = false;

std::filesystem::path BenchFolder(const std::string& name) {
  std::filesystem::path base = g_tmpfs ? "/dev/shm" : "/var/tmp";
  std::filesystem::path dir = base / ("quorix_sync_bench_" + name + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// 100 new messages from 10 peers, 200-byte texts.
void DeliverPage(quorix_test::FakeMessageService& fake, size_t round) {
  static const std::string kJapanese = "受信メッセージの本文です。";  // 39 bytes
  for (size_t i = 0; i < 100; ++i) {
    std::string text = (i % 2 == 0 ? kJapanese + kJapanese + kJapanese : std::string()) + "r" +
                       std::to_string(round) + " m" + std::to_string(i) + " ";
    text.resize(200, 'a');
    fake.Deliver("peer" + std::to_string(i % 10), text);
  }
}

quorix_test::LoopbackService& WithPhoneRoutes(quorix_test::LoopbackService& service) {
  quorix_test::ScriptPhoneRoutes(service, "u1");
  return service;
}

// The loopback service with the message routes, LOCALAPPDATA and the key
// folder in the bench folder, and a connected wire for "u1".
struct Rig {
  explicit Rig(const std::string& name) : folder(BenchFolder(name)), admission(service), fake(WithPhoneRoutes(service), "u1") {
    platform::InitializeNetwork();
    if (!platform::env::Set("LOCALAPPDATA", folder.string())) std::abort();
    platform::testing::SetDataProtectionKeyFolder(folder / "keys");
  }
  ~Rig() {
    wire.Stop();
    std::filesystem::remove_all(folder);
  }
  bool Connect() {
    return wire.Start("u1", quorix_test::kPhoneToken) && quorix_test::WaitFor([&] { return wire.IsConnected(); }, 10s);
  }
  std::filesystem::path folder;
  quorix_test::LoopbackService service;
  quorix_test::ScopedIsolatedService admission;
  quorix_test::FakeMessageService fake;
  quorix_phone::WindowsWire wire;
};

void BM_InboxPagePoll(benchmark::State& state) {
  Rig rig("poll");
  // A revision of its own per run: the inbox cursor starts again at "0".
  static uint64_t revision = 0;
  revision += 2;
  if (!rig.Connect() || !HistorySession::Open("u1", revision, &rig.wire, {{"peer0", "Peer"}})) {
    state.SkipWithError("no session");
    return;
  }
  double store_s = 0.0;
  Clock::time_point batch_start{};
  quorix_history::test_hooks::SetCrashPoint([&](const char* where, size_t count) {
    if (std::strcmp(where, "inbox") == 0 && count == 1) batch_start = Clock::now();
    if (std::strcmp(where, "inbox_stored") == 0 && count > 0) store_s += Seconds(Clock::now() - batch_start);
  });
  size_t round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    DeliverPage(rig.fake, round++);
    state.ResumeTiming();
    const quorix_notice::Batch batch = RunInboxPollTask(revision);
    if (!batch.succeeded || batch.incomplete || batch.entries.size() != 100) {
      state.SkipWithError("poll failed");
      break;
    }
  }
  quorix_history::test_hooks::SetCrashPoint(nullptr);
  HistorySession::Reset(revision + 1);
  state.counters["messages_per_s"] = benchmark::Counter(100.0 * static_cast<double>(round), benchmark::Counter::kIsRate);
  state.counters["store_ms_per_page"] = round == 0 ? 0.0 : 1000.0 * store_s / static_cast<double>(round);
}
BENCHMARK(BM_InboxPagePoll)->UseRealTime()->Unit(benchmark::kMillisecond);

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

class PeerStore {
 public:
  explicit PeerStore(const std::filesystem::path& file) {
    sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    sqlite3_exec(db_, quorix_history::kHistorySchema, nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_, "INSERT OR IGNORE INTO messages VALUES(?,?,?,0,0,?)", -1, &insert_, nullptr);
    sqlite3_prepare_v2(db_, quorix_history::kConversationUpsert, -1, &upsert_, nullptr);
    sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO acknowledgements VALUES(?,?)", -1, &ack_, nullptr);
  }
  ~PeerStore() {
    sqlite3_finalize(insert_);
    sqlite3_finalize(upsert_);
    sqlite3_finalize(ack_);
    sqlite3_close_v2(db_);
  }
  bool StorePage(const JsonValue& page, const std::string& token) {
    const JsonValue* messages = page.Find("messages");
    if (messages == nullptr || sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      return false;
    }
    bool ok = true;
    for (const JsonValue& m : messages->items) {
      const std::string& id = m.Find("message_id")->text;
      const std::string& peer = m.Find("sender_id")->text;
      const std::string& text = m.Find("message")->text;
      const double created = m.Find("created_at")->number;
      const int size = static_cast<int>(text.size());
      sqlite3_reset(insert_);
      sqlite3_bind_text(insert_, 1, id.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert_, 2, peer.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(insert_, 3, created);
      sqlite3_bind_blob(insert_, 4, text.data(), size, SQLITE_TRANSIENT);
      ok = ok && sqlite3_step(insert_) == SQLITE_DONE;
      sqlite3_reset(upsert_);
      sqlite3_bind_text(upsert_, 1, peer.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(upsert_, 2, created);
      sqlite3_bind_text(upsert_, 3, id.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(upsert_, 4, 1);
      sqlite3_bind_blob(upsert_, 5, text.data(), size, SQLITE_TRANSIENT);
      ok = ok && sqlite3_step(upsert_) == SQLITE_DONE;
      sqlite3_reset(ack_);
      sqlite3_bind_text(ack_, 1, id.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_blob(ack_, 2, token.data(), static_cast<int>(token.size()), SQLITE_TRANSIENT);
      ok = ok && sqlite3_step(ack_) == SQLITE_DONE;
    }
    return sqlite3_exec(db_, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* upsert_ = nullptr;
  sqlite3_stmt* ack_ = nullptr;
};

void BM_PeerInboxPage(benchmark::State& state) {
  Rig rig("peer");
  PeerStore store(rig.folder / "peer.db");
  CURL* h = curl_easy_init();
  const std::string host = quorix_test::kLoopbackServiceName;
  const std::string port = std::to_string(rig.service.port());
  const std::string base = "https://" + host + ":" + port;
  curl_slist* connect_to = curl_slist_append(nullptr, (host + ":" + port + ":127.0.0.1:" + port).c_str());
  curl_slist* headers = nullptr;
  for (std::string line : {std::string("X-NiloPhone-Token: ") + quorix_test::kPhoneToken,
                           std::string("X-Quorix-Connection: ") + quorix_test::kConnectionA,
                           std::string("Accept: application/json"), std::string("Content-Type: application/json"),
                           std::string("Expect:")}) {
    headers = curl_slist_append(headers, line.c_str());
  }
  const std::string pem = quorix_test::TestPki::Get().ca_pem();
  SetBareCurlTransferOptions(h, pem, connect_to, headers);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
  std::string body;
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
  std::string cursor = "0";
  double store_s = 0.0;
  size_t round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    DeliverPage(rig.fake, round++);
    state.ResumeTiming();
    body.clear();
    const std::string url = base + "/phone/v1/messages/inbox?after=" + cursor + "&limit=100";
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    JsonValue page;
    if (curl_easy_perform(h) != CURLE_OK || !ParseJson(body, page)) {
      state.SkipWithError("page failed");
      break;
    }
    const auto t0 = Clock::now();
    const std::string token = JsonStringOrEmpty(page, "ack_token");
    if (!store.StorePage(page, token)) {
      state.SkipWithError("store failed");
      break;
    }
    store_s += Seconds(Clock::now() - t0);
    cursor = JsonStringOrEmpty(page, "next_cursor");
    std::string ack = "{\"message_ids\":[";
    const JsonValue* items = page.Find("messages");
    for (size_t i = 0; i < items->items.size(); ++i) {
      ack += (i > 0 ? ",\"" : "\"") + items->items[i].Find("message_id")->text + "\"";
    }
    ack += "],\"ack_token\":\"" + token + "\"}";
    body.clear();
    const std::string ack_url = base + "/phone/v1/messages/ack";
    curl_easy_setopt(h, CURLOPT_URL, ack_url.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, ack.c_str());
    if (curl_easy_perform(h) != CURLE_OK || body.find("\"ok\":true") == std::string::npos) {
      state.SkipWithError("ack failed");
      break;
    }
  }
  state.counters["messages_per_s"] = benchmark::Counter(100.0 * static_cast<double>(round), benchmark::Counter::kIsRate);
  state.counters["store_ms_per_page"] = round == 0 ? 0.0 : 1000.0 * store_s / static_cast<double>(round);
  curl_slist_free_all(headers);
  curl_slist_free_all(connect_to);
  curl_easy_cleanup(h);
}
BENCHMARK(BM_PeerInboxPage)->UseRealTime()->Unit(benchmark::kMillisecond);

std::vector<ChatFriend> Friends200() {
  std::vector<ChatFriend> friends;
  for (int i = 0; i < 200; ++i) friends.push_back({"friend" + std::to_string(i), "Friend number " + std::to_string(i)});
  return friends;
}

void BM_SessionOpenSame(benchmark::State& state) {
  Rig rig("open");
  const auto friends = Friends200();
  if (!HistorySession::Open("u1", 3, nullptr, friends)) {
    state.SkipWithError("no session");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(HistorySession::Open("u1", 3, nullptr, friends));
  HistorySession::Reset(4);
}
BENCHMARK(BM_SessionOpenSame);

bool SameLists(const std::vector<ChatFriend>& a, const std::vector<ChatFriend>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].user_id != b[i].user_id || a[i].display_name != b[i].display_name) return false;
  }
  return true;
}

void BM_PeerMutexCompare(benchmark::State& state) {
  const auto held = Friends200();
  const auto given = Friends200();
  std::mutex mutex;
  for (auto _ : state) {
    std::lock_guard lock(mutex);
    benchmark::DoNotOptimize(SameLists(given, held));
  }
}
BENCHMARK(BM_PeerMutexCompare);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tmpfs") == 0) {
      g_tmpfs = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
