// Fuzz entry point of the history import. Each input is a file on tmpfs that
// is imported into a store copied from a seeded template. The first byte
// chooses whether the rest is wrapped in this account's header and a trailer
// with the right count and digest, so that inputs reach the inserts. A refusal
// must carry a code of the import's table and leave the store as it was; an
// acceptance must leave every message readable, no unread count below 0 and
// an intact database (the template is then restored).
#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "chat/history_store.h"
#include "chat/history_store_test_hooks.h"
#include "platform/crypto.h"
#include "platform/test_hooks.h"
#include "store_rows.h"
#include "support/fuzz/fuzz_verdict.h"
#include "support/fuzz/run_folder.h"

namespace {

namespace fs = std::filesystem;
using quorix_history::Store;

constexpr char kOrigin[] = "https://svc.example";
constexpr char kHeader[] =
    R"({"format":"QuorixHistory","version":1,"user_id":"u1","origin":"https://svc.example"})" "\n";

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "history import fuzz: %s\n", what);
  std::abort();
}

std::vector<std::string> Rows(Store& store, const char* sql) {
  std::vector<std::string> rows;
  if (!ReadStoreRows(store, sql, &rows)) Fail("query");
  return rows;
}

// Row counts, read flags and unread counts.
std::vector<std::string> Shape(Store& store) {
  std::vector<std::string> shape;
  for (const char* sql : {"SELECT count(*)||'/'||total(isread) FROM messages",
                          "SELECT id||':'||isread FROM messages ORDER BY id",
                          "SELECT count(*)||'/'||total(unread) FROM conversations",
                          "SELECT count(*) FROM acknowledgements", "SELECT count(*) FROM outbox"}) {
    for (std::string& row : Rows(store, sql)) shape.push_back(std::move(row));
  }
  return shape;
}

struct World;
World& GetWorld();

struct World {
  fs::path folder;
  fs::path root;
  fs::path db;
  fs::path template_db;
  fs::path input;
  std::unique_ptr<Store> store;
  std::vector<std::string> shape;

  World() {
    folder = quorix_fuzz::MakeRunFolder("/dev/shm", "quorix_import_fuzz");
    if (folder.empty()) Fail("mkdtemp");
    std::atexit([] { std::error_code error; fs::remove_all(GetWorld().folder, error); });
    root = folder / "root";
    input = folder / "input";
    template_db = folder / "template.db";
    platform::testing::SetDataProtectionKeyFolder(folder / "keys");
    store = std::make_unique<Store>();
    if (!store->Open(root, kOrigin, "u1")) Fail("open");
    db = root / store->Pseudonym("account") / "history.db";
    std::vector<HistoryMessage> page;
    for (int i = 1; i <= 6; ++i) {
      HistoryMessage m;
      m.message_id = "m" + std::to_string(i);
      m.sender_id = i % 3 == 0 ? "u1" : "p" + std::to_string(i % 2);
      m.receiver_id = i % 3 == 0 ? "p1" : "u1";
      m.message = "text " + std::to_string(i);
      m.created_at = 1000 + i;
      m.sequence = std::to_string(i);
      bool inserted = false;
      if (!quorix_history::StoreTestAccess::InsertMessage(*store, m, "", &inserted)) Fail("seed");
    }
    store.reset();
    fs::copy_file(db, template_db);
    Reopen();
  }

  void Reopen() {
    store.reset();
    std::error_code error;
    fs::remove(fs::path(db).concat("-wal"), error);
    fs::remove(fs::path(db).concat("-shm"), error);
    fs::copy_file(template_db, db, fs::copy_options::overwrite_existing);
    store = std::make_unique<Store>();
    if (!store->Open(root, kOrigin, "u1")) Fail("reopen");
    shape = Shape(*store);
  }
};

World& GetWorld() {
  static World* world = new World;
  return *world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& world = GetWorld();
  std::string text;
  if (size > 0) text.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (size > 0 && (data[0] & 1) != 0) {
    std::string body = kHeader;
    size_t lines = 0;
    for (size_t at = 0; at < text.size();) {
      const size_t lf = text.find('\n', at);
      const size_t end = lf == std::string::npos ? text.size() : lf;
      body.append(text, at, end - at).push_back('\n');
      ++lines;
      at = end + 1;
    }
    const auto digest = platform::Sha256(body);
    text = body + R"({"end":true,"message_count":)" + std::to_string(lines) + R"(,"sha256":")" +
           platform::ToHex(digest->data(), digest->size()) + "\"}\n";
  }
  FILE* file = std::fopen(world.input.c_str(), "wb");
  if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fclose(file) != 0) {
    Fail("write input");
  }

  const bool accepted = world.store->ImportHistory(world.input);
  ReportFuzzVerdict(accepted);
  if (!accepted) {
    static const std::set<std::string> codes = {"import_open_failed", "import_header_invalid",
                                                "import_account_mismatch", "import_version_invalid",
                                                "transaction_busy", "import_invalid_or_commit_failed"};
    if (codes.count(world.store->last_error()) == 0) Fail("refusal without a known code");
    if (Shape(*world.store) != world.shape) Fail("a refusal changed the store");
    return 0;
  }
  if (Rows(*world.store, "PRAGMA integrity_check") != std::vector<std::string>{"ok"}) Fail("integrity");
  if (!Rows(*world.store, "SELECT 1 FROM conversations WHERE unread<0").empty()) Fail("unread below 0");
  for (const std::string& id : Rows(*world.store, "SELECT id FROM messages")) {
    HistoryMessage message;
    if (!world.store->GetMessage(id, &message)) Fail("an imported message does not read back");
  }
  world.Reopen();
  return 0;
}
