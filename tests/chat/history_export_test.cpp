// History export and import between real stores: round trips, read marks,
// every refusal leaving the store as it was, and durable replacement.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "chat/history_export.h"
#include "history_store_fixture.h"
#include "platform/crypto.h"
#include "platform/stream_file_test_hooks.h"

namespace {

using history_test::Msg;
using history_test::RawDb;
using quorix_history::Store;

const std::string kHeader =
    R"({"format":"QuorixHistory","version":1,"user_id":"u1","origin":"https://svc.example"})" "\n";

std::string Hex(const std::string& bytes) {
  const auto digest = platform::Sha256(bytes);
  return platform::ToHex(digest->data(), digest->size());
}

// Header, `lines` and a trailer that matches them.
std::string Sealed(const std::string& header, const std::vector<std::string>& lines) {
  std::string body = header;
  for (const std::string& line : lines) body += line + "\n";
  return body + R"({"end":true,"message_count":)" + std::to_string(lines.size()) + R"(,"sha256":")" + Hex(body) +
         "\"}\n";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0, lf; (lf = text.find('\n', at)) != std::string::npos; at = lf + 1) {
    lines.push_back(text.substr(at, lf - at));
  }
  return lines;
}

class HistoryExportTest : public history_test::HistoryStoreTest {
 protected:
  std::filesystem::path File(const std::string& name = "h.quorix-history") const { return local_app_data() / name; }

  // Incoming messages of two peers (one read) and an own one, with awkward texts.
  static void Fill(Store& store) {
    std::vector<HistoryMessage> page = {Msg("m1", "p1", "u1", "line\nfeed\ttab \"quote\" \x7f", 1001, "1"),
                                        Msg("m2", "p2", "u1", "日本語のテキスト", 1002, "2"),
                                        Msg("m3", "p1", "u1", "third", 1003, "3")};
    std::vector<std::string> stored;
    ASSERT_TRUE(store.StoreInboxBatch("s", "3", page, "ack", &stored, nullptr)) << store.last_error();
    ASSERT_TRUE(store.MarkPeerRead("p2"));
    bool inserted = false;
    ASSERT_TRUE(quorix_history::StoreTestAccess::InsertMessage(store, Msg("o1", "u1", "p1", "mine", 1004, "0"), "",
                                                               &inserted));
  }

  // What a user sees: the conversations and every peer's messages.
  static std::vector<std::string> Visible(Store& store) {
    std::vector<std::string> out;
    std::vector<quorix_history::ConversationRow> rows;
    EXPECT_TRUE(store.ListConversations(&rows));
    for (const auto& row : rows) {
      out.push_back(row.peer_id + "|" + row.text + "|" + std::to_string(row.unread));
      std::vector<HistoryMessage> messages;
      EXPECT_TRUE(store.ReadPeerHistory(row.peer_id, &messages, 100));
      for (const auto& m : messages) out.push_back(HistoryMessageToJson(m));
    }
    return out;
  }
};

// One store walked from empty through a round trip and back with read marks.
TEST_F(HistoryExportTest, EmptyExportRoundTripAndReadMarks) {
  auto store = history_test::OpenStore();
  ASSERT_TRUE(store->ExportHistory(File())) << store->last_error();
  EXPECT_EQ(quorix_test::ReadFile(File()),
            kHeader + R"({"end":true,"message_count":0,"sha256":")"
                      "65ec4486d36fa8f8cc0ec663854c1da04cfa1bb04db482d0a892719edd586468\"}\n");
  EXPECT_EQ(quorix_test::FileMode(File()), 0600u);

  Fill(*store);
  ASSERT_TRUE(store->ExportHistory(File())) << store->last_error();
  EXPECT_EQ(Lines(quorix_test::ReadFile(File())).size(), 6u);
  quorix_test::TempDir other;
  auto fresh = history_test::OpenStore("u1", other.path());
  ASSERT_TRUE(fresh->ImportHistory(File())) << fresh->last_error();
  EXPECT_EQ(Visible(*fresh), Visible(*store));
  RawDb raw(history_test::DbPath(*store));
  const auto before = raw.AllTables();
  EXPECT_TRUE(store->ImportHistory(File())) << store->last_error();
  EXPECT_EQ(raw.AllTables(), before);

  // Read marks lower the unread count once, and never for own messages.
  ASSERT_TRUE(fresh->MarkPeerRead("p1"));
  ASSERT_TRUE(fresh->ExportHistory(File()));
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(store->ImportHistory(File())) << store->last_error();
    EXPECT_EQ(Visible(*store), Visible(*fresh)) << round;
  }
  EXPECT_EQ(raw.Rows("SELECT min(unread) FROM conversations"), std::vector<std::string>{"0|"});
}

TEST_F(HistoryExportTest, EveryRefusalLeavesTheStoreAsItWas) {
  auto store = history_test::OpenStore();
  Fill(*store);
  ASSERT_TRUE(store->ExportHistory(File("mine")));
  const std::vector<std::string> mine = Lines(quorix_test::ReadFile(File("mine")));
  const std::vector<std::string> messages(mine.begin() + 1, mine.end() - 1);
  const std::string file = quorix_test::ReadFile(File("mine"));
  std::string changed = file, fewer = file;
  changed[changed.find("third")] = 'T';
  fewer.erase(kHeader.size(), mine[1].size() + 1);
  std::string cut_trailer = Sealed(kHeader, messages);
  cut_trailer.insert(cut_trailer.find(R"("message_count":)") + 16, "1");
  const std::string foreign = R"({"format":"QuorixHistory","version":1,"user_id":"u2","origin":"https://svc.example"})" "\n";
  const std::string origin = R"({"format":"QuorixHistory","version":1,"user_id":"u1","origin":"https://x.example"})" "\n";
  const std::string version2 = R"({"format":"QuorixHistory","version":2,"user_id":"u1","origin":"https://svc.example"})" "\n";
  std::filesystem::create_directory(File("folder"));
  ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::optional<std::string> bytes;  // none: the path as it is
    const char* code;
  } cases[] = {
      {"missing", std::nullopt, "import_open_failed"},
      {"folder", std::nullopt, "import_open_failed"},
      {"fifo", std::nullopt, "import_open_failed"},
      {"empty", std::string(), "import_header_invalid"},
      {"long header", std::string(16385, ' ') + "\n", "import_header_invalid"},
      {"not json", Sealed("{\n", {}), "import_account_mismatch"},
      {"other user", Sealed(foreign, messages), "import_account_mismatch"},
      {"other origin", Sealed(origin, messages), "import_account_mismatch"},
      {"version 2", Sealed(version2, messages), "import_version_invalid"},
      {"changed byte", changed, "import_invalid_or_commit_failed"},
      {"line removed", fewer, "import_invalid_or_commit_failed"},
      {"wrong count", cut_trailer, "import_invalid_or_commit_failed"},
      {"line after trailer", Sealed(kHeader, messages) + "{}\n", "import_invalid_or_commit_failed"},
      {"empty line after trailer", Sealed(kHeader, messages) + "\n", "import_invalid_or_commit_failed"},
      {"no trailer", Sealed(kHeader, messages).substr(0, Sealed(kHeader, messages).rfind("{\"end\"")),
       "import_invalid_or_commit_failed"},
      {"line over 65,536 bytes", Sealed(kHeader, {std::string(65537, ' ')}), "import_invalid_or_commit_failed"},
      {"foreign message", Sealed(kHeader, {HistoryMessageToJson(Msg("x", "p1", "u9", "t", 1, "1"))}),
       "import_invalid_or_commit_failed"},
  };
  RawDb raw(history_test::DbPath(*store));
  const auto before = raw.AllTables();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.bytes) quorix_test::WriteFile(File(c.name), *c.bytes);
    EXPECT_FALSE(store->ImportHistory(File(c.name)));
    EXPECT_EQ(store->last_error(), c.code);
    EXPECT_EQ(raw.AllTables(), before);
  }
  quorix_history::test_hooks::SetBusyTimeoutOverride(0);
  auto busy = history_test::OpenStore("u1");
  ASSERT_TRUE(raw.Exec("BEGIN IMMEDIATE"));
  EXPECT_FALSE(busy->ImportHistory(File("mine")));
  EXPECT_EQ(busy->last_error(), "transaction_busy");
  ASSERT_TRUE(raw.Exec("ROLLBACK"));

  std::string no_final_lf = Sealed(kHeader, messages);
  no_final_lf.pop_back();
  quorix_test::WriteFile(File("no final lf"), no_final_lf);
  EXPECT_TRUE(store->ImportHistory(File("no final lf"))) << store->last_error();
}

TEST_F(HistoryExportTest, FailedExportsLeaveTheTargetAndNoTemporary) {
  auto store = history_test::OpenStore();
  Fill(*store);
  quorix_test::WriteFile(File(), "previous");
  struct Case {
    const char* name;
    std::function<void()> arm;
    std::filesystem::path target;
    const char* code;
  } cases[] = {
      {"missing folder", [] {}, File("none") / "h", "export_open_failed"},
      {"a write", [] { platform::testing::FailStreamWrite(1); }, File(), "export_write_failed"},
      {"the sync", [] { platform::testing::FailStreamSync(true); }, File(), "export_write_failed"},
      {"the rename", [] { platform::testing::FailStreamRename(true); }, File(), "export_write_failed"},
      {"the digest", [] { quorix_history::test_hooks::SetSha256Failure(true); }, File(), "export_write_failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arm();
    EXPECT_FALSE(store->ExportHistory(c.target));
    EXPECT_EQ(store->last_error(), c.code);
    quorix_history::test_hooks::Reset();
    platform::testing::FailStreamWrite(0);
    EXPECT_EQ(quorix_test::ReadFile(File()), "previous");
    EXPECT_EQ(quorix_test::CountDirectoryEntries(local_app_data()), 2u);  // the target and the store's folder
  }
}

TEST_F(HistoryExportTest, KilledMidwayLeavesTheTargetAndTheStoreIntact) {
  GTEST_FLAG_SET(death_test_style, "fast");
  quorix_test::TempDir other;
  {
    auto source = history_test::OpenStore("u1", other.path());
    Fill(*source);
    ASSERT_TRUE(source->MarkPeerRead("p1"));
    ASSERT_TRUE(source->ExportHistory(File("source")));
  }
  std::filesystem::path db;
  {
    auto store = history_test::OpenStore();
    Fill(*store);
    db = history_test::DbPath(*store);
  }
  quorix_test::WriteFile(File(), "previous");
  const auto before = RawDb(db).AllTables();
  for (const std::string where : {"export", "import"}) {
    SCOPED_TRACE(where);
    EXPECT_EXIT(
        {
          quorix_history::test_hooks::SetCrashPoint([where](const char* at, size_t count) {
            if (at == where && count == 2) ::raise(SIGKILL);
          });
          auto store = history_test::OpenStore();
          where == "export" ? store->ExportHistory(File()) : store->ImportHistory(File("source"));
          std::exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    auto reopened = history_test::OpenStore();
    RawDb raw(db);
    EXPECT_EQ(raw.Rows("PRAGMA integrity_check"), std::vector<std::string>{"ok|"});
    EXPECT_EQ(raw.AllTables(), before);
    EXPECT_EQ(quorix_test::ReadFile(File()), "previous");
  }
}

// A digest that could not be computed matches nothing, not even a trailer
// that states an empty one.
TEST_F(HistoryExportTest, AFailedDigestRefusesEveryTrailer) {
  auto store = history_test::OpenStore();
  Fill(*store);
  const std::string line = HistoryMessageToJson(Msg("n1", "p1", "u1", "not to be kept", 2001, "9"));
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"no messages", kHeader + R"({"end":true,"message_count":0,"sha256":""})" "\n"},
      {"a new message", kHeader + line + "\n" + R"({"end":true,"message_count":1,"sha256":""})" "\n"},
  };
  RawDb raw(history_test::DbPath(*store));
  const auto before = raw.AllTables();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix_test::WriteFile(File(c.name), c.bytes);
    quorix_history::test_hooks::FailNextFileDigest();
    EXPECT_FALSE(store->ImportHistory(File(c.name)));
    EXPECT_EQ(store->last_error(), "import_invalid_or_commit_failed");
    EXPECT_EQ(raw.AllTables(), before);
  }
}

// What an export killed part way leaves beside its target goes with the next
// export to that target, and nothing else does: not the file of a process
// still running (this one, its parent, the first process), not another
// target's, not a link or a folder, not a name that only looks alike.
TEST_F(HistoryExportTest, TheNextExportRemovesOnlyLeftoversOfEndedExports) {
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::string name = File().filename().string();
  {
    auto store = history_test::OpenStore();
    Fill(*store);
  }
  EXPECT_EXIT(
      {
        quorix_history::test_hooks::SetCrashPoint([](const char* at, size_t count) {
          if (std::string(at) == "export" && count == 2) ::raise(SIGKILL);
        });
        auto store = history_test::OpenStore();
        (void)store->ExportHistory(File());
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  // The killed child's leftover; its pid is that of a process reaped since.
  std::vector<std::string> killed;
  for (const auto& entry : std::filesystem::directory_iterator(local_app_data())) {
    if (entry.path().filename().string().rfind(name + ".tmp.", 0) == 0) killed.push_back(entry.path().filename());
  }
  ASSERT_EQ(killed.size(), 1u);
  const std::string dead = killed[0].substr(name.size() + 5, killed[0].find('.', name.size() + 5) - name.size() - 5);
  ASSERT_FALSE(dead.empty());

  enum Kind { kFile, kLink, kFolder };
  struct Case {
    std::string name;
    Kind kind;
    bool stays;
  } cases[] = {
      {name + ".tmp." + dead + ".77", kFile, false},
      {name + ".tmp." + dead + ".0", kFile, false},
      {name + ".tmp." + std::to_string(::getpid()) + ".77", kFile, true},
      {name + ".tmp." + std::to_string(::getppid()) + ".77", kFile, true},
      {name + ".tmp.1.77", kFile, true},  // alive, whether or not we may signal it
      {name + ".tmp.0.77", kFile, true},  // 0 names no process
      {name + ".tmp." + dead + ".78", kLink, true},
      {name + ".tmp." + dead + ".79", kFolder, true},
      {"other.quorix-history.tmp." + dead + ".77", kFile, true},
      {"x" + name + ".tmp." + dead + ".77", kFile, true},
      {name + ".tmp.0" + dead + ".77", kFile, true},
      {name + ".tmp.+" + dead + ".77", kFile, true},
      {name + ".tmp." + dead + ".077", kFile, true},
      {name + ".tmp." + dead + ".77.x", kFile, true},
      {name + ".tmp." + dead + ".", kFile, true},
      {name + ".tmp." + dead, kFile, true},
      {name + ".tmp." + dead + ".99999999999999999999", kFile, true},  // past 64 bits
      {name + ".tmp.99999999999999999999.77", kFile, true},
  };
  quorix_test::WriteFile(File("link target"), "kept");
  for (const Case& c : cases) {
    const auto path = File(c.name);
    if (c.kind == kFile) quorix_test::WriteFile(path, "partial");
    if (c.kind == kLink) std::filesystem::create_symlink(File("link target"), path);
    if (c.kind == kFolder) std::filesystem::create_directory(path);
  }
  auto store = history_test::OpenStore();
  ASSERT_TRUE(store->ExportHistory(File())) << store->last_error();
  EXPECT_FALSE(std::filesystem::exists(local_app_data() / killed[0]));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(File(c.name))), c.stays);
  }
  EXPECT_EQ(quorix_test::ReadFile(File("link target")), "kept");
  EXPECT_TRUE(store->ImportHistory(File())) << store->last_error();
}

}  // namespace
