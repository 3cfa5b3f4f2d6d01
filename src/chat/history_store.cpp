// The history store: location, opening, schema, identity, encryption of
// stored values and the transaction guard.
#include "chat/history_store.h"

#include <sqlite3.h>

#include <cassert>
#include <new>

#include "chat/history_store_sql.h"
#include "chat/secure_wipe.h"
#include "chat/history_schema.h"
#include "chat/history_store_hook_state.h"
#include "core/environment.h"
#include "core/event_log.h"
#include "core/text.h"
#include "platform/crypto.h"
#include "platform/data_protection.h"
#include "platform/owner_files.h"

namespace quorix_history {

namespace {

constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;  // 0x10006
static_assert(kOpenFlags == 0x10006);
constexpr int kBusyTimeoutMs = 5000;
constexpr size_t kMaxBlobBytes = 1048576;
constexpr char16_t kDescription[] = u"Quorix local message";


// The connection is opened in serialized mode; a library built without
// thread support could not honour that.
bool SqliteIsThreadSafe() {
  static const bool safe = sqlite3_threadsafe() != 0;
  return safe;
}

}  // namespace

std::filesystem::path HistoryRootDirectory() {
  std::u16string value = ReadEnvironmentString(u"LOCALAPPDATA");
  if (value.empty()) return {};
  std::string utf8 = WideToUtf8(value);
  if (utf8.empty()) return {};
  return std::filesystem::path(utf8) / "QuorixPhone" / "history" / "v1";
}

Store::Store() = default;

Store::~Store() {
  platform::MutexLock lock(mutex_);
  CloseConnection();
  user_id_.clear();
  origin_.clear();
}

std::string Store::last_error() const {
  platform::MutexLock lock(mutex_);
  return last_error_;
}

bool Store::Fail(const char* code) {
  last_error_ = code;
  return false;
}

std::string Store::Sha256Hex(const std::string& bytes) {
  if (test_hooks::detail::Sha256Fails()) return {};
  auto digest = platform::Sha256(bytes);
  if (!digest) return {};
  return platform::ToHex(digest->data(), digest->size());
}

std::string Store::Pseudonym(const std::string& text) const {
  platform::MutexLock lock(mutex_);
  return PseudonymLocked(text);
}

std::string Store::PseudonymLocked(const std::string& text) const {
  std::string input;
  input.reserve(origin_.size() + user_id_.size() + text.size() + 2);
  input += origin_;
  input += '\n';
  input += user_id_;
  input += '\n';
  input += text;
  std::string hex = Sha256Hex(input);
  SecureWipeString(&input);
  return hex;
}

bool Store::Protect(const std::string& plaintext, std::vector<uint8_t>* out) {
  std::string entropy = origin_ + '\n' + user_id_;
  std::string blob;
  bool ok = platform::ProtectData(plaintext, kDescription, entropy, &blob);
  // A blob above the reading bound could be stored but never read again.
  if (!ok || blob.size() > kMaxBlobBytes) return Fail("encrypt_failed");
  out->assign(blob.begin(), blob.end());
  return true;
}

bool Store::Unprotect(const void* blob, int length, std::string* out) {
  if (blob == nullptr || length < 1 || static_cast<size_t>(length) > kMaxBlobBytes) return Fail("cipher_invalid");
  std::string entropy = origin_ + '\n' + user_id_;
  platform::SecretBuffer plain;
  if (!platform::UnprotectData(std::string_view(static_cast<const char*>(blob), static_cast<size_t>(length)),
                               entropy, &plain)) {
    return Fail("decrypt_failed");
  }
  out->assign(plain.view());
  return true;
}

bool Store::Exec(const char* sql) {
  return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Store::Begin() { return Exec("BEGIN IMMEDIATE"); }

bool Store::Commit() {
  if (Exec("COMMIT")) return true;
  RollbackTransaction();
  return false;
}

void Store::RollbackTransaction() {
  if (db_ == nullptr) return;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // What counts is whether the connection left the transaction, asked next.
    if (!test_hooks::detail::TakeRollbackFailure()) (void)Exec("ROLLBACK");
    if (sqlite3_get_autocommit(db_) != 0) return;
  }
  // Still inside the transaction: closing the connection rolls it back and
  // releases the write lock; the store then acts as never opened. It happens
  // once to a store, so this is logged once.
  CloseConnection();
  WriteEventLog("LOCAL_HISTORY_NOT_READY", 1, 0);
}

void Store::CloseConnection() {
  open_ = false;
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool Store::Open(const std::filesystem::path& root, const std::string& origin, const std::string& user_id) {
  platform::MutexLock lock(mutex_);
  if (db_ != nullptr) return Fail("identity_invalid");  // already open: keep it so
  bool ok = OpenLocked(root, origin, user_id);
  // A failed store is discarded by its owner; until then it acts as unopened.
  if (!ok) CloseConnection();
  open_ = ok;
  return ok;
}

bool Store::OpenLocked(const std::filesystem::path& root, const std::string& origin, const std::string& user_id) {
  if (root.empty() || origin.empty() || user_id.empty() || user_id.size() > 256) {
    return Fail("identity_invalid");
  }
  origin_ = origin;
  user_id_ = user_id;
  std::string account = PseudonymLocked("account");
  if (account.empty()) return Fail("pseudonym_failed");

  std::filesystem::path file;
  try {
    std::filesystem::path dir = root / std::filesystem::path(account);
    if (!platform::CreateOwnerOnlyDirectories(dir)) return Fail("path_failed");
    file = dir / "history.db";
  } catch (const std::exception&) {
    return Fail("path_failed");
  }
  // Created owner-only first: SQLite gives the -wal and -shm files the
  // database file's mode.
  if (!SqliteIsThreadSafe() || !platform::EnsureOwnerOnlyFile(file)) return Fail("open_failed");
  if (sqlite3_open_v2(file.c_str(), &db_, kOpenFlags, nullptr) != SQLITE_OK) return Fail("open_failed");
  sqlite3_busy_timeout(db_, test_hooks::detail::BusyTimeout(kBusyTimeoutMs));
  if (sqlite3_exec(db_, kHistorySchema, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail("schema_failed");

  std::string identity = origin_ + '\n' + user_id_;
  Statement select;
  if (!select.Prepare(db_, "SELECT value FROM metadata WHERE key='identity'")) return Fail("identity_read_failed");
  int rc = select.Step();
  if (rc == SQLITE_ROW) {
    std::string stored;
    bool same = Unprotect(select.ColumnBlob(0), select.ColumnBytes(0), &stored) && stored == identity;
    SecureWipeString(&stored);
    if (!same) return Fail("identity_mismatch");
  } else if (rc == SQLITE_DONE) {
    std::vector<uint8_t> blob;
    if (!Protect(identity, &blob)) return false;
    Statement insert;
    if (!insert.Prepare(db_, "INSERT INTO metadata VALUES('identity',?)") || !insert.BindBlob(1, blob) ||
        insert.Step() != SQLITE_DONE) {
      return Fail("identity_save_failed");
    }
  } else {
    return Fail("identity_read_failed");
  }
  last_error_.clear();
  return true;
}

}  // namespace quorix_history
