#pragma once
// Fault injection for the history store. Only tests include this header; the
// hooks are process-wide, set only by these calls and inert until set.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chat/history_message.h"

struct sqlite3;

namespace quorix_history {

class Store;

namespace test_hooks {

// Called inside the write transactions of StoreInboxBatch ("inbox", after
// each inserted message, with the count so far) and CommitAccepted
// ("commit", after the insert, with 1), and by the history tasks: between
// their store work and their last session check ("peer_history",
// "conversation_list", "mark_read"), after an inbox page was stored
// ("inbox_stored"), after a confirmed acknowledgement before its journal rows
// go ("ack_reply") and after a send reply before its commit ("send_reply").
// A test may pause the thread or kill the process there.
void SetCrashPoint(std::function<void(const char* where, size_t count)> hook);
// Replaces the 5000 ms busy timeout of stores opened afterwards; < 0 clears.
void SetBusyTimeoutOverride(int milliseconds);
// Replaces the GUID-based nonce generator; nothing means it failed.
void SetNonceGenerator(std::function<std::optional<std::string>()> generator);
// Makes Sha256Hex give the empty text.
void SetSha256Failure(bool fail);
// Makes the next export file digest (Sha256Stream::FinishHex) give the empty
// text, as a failed hash would; other hashing is unaffected.
void FailNextFileDigest();
// Makes the next `count` ROLLBACKs fail without running.
void FailNextRollbacks(int count);
// Clears every hook.
void Reset();

}  // namespace test_hooks

// Reaches the store's internals that tests check directly.
class StoreTestAccess {
 public:
  static bool Protect(Store& store, const std::string& plaintext, std::vector<uint8_t>* out);
  static bool Unprotect(Store& store, const void* blob, int length, std::string* out);
  static sqlite3* Connection(Store& store);
  // InsertMessage in a transaction of its own, committed when it succeeds.
  static bool InsertMessage(Store& store, const HistoryMessage& message, const std::string& ack_token,
                            bool* inserted);
};
}  // namespace quorix_history
