#pragma once
// Helpers of the history store tests: stores under the test's LOCALAPPDATA,
// records, and raw looks at the database file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chat/history_store.h"
#include "chat/history_store_test_hooks.h"
#include "platform/env.h"
#include "test_util.h"

namespace history_test {

inline const char kOrigin[] = "https://svc.example";

inline std::filesystem::path Root() { return quorix_history::HistoryRootDirectory(); }

inline std::shared_ptr<quorix_history::Store> OpenStore(const std::string& user = "u1",
                                                        const std::filesystem::path& root = Root(),
                                                        const std::string& origin = kOrigin) {
  auto store = std::make_shared<quorix_history::Store>();
  EXPECT_TRUE(store->Open(root, origin, user)) << store->last_error();
  return store;
}

inline std::filesystem::path DbPath(quorix_history::Store& store, const std::filesystem::path& root = Root()) {
  return root / store.Pseudonym("account") / "history.db";
}

inline HistoryMessage Msg(const std::string& id, const std::string& sender, const std::string& receiver,
                          const std::string& text, double created, const std::string& sequence = "1") {
  HistoryMessage m;
  m.message_id = id;
  m.sender_id = sender;
  m.receiver_id = receiver;
  m.message = text;
  m.created_at = created;
  m.sequence = sequence;
  return m;
}

// Incoming messages from `peer` to "u1" with sequences first..first+n-1.
inline std::vector<HistoryMessage> Page(const std::string& prefix, const std::string& peer, int first, int n) {
  std::vector<HistoryMessage> page;
  for (int i = 0; i < n; ++i) {
    page.push_back(Msg(prefix + std::to_string(first + i), peer, "u1", "text " + std::to_string(first + i),
                       1000.0 + first + i, std::to_string(first + i)));
  }
  return page;
}

// A raw connection of its own to a database file.
class RawDb {
 public:
  explicit RawDb(const std::filesystem::path& path) {
    EXPECT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr));
    sqlite3_busy_timeout(db_, 5000);
  }
  ~RawDb() { sqlite3_close_v2(db_); }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  sqlite3* get() { return db_; }

  bool Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }

  // Every value of every row, as text with blobs in hex, in a fixed order.
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr)) << sql;
    while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        if (sqlite3_column_type(st, i) == SQLITE_BLOB) {
          const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
          static const char kHex[] = "0123456789abcdef";
          for (int k = 0; k < sqlite3_column_bytes(st, i); ++k) {
            row += kHex[b[k] >> 4];
            row += kHex[b[k] & 15];
          }
        } else {
          const unsigned char* t = sqlite3_column_text(st, i);
          if (t != nullptr) row.append(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, i));
        }
        row += '|';
      }
      rows.push_back(row);
    }
    sqlite3_finalize(st);
    return rows;
  }

  std::vector<std::string> AllTables() {
    std::vector<std::string> all;
    for (const char* sql : {"SELECT * FROM metadata ORDER BY key", "SELECT * FROM messages ORDER BY id",
                            "SELECT * FROM outbox ORDER BY nonce", "SELECT * FROM acknowledgements ORDER BY id",
                            "SELECT * FROM friends ORDER BY peer", "SELECT * FROM conversations ORDER BY peer"}) {
      all.push_back(std::string("== ") + sql);
      for (std::string& r : Rows(sql)) all.push_back(std::move(r));
    }
    return all;
  }

  // Changes the payload byte at the 1-based SQL position `at` in every row of `table`.
  bool DamagePayloadByte(const std::string& table, const std::string& at) {
    return Exec("UPDATE " + table + " SET payload=CAST(substr(payload,1," + at + "-1)||CASE WHEN substr(payload," + at +
                ",1)=X'00' THEN X'01' ELSE X'00' END||substr(payload," + at + "+1) AS BLOB)");
  }

  long long Count(const std::string& table) {
    auto rows = Rows("SELECT count(*) FROM " + table);
    return rows.empty() ? -1 : std::stoll(rows[0]);
  }

 private:
  sqlite3* db_ = nullptr;
};

// Each test gets a LOCALAPPDATA of its own and no store hooks set.
class HistoryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    quorix_history::test_hooks::Reset();
    saved_ = platform::env::Get("LOCALAPPDATA");
    local_ = std::make_unique<quorix_test::TempDir>();
    ASSERT_TRUE(platform::env::Set("LOCALAPPDATA", local_->path().string()));
  }
  void TearDown() override {
    quorix_history::test_hooks::Reset();
    if (saved_) {
      platform::env::Set("LOCALAPPDATA", *saved_);
    } else {
      platform::env::Unset("LOCALAPPDATA");
    }
  }
  const std::filesystem::path& local_app_data() const { return local_->path(); }

 private:
  std::optional<std::string> saved_;
  std::unique_ptr<quorix_test::TempDir> local_;
};

}  // namespace history_test
