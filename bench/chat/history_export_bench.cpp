// History export and import against a plain SQLite dump and load of the same
// rows (same schema, the same JSON in clear, the same lines, digest and
// durable rename; the load with the same line reader, ParseJson and digest
// check, inserting rows and conversation upserts in one transaction); and the
// avatar disc against Cairo drawing the same disc.
//
// Flags (before Google Benchmark's own):
//   --history_dir=PATH  the folder to work in (disk, or tmpfs such as /dev/shm)
//   --smoke             1,000 messages instead of 100,000
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "chat/avatar_cache.h"
#include "chat/history_schema.h"
#include "chat/history_store.h"
#include "core/json.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/stream_files.h"
#include "platform/test_hooks.h"

namespace {

namespace fs = std::filesystem;
constexpr char kOrigin[] = "https://svc.example";
constexpr char kSelf[] = "bench_self";
int g_messages = 100000;
fs::path g_dir;

HistoryMessage Message(int n) {
  HistoryMessage m;
  m.message_id = "msg-" + std::to_string(n);
  m.sender_id = "peer-" + std::to_string(n % 20);
  m.receiver_id = kSelf;
  m.message = std::string(200, 'a' + n % 26);
  m.sequence = std::to_string(n);
  m.created_at = 1700000000.0 + n;
  return m;
}

std::string Header() {
  return std::string(R"({"format":"QuorixHistory","version":1,"user_id":")") + kSelf + R"(","origin":")" + kOrigin +
         "\"}\n";
}

sqlite3* OpenPlain(const fs::path& file) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  sqlite3_exec(db, quorix_history::kHistorySchema, nullptr, nullptr, nullptr);
  return db;
}

// Inserts `m` with its JSON in clear, and its conversation upsert.
bool InsertPlain(sqlite3_stmt* insert, sqlite3_stmt* upsert, const HistoryMessage& m, const std::string& json) {
  for (sqlite3_stmt* st : {insert, upsert}) sqlite3_reset(st);
  sqlite3_bind_text(insert, 1, m.message_id.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(insert, 2, m.sender_id.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_double(insert, 3, m.created_at);
  sqlite3_bind_int(insert, 4, 0);
  sqlite3_bind_int(insert, 5, m.is_read ? 1 : 0);
  sqlite3_bind_blob(insert, 6, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(upsert, 1, m.sender_id.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_double(upsert, 2, m.created_at);
  sqlite3_bind_text(upsert, 3, m.message_id.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(upsert, 4, m.is_read ? 0 : 1);
  sqlite3_bind_blob(upsert, 5, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
  return sqlite3_step(insert) == SQLITE_DONE && sqlite3_step(upsert) == SQLITE_DONE;
}

void PlainDump(sqlite3* db, const fs::path& target) {
  const fs::path temp = fs::path(target).concat(".tmp");
  FILE* out = std::fopen(temp.c_str(), "wb");
  platform::Sha256Hasher digest;
  const std::string header = Header();
  digest.Update(header.data(), header.size());
  std::fwrite(header.data(), 1, header.size(), out);
  sqlite3_stmt* rows = nullptr;
  sqlite3_prepare_v2(db, "SELECT payload,isread FROM messages ORDER BY created,id", -1, &rows, nullptr);
  size_t count = 0;
  while (sqlite3_step(rows) == SQLITE_ROW) {
    JsonValue value;
    HistoryMessage m;
    if (!ParseJson(std::string(static_cast<const char*>(sqlite3_column_blob(rows, 0)), sqlite3_column_bytes(rows, 0)),
                   value) ||
        !HistoryMessageFromJson(value, kSelf, &m)) {
      std::abort();
    }
    m.is_read = sqlite3_column_int(rows, 1) != 0;
    const std::string line = HistoryMessageToJson(m) + "\n";
    digest.Update(line.data(), line.size());
    std::fwrite(line.data(), 1, line.size(), out);
    ++count;
  }
  sqlite3_finalize(rows);
  const auto hash = digest.Finish();
  const std::string trailer = R"({"end":true,"message_count":)" + std::to_string(count) + R"(,"sha256":")" +
                              platform::ToHex(hash->data(), hash->size()) + "\"}\n";
  std::fwrite(trailer.data(), 1, trailer.size(), out);
  std::fflush(out);
  ::fsync(fileno(out));
  std::fclose(out);
  if (!platform::RenameDurably(temp, target)) std::abort();
}

void PlainLoad(sqlite3* db, const fs::path& source) {
  platform::LineFileReader file;
  std::string line;
  if (!file.Open(source) || file.ReadLine(16384, &line) != platform::LineFileReader::Result::kLine) std::abort();
  platform::Sha256Hasher digest;
  digest.Update(line.data(), line.size());
  digest.Update("\n", 1);
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_stmt *insert = nullptr, *upsert = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO messages VALUES(?,?,?,?,?,?)", -1, &insert, nullptr);
  sqlite3_prepare_v2(db, quorix_history::kConversationUpsert, -1, &upsert, nullptr);
  while (file.ReadLine(65536, &line) == platform::LineFileReader::Result::kLine) {
    JsonValue value;
    HistoryMessage m;
    if (!ParseJson(line, value)) std::abort();
    if (value.Find("end") != nullptr) {
      const auto hash = digest.Finish();
      if (value.Find("sha256")->text != platform::ToHex(hash->data(), hash->size())) std::abort();
      break;
    }
    digest.Update(line.data(), line.size());
    digest.Update("\n", 1);
    if (!HistoryMessageFromJson(value, kSelf, &m) || !InsertPlain(insert, upsert, m, line)) std::abort();
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(upsert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

std::shared_ptr<quorix_history::Store> FreshStore(const std::string& name) {
  std::error_code error;
  fs::remove_all(g_dir / name, error);
  auto store = std::make_shared<quorix_history::Store>();
  if (!store->Open(g_dir / name, kOrigin, kSelf)) std::abort();
  return store;
}

void BM_ExportImport(benchmark::State& state) {
  auto source = FreshStore("source");
  const fs::path file = g_dir / "export.quorix-history";
  {
    std::vector<std::string> ids;
    for (int first = 0; first < g_messages; first += 100) {
      std::vector<HistoryMessage> page;
      for (int n = first; n < std::min(first + 100, g_messages); ++n) page.push_back(Message(n + 1));
      if (!source->StoreInboxBatch("s", std::to_string(std::min(first + 100, g_messages)), page, "ack", &ids,
                                   nullptr)) {
        state.SkipWithError("filling the source store failed");
        return;
      }
    }
  }
  for (auto _ : state) {
    if (!source->ExportHistory(file)) std::abort();
    state.PauseTiming();
    auto target = FreshStore("target");
    state.ResumeTiming();
    if (!target->ImportHistory(file)) std::abort();
  }
}

void BM_PlainDumpLoad(benchmark::State& state) {
  const fs::path source_db = g_dir / "plain_source.db", target_db = g_dir / "plain_target.db";
  fs::remove(source_db);
  sqlite3* source = OpenPlain(source_db);
  sqlite3_exec(source, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt *insert = nullptr, *upsert = nullptr;
  sqlite3_prepare_v2(source, "INSERT INTO messages VALUES(?,?,?,?,?,?)", -1, &insert, nullptr);
  sqlite3_prepare_v2(source, quorix_history::kConversationUpsert, -1, &upsert, nullptr);
  for (int n = 1; n <= g_messages; ++n) {
    const HistoryMessage m = Message(n);
    InsertPlain(insert, upsert, m, HistoryMessageToJson(m));
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(upsert);
  sqlite3_exec(source, "COMMIT", nullptr, nullptr, nullptr);
  const fs::path file = g_dir / "plain.quorix-history";
  for (auto _ : state) {
    PlainDump(source, file);
    state.PauseTiming();
    fs::remove(target_db);
    sqlite3* target = OpenPlain(target_db);
    state.ResumeTiming();
    PlainLoad(target, file);
    sqlite3_close_v2(target);
  }
  sqlite3_close_v2(source);
}

std::shared_ptr<const quorix_avatar::Image> Picture() {
  auto image = std::make_shared<quorix_avatar::Image>();
  image->pixels.resize(quorix_avatar::kImageBytes);
  for (size_t i = 0; i < image->pixels.size(); ++i) image->pixels[i] = static_cast<uint8_t>(i * 7);
  return image;
}

void BM_AvatarDraw(benchmark::State& state) {
  std::vector<uint8_t> canvas(540 * 960 * 4, 255);
  const auto image = state.range(0) != 0 ? Picture() : nullptr;
  for (auto _ : state) {
    quorix_avatar::Draw(canvas, 540, 34, 10, 52, image);
    benchmark::DoNotOptimize(canvas.data());
  }
}

void BM_CairoDisc(benchmark::State& state) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 540, 960);
  cairo_t* cr = cairo_create(surface);
  const auto picture = Picture();
  cairo_surface_t* source = cairo_image_surface_create_for_data(const_cast<uint8_t*>(picture->pixels.data()),
                                                                CAIRO_FORMAT_ARGB32, 128, 128, 512);
  for (auto _ : state) {
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_arc(cr, 34 + 26, 10 + 26, 26, 0, 2 * 3.14159265358979);
    cairo_clip(cr);
    if (state.range(0) != 0) {
      cairo_translate(cr, 34, 10);
      cairo_scale(cr, 52.0 / 128, 52.0 / 128);
      cairo_set_source_surface(cr, source, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    } else {
      cairo_set_source_rgb(cr, 224 / 255.0, 234 / 255.0, 253 / 255.0);
    }
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_surface_destroy(source);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

BENCHMARK(BM_ExportImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDumpLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvatarDraw)->Arg(0)->Arg(1);
BENCHMARK(BM_CairoDisc)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest = {argv[0]};
  std::string dir = fs::temp_directory_path().string();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--smoke") == 0) {
      g_messages = 1000;
    } else if (std::strncmp(argv[i], "--history_dir=", 14) == 0) {
      dir = argv[i] + 14;
    } else {
      rest.push_back(argv[i]);
    }
  }
  char pattern[] = "quorix_export_bench_XXXXXX";
  g_dir = fs::path(dir) / pattern;
  std::string folder = g_dir.string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  g_dir = folder;
  platform::testing::SetDataProtectionKeyFolder(g_dir / "keys");
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  std::error_code error;
  fs::remove_all(g_dir, error);
  return 0;
}
