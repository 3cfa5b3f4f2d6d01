#include "chat/history_store_test_hooks.h"

#include <atomic>
#include <mutex>

#include "chat/history_store.h"
#include "chat/history_store_hook_state.h"
#include "chat/history_store_sql.h"

namespace quorix_history {

namespace {

struct Hooks {
  std::mutex mutex;
  std::function<void(const char*, size_t)> crash;
  std::function<std::optional<std::string>()> nonce;
  std::atomic<bool> any{false};  // fast path: nothing set
  std::atomic<int> busy_ms{-1};
  std::atomic<bool> sha_fails{false};
  std::atomic<int> rollback_failures{0};
  std::atomic<bool> file_digest_fails{false};
};

Hooks& TheHooks() {
  static Hooks hooks;
  return hooks;
}

}  // namespace

namespace test_hooks {

void SetCrashPoint(std::function<void(const char*, size_t)> hook) {
  std::lock_guard lock(TheHooks().mutex);
  TheHooks().crash = std::move(hook);
  TheHooks().any = true;
}

void SetBusyTimeoutOverride(int milliseconds) { TheHooks().busy_ms = milliseconds; }

void SetNonceGenerator(std::function<std::optional<std::string>()> generator) {
  std::lock_guard lock(TheHooks().mutex);
  TheHooks().nonce = std::move(generator);
  TheHooks().any = true;
}

void SetSha256Failure(bool fail) { TheHooks().sha_fails = fail; }

void FailNextFileDigest() { TheHooks().file_digest_fails = true; }

void FailNextRollbacks(int count) { TheHooks().rollback_failures = count; }

void Reset() {
  std::lock_guard lock(TheHooks().mutex);
  TheHooks().crash = nullptr;
  TheHooks().nonce = nullptr;
  TheHooks().any = false;
  TheHooks().busy_ms = -1;
  TheHooks().sha_fails = false;
  TheHooks().rollback_failures = 0;
  TheHooks().file_digest_fails = false;
}

namespace detail {

void CrashPoint(const char* where, size_t count) {
  if (!TheHooks().any) return;
  std::function<void(const char*, size_t)> hook;
  {
    std::lock_guard lock(TheHooks().mutex);
    hook = TheHooks().crash;
  }
  if (hook) hook(where, count);
}

int BusyTimeout(int normal) {
  int ms = TheHooks().busy_ms;
  return ms < 0 ? normal : ms;
}

bool OverridesNonce() {
  if (!TheHooks().any) return false;
  std::lock_guard lock(TheHooks().mutex);
  return static_cast<bool>(TheHooks().nonce);
}

std::optional<std::string> GenerateNonce() {
  std::function<std::optional<std::string>()> generator;
  {
    std::lock_guard lock(TheHooks().mutex);
    generator = TheHooks().nonce;
  }
  return generator ? generator() : std::nullopt;
}

bool Sha256Fails() { return TheHooks().sha_fails; }

bool TakeFileDigestFailure() { return TheHooks().file_digest_fails.exchange(false); }

bool TakeRollbackFailure() {
  int left = TheHooks().rollback_failures.load();
  while (left > 0) {
    if (TheHooks().rollback_failures.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

}  // namespace detail
}  // namespace test_hooks

bool StoreTestAccess::Protect(Store& store, const std::string& plaintext, std::vector<uint8_t>* out) {
  platform::MutexLock lock(store.mutex_);
  return store.Protect(plaintext, out);
}

bool StoreTestAccess::Unprotect(Store& store, const void* blob, int length, std::string* out) {
  platform::MutexLock lock(store.mutex_);
  return store.Unprotect(blob, length, out);
}

sqlite3* StoreTestAccess::Connection(Store& store) {
  platform::MutexLock lock(store.mutex_);
  return store.db_;
}

bool StoreTestAccess::InsertMessage(Store& store, const HistoryMessage& message, const std::string& ack_token,
                                    bool* inserted) {
  platform::MutexLock lock(store.mutex_);
  Store::Transaction transaction(&store);
  if (!transaction.Begin()) return store.Fail("transaction_busy");
  return store.InsertMessage(message, ack_token, inserted) && transaction.Commit();
}

}  // namespace quorix_history
