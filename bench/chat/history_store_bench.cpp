// The encrypted history store against plain SQLite doing the same work: the
// same schema script and pragmas, the same statements in the same
// transaction, prepared once per operation, but peers keyed in clear and the
// same JSON text stored without encryption (read back with ParseJson into a
// HistoryMessage). store/plain is the cost of encryption, peer hashing and
// the store's checks.
//
// Flags (before Google Benchmark's own):
//   --history_dir=PATH  the folder to work in (a disk folder, or a tmpfs one
//                       such as /dev/shm); default: the system's temp folder
//   --smoke             small sizes, for a quick run that keeps it building
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "chat/history_schema.h"
#include "chat/history_store.h"
#include "core/json.h"
#include "platform/env.h"
#include "platform/test_hooks.h"

namespace {

constexpr char kOrigin[] = "https://svc.example";
constexpr char kSelf[] = "bench_self";
using quorix_history::kConversationUpsert;
using quorix_history::kHistorySchema;

struct Sizes {
  int history_messages = 20000;
  int history_peers = 20;
  int open_messages = 100000;
} g_sizes;

std::filesystem::path g_dir;

std::string Text200() {
  std::string text;
  while (text.size() + 3 <= 198) text += "\xe3\x81\x82";  // あ
  while (text.size() < 200) text += 'x';
  return text;
}

const std::string kAck(64, 'k');

// One page of `count` incoming messages over `peers` peers, ids and
// sequences continuing from *next.
std::vector<HistoryMessage> MakePage(uint64_t* next, int count, int peers) {
  static const std::string text = Text200();
  std::vector<HistoryMessage> page;
  for (int i = 0; i < count; ++i) {
    uint64_t n = (*next)++;
    HistoryMessage m;
    m.message_id = "msg-" + std::to_string(n);
    m.sender_id = "peer-" + std::to_string(n % peers);
    m.receiver_id = kSelf;
    m.message = text;
    m.sequence = std::to_string(n);
    m.created_at = 1700000000.0 + static_cast<double>(n);
    page.push_back(std::move(m));
  }
  return page;
}

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
  ~Stmt() { sqlite3_finalize(st_); }
  sqlite3_stmt* operator*() { return st_; }
  void Reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  void Text(int i, const std::string& s) {
    sqlite3_bind_text(st_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
  void Blob(int i, const std::string& s) {
    sqlite3_bind_blob(st_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }

 private:
  sqlite3_stmt* st_ = nullptr;
};

// The plain arm: the store's statements and transaction, nothing encrypted.
class PlainStore {
 public:
  explicit PlainStore(const std::filesystem::path& file) {
    sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_exec(db_, kHistorySchema, nullptr, nullptr, nullptr);
    Stmt identity(db_, "SELECT value FROM metadata WHERE key='identity'");
    if (sqlite3_step(*identity) == SQLITE_DONE) {
      Stmt insert(db_, "INSERT INTO metadata VALUES('identity',?)");
      insert.Blob(1, std::string(kOrigin) + "\n" + kSelf);
      sqlite3_step(*insert);
    }
  }
  ~PlainStore() { sqlite3_close_v2(db_); }

  bool StoreBatch(const std::string& stream, const std::string& cursor, const std::vector<HistoryMessage>& page) {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    Stmt select(db_, "SELECT payload FROM messages WHERE id=?");
    Stmt insert(db_, "INSERT INTO messages VALUES(?,?,?,?,?,?)");
    Stmt upsert(db_, kConversationUpsert);
    Stmt ack(db_, "INSERT OR REPLACE INTO acknowledgements VALUES(?,?)");
    bool ok = true;
    for (const HistoryMessage& m : page) {
      std::string json = HistoryMessageToJson(m);
      select.Reset();
      select.Text(1, m.message_id);
      if (sqlite3_step(*select) != SQLITE_DONE) continue;  // a redelivery
      insert.Reset();
      insert.Text(1, m.message_id);
      insert.Text(2, m.sender_id);
      sqlite3_bind_double(*insert, 3, m.created_at);
      sqlite3_bind_int(*insert, 4, 0);
      sqlite3_bind_int(*insert, 5, m.is_read ? 1 : 0);
      insert.Blob(6, json);
      ok = ok && sqlite3_step(*insert) == SQLITE_DONE;
      upsert.Reset();
      upsert.Text(1, m.sender_id);
      sqlite3_bind_double(*upsert, 2, m.created_at);
      upsert.Text(3, m.message_id);
      sqlite3_bind_int(*upsert, 4, m.is_read ? 0 : 1);
      upsert.Blob(5, json);
      ok = ok && sqlite3_step(*upsert) == SQLITE_DONE;
      ack.Reset();
      ack.Text(1, m.message_id);
      ack.Blob(2, kAck);
      ok = ok && sqlite3_step(*ack) == SQLITE_DONE;
    }
    Stmt write(db_, "INSERT OR REPLACE INTO metadata VALUES('cursor',?)");
    write.Blob(1, stream + "\n" + cursor);
    ok = ok && sqlite3_step(*write) == SQLITE_DONE;
    sqlite3_exec(db_, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    return ok;
  }

  bool ReadPeer(const std::string& peer, std::vector<HistoryMessage>* out, int limit) {
    out->clear();
    Stmt select(db_, "SELECT payload,isread FROM messages WHERE peer=? ORDER BY created DESC,id DESC LIMIT ?");
    select.Text(1, peer);
    sqlite3_bind_int(*select, 2, limit);
    int rc;
    while ((rc = sqlite3_step(*select)) == SQLITE_ROW) {
      std::string text(static_cast<const char*>(sqlite3_column_blob(*select, 0)), sqlite3_column_bytes(*select, 0));
      JsonValue value;
      HistoryMessage m;
      if (!ParseJson(text, value) || !HistoryMessageFromJson(value, kSelf, &m)) return false;
      m.is_read = sqlite3_column_int64(*select, 1) != 0;
      out->push_back(std::move(m));
    }
    std::reverse(out->begin(), out->end());
    return rc == SQLITE_DONE;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Each case has a root of its own; the account is always kSelf.
std::filesystem::path Root(const std::string& name) { return g_dir / name; }
std::filesystem::path PlainFile(const std::string& name) { return g_dir / (name + ".plain.db"); }

std::shared_ptr<quorix_history::Store> OpenStore(const std::string& name) {
  auto store = std::make_shared<quorix_history::Store>();
  if (!store->Open(Root(name), kOrigin, kSelf)) {
    std::fprintf(stderr, "open failed: %s\n", store->last_error().c_str());
    std::exit(1);
  }
  return store;
}

void FillStore(quorix_history::Store& store, int messages, int peers) {
  uint64_t next = 1;
  std::vector<std::string> ids;
  while (static_cast<int>(next) <= messages) {
    auto page = MakePage(&next, std::min(100, messages - static_cast<int>(next) + 1), peers);
    if (!store.StoreInboxBatch("stream", std::to_string(next - 1), page, kAck, &ids, nullptr)) {
      std::fprintf(stderr, "fill failed: %s\n", store.last_error().c_str());
      std::exit(1);
    }
  }
}

void FillPlain(PlainStore& plain, int messages, int peers) {
  uint64_t next = 1;
  while (static_cast<int>(next) <= messages) {
    auto page = MakePage(&next, std::min(100, messages - static_cast<int>(next) + 1), peers);
    plain.StoreBatch("stream", std::to_string(next - 1), page);
  }
}

void BM_InboxBatch_Store(benchmark::State& state) {
  auto store = OpenStore("batch");
  static uint64_t next = 1;  // fresh ids across the runs of this case
  std::vector<std::string> ids;
  for (auto _ : state) {
    state.PauseTiming();
    auto page = MakePage(&next, 100, 10);
    state.ResumeTiming();
    if (!store->StoreInboxBatch("stream", std::to_string(next - 1), page, kAck, &ids, nullptr)) {
      state.SkipWithError(store->last_error().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * 100);
}

void BM_InboxBatch_Plain(benchmark::State& state) {
  PlainStore plain(PlainFile("batch"));
  static uint64_t next = 1;
  for (auto _ : state) {
    state.PauseTiming();
    auto page = MakePage(&next, 100, 10);
    state.ResumeTiming();
    if (!plain.StoreBatch("stream", std::to_string(next - 1), page)) {
      state.SkipWithError("plain batch failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * 100);
}

void BM_ReadPeerHistory_Store(benchmark::State& state) {
  static std::shared_ptr<quorix_history::Store> store = [] {
    auto s = OpenStore("history");
    FillStore(*s, g_sizes.history_messages, g_sizes.history_peers);
    return s;
  }();
  std::vector<HistoryMessage> out;
  int peer = 0;
  for (auto _ : state) {
    if (!store->ReadPeerHistory("peer-" + std::to_string(peer++ % g_sizes.history_peers), &out, 50) ||
        out.size() != 50) {
      state.SkipWithError("read failed");
      break;
    }
  }
}

void BM_ReadPeerHistory_Plain(benchmark::State& state) {
  static std::unique_ptr<PlainStore> plain = [] {
    auto p = std::make_unique<PlainStore>(PlainFile("history"));
    FillPlain(*p, g_sizes.history_messages, g_sizes.history_peers);
    return p;
  }();
  std::vector<HistoryMessage> out;
  int peer = 0;
  for (auto _ : state) {
    if (!plain->ReadPeer("peer-" + std::to_string(peer++ % g_sizes.history_peers), &out, 50) || out.size() != 50) {
      state.SkipWithError("read failed");
      break;
    }
  }
}

void BM_Open_StoreFull(benchmark::State& state) {
  static bool filled = [] {
    FillStore(*OpenStore("full"), g_sizes.open_messages, 20);
    return true;
  }();
  benchmark::DoNotOptimize(filled);
  for (auto _ : state) {
    auto store = std::make_shared<quorix_history::Store>();
    if (!store->Open(Root("full"), kOrigin, kSelf)) state.SkipWithError("open failed");
  }
}

void BM_Open_StoreEmpty(benchmark::State& state) {
  OpenStore("empty");
  for (auto _ : state) {
    auto store = std::make_shared<quorix_history::Store>();
    if (!store->Open(Root("empty"), kOrigin, kSelf)) state.SkipWithError("open failed");
  }
}

void BM_Open_PlainFull(benchmark::State& state) {
  static bool filled = [] {
    PlainStore plain(PlainFile("full"));
    FillPlain(plain, g_sizes.open_messages, 20);
    return true;
  }();
  benchmark::DoNotOptimize(filled);
  for (auto _ : state) {
    PlainStore plain(PlainFile("full"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path base = std::filesystem::temp_directory_path();
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--history_dir=", 0) == 0) {
      base = arg.substr(std::strlen("--history_dir="));
    } else if (arg == "--smoke") {
      g_sizes = Sizes{500, 5, 1000};
    } else {
      args.push_back(argv[i]);
    }
  }
  std::string templ = (base / "quorix-history-bench-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  g_dir = templ;
  std::filesystem::create_directories(g_dir / "key");
  if (!platform::env::Set("LOCALAPPDATA", g_dir.string())) {
    std::fprintf(stderr, "cannot set LOCALAPPDATA\n");
    return 1;
  }
  platform::testing::SetDataProtectionKeyFolder(g_dir / "key");

  benchmark::RegisterBenchmark("InboxBatch100/store", BM_InboxBatch_Store);
  benchmark::RegisterBenchmark("InboxBatch100/plain", BM_InboxBatch_Plain);
  benchmark::RegisterBenchmark("ReadPeerHistory50/store", BM_ReadPeerHistory_Store);
  benchmark::RegisterBenchmark("ReadPeerHistory50/plain", BM_ReadPeerHistory_Plain);
  benchmark::RegisterBenchmark("Open/store_full", BM_Open_StoreFull);
  benchmark::RegisterBenchmark("Open/plain_full", BM_Open_PlainFull);
  benchmark::RegisterBenchmark("Open/store_empty", BM_Open_StoreEmpty);

  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(g_dir, ec);
  return 0;
}
