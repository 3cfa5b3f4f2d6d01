#pragma once
// SQLite helpers of the history store: a statement finalized on scope exit,
// binding and reading texts with explicit byte lengths (ids may hold zero
// bytes), and the write transaction. Included only by the store's sources.
#include <sqlite3.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "chat/history_store.h"

namespace quorix_history {

class Store::Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Prepares `sql` once; later calls only reset the statement and its bindings.
  bool Prepare(sqlite3* db, const char* sql) {
    if (db == nullptr) return false;
    if (stmt_ != nullptr) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
      return true;
    }
    return sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK;
  }
  bool BindText(int index, const std::string& text) {
    return text.size() <= INT_MAX &&
           sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
  }
  bool BindBlob(int index, const std::vector<uint8_t>& blob) {
    return blob.size() <= INT_MAX &&
           sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT) == SQLITE_OK;
  }
  bool BindDouble(int index, double value) { return sqlite3_bind_double(stmt_, index, value) == SQLITE_OK; }
  bool BindInt(int index, int value) { return sqlite3_bind_int(stmt_, index, value) == SQLITE_OK; }
  int Step() { return sqlite3_step(stmt_); }
  // Empty for NULL.
  std::string ColumnText(int index) {
    const unsigned char* text = sqlite3_column_text(stmt_, index);
    int bytes = sqlite3_column_bytes(stmt_, index);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), bytes);
  }
  const void* ColumnBlob(int index) { return sqlite3_column_blob(stmt_, index); }
  int ColumnBytes(int index) { return sqlite3_column_bytes(stmt_, index); }
  int64_t ColumnInt64(int index) { return sqlite3_column_int64(stmt_, index); }
  double ColumnDouble(int index) { return sqlite3_column_double(stmt_, index); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// "BEGIN IMMEDIATE" on Begin; ROLLBACK on scope exit unless committed. A
// transaction lives inside one store operation, which holds the store's
// mutex throughout (said to the lock analysis by AssertHeld).
class Store::Transaction {
 public:
  explicit Transaction(Store* store) : store_(store) {}
  ~Transaction() {
    store_->mutex_.AssertHeld();
    if (open_) store_->RollbackTransaction();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  [[nodiscard]] bool Begin() {
    store_->mutex_.AssertHeld();
    return open_ = store_->Begin();
  }
  // True when COMMIT completed; otherwise the transaction is rolled back.
  [[nodiscard]] bool Commit() {
    store_->mutex_.AssertHeld();
    open_ = false;
    return store_->Commit();
  }
  void Rollback() {
    store_->mutex_.AssertHeld();
    if (open_) store_->RollbackTransaction();
    open_ = false;
  }

 private:
  Store* store_;
  bool open_ = false;
};

// The statements InsertMessage runs, prepared once for a whole page, the
// page's acknowledgement token encrypted once (an operation has one token)
// and the keys of the peers seen so far.
struct Store::InsertStatements {
  Statement select;
  Statement insert;
  Statement upsert;
  Statement ack;
  std::vector<uint8_t> ack_blob;
  std::map<std::string, std::string> peer_keys;
};

}  // namespace quorix_history
