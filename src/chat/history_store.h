#pragma once
// The encrypted chat history of one signed-in account: one SQLite database
// "history.db" in a folder named by a pseudonym of the account, under
// <LOCALAPPDATA>/QuorixPhone/history/v1. Every text, name, token, cursor and
// the account identity is stored only as a data-protection blob bound to the
// current user, the service origin and the user id; peers are keyed by
// pseudonyms. Held through std::shared_ptr; every public operation takes the
// store's own mutex (which guards the connection, the identity and the last
// error) and may run on any thread.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "chat/chat_model.h"
#include "chat/history_message.h"
#include "platform/thread_annotations.h"

struct sqlite3;

namespace quorix_history {

struct OutboxEntry {
  std::string nonce;
  std::string peer;
  std::string message;
};

struct ConversationRow {
  std::string peer_id;
  std::string text;
  int64_t unread = 0;
  double created = 0.0;
};

// LOCALAPPDATA joined with "QuorixPhone", "history", "v1"; empty when the
// variable is unset, empty, too long or not valid text.
std::filesystem::path HistoryRootDirectory();

class StoreTestAccess;

class Store {
 public:
  Store();
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Opens or creates the account's database under `root` and checks that it
  // belongs to `origin` and `user_id`. Call once on a new store; after false
  // the store is to be discarded.
  [[nodiscard]] bool Open(const std::filesystem::path& root, const std::string& origin,
                          const std::string& user_id) EXCLUDES(mutex_);

  // True from a successful Open until the connection is closed: by the
  // destructor, or by a ROLLBACK that did not take (see RollbackTransaction),
  // after which every operation fails. Read without the store's mutex, so a
  // caller never waits for a running operation.
  bool IsOpen() const { return open_.load(); }

  // SHA-256 of origin, LF, user id, LF and `text`, as 64 lower-case hex
  // digits; empty when hashing fails.
  std::string Pseudonym(const std::string& text) const EXCLUDES(mutex_);
  static std::string Sha256Hex(const std::string& bytes);

  // Stores an unsent own message under `*nonce` (a generated one when empty).
  [[nodiscard]] bool AddOutbox(const std::string& peer, const std::string& message,
                               std::string* nonce) EXCLUDES(mutex_);
  // At most 100 pending entries, oldest first.
  [[nodiscard]] bool ListPendingOutbox(std::vector<OutboxEntry>* out) EXCLUDES(mutex_);
  [[nodiscard]] bool MarkOutboxFailed(const std::string& nonce) EXCLUDES(mutex_);
  // Moves an own message the service accepted from the outbox to the history.
  [[nodiscard]] bool CommitAccepted(const HistoryMessage& accepted, const std::string& ack_token) EXCLUDES(mutex_);
  // Stores one inbox page and the next cursor, all or nothing.
  [[nodiscard]] bool StoreInboxBatch(const std::string& stream_id, const std::string& next_cursor,
                                     const std::vector<HistoryMessage>& messages, const std::string& ack_token,
                                     std::vector<std::string>* stored_ids, std::vector<std::string>* inserted_ids)
      EXCLUDES(mutex_);
  [[nodiscard]] bool DeleteAcknowledgements(const std::vector<std::string>& ids) EXCLUDES(mutex_);
  // Every conversation, newest first.
  [[nodiscard]] bool ListConversations(std::vector<ConversationRow>* out) EXCLUDES(mutex_);
  [[nodiscard]] bool MarkPeerRead(const std::string& peer_id) EXCLUDES(mutex_);
  // The stored friends in list order.
  [[nodiscard]] bool ReadFriends(std::vector<ChatFriend>* out) EXCLUDES(mutex_);
  [[nodiscard]] bool ReplaceFriends(const std::vector<ChatFriend>& friends) EXCLUDES(mutex_);
  // The newest `limit` messages with the peer, oldest first.
  [[nodiscard]] bool ReadPeerHistory(const std::string& peer_id, std::vector<HistoryMessage>* out,
                                     uint64_t limit) EXCLUDES(mutex_);
  [[nodiscard]] bool GetMessage(const std::string& message_id, HistoryMessage* out) EXCLUDES(mutex_);

  // Writes every stored message in clear to a line file bound to this
  // account, replacing `path` only once the file is complete and on disk.
  [[nodiscard]] bool ExportHistory(const std::filesystem::path& path) EXCLUDES(mutex_);
  // Merges such a file of this account, all or nothing: only new messages
  // and read marks are added.
  [[nodiscard]] bool ImportHistory(const std::filesystem::path& path) EXCLUDES(mutex_);

  // Snake-case code of the last failure, for diagnosis.
  std::string last_error() const EXCLUDES(mutex_);

 private:
  friend class StoreTestAccess;
  class Statement;
  class Transaction;
  struct InsertStatements;

  // Everything below runs with the mutex held.

  // Sets last_error to `code` and returns false.
  [[nodiscard]] bool Fail(const char* code) REQUIRES(mutex_);
  std::string PseudonymLocked(const std::string& text) const REQUIRES(mutex_);

  // Encrypt and decrypt one stored value for this account.
  [[nodiscard]] bool Protect(const std::string& plaintext, std::vector<uint8_t>* out) REQUIRES(mutex_);
  [[nodiscard]] bool Unprotect(const void* blob, int length, std::string* out) REQUIRES(mutex_);

  // Decrypts and parses column `column` of the current row. False with the
  // decryption code when it does not decrypt; `*readable` says whether it
  // parsed (and, for the record form, reads as a record of this account).
  [[nodiscard]] bool DecryptRow(Statement& statement, int column, JsonValue* value, bool* readable) REQUIRES(mutex_);
  [[nodiscard]] bool DecryptRecord(Statement& statement, int column, HistoryMessage* record,
                                   bool* readable) REQUIRES(mutex_);

  // Runs one fixed SQL text; false without a connection or on an error.
  [[nodiscard]] bool Exec(const char* sql) REQUIRES(mutex_);
  // Needs a transaction open. The second form reuses the statements of
  // earlier calls of the same operation.
  [[nodiscard]] bool InsertMessage(const HistoryMessage& message, const std::string& ack_token,
                                   bool* inserted) REQUIRES(mutex_);
  [[nodiscard]] bool InsertMessage(const HistoryMessage& message, const std::string& ack_token, bool* inserted,
                                   InsertStatements& statements) REQUIRES(mutex_);
  // Ends an open transaction with ROLLBACK and makes sure it is closed: a
  // transaction that stays open would block every later write of every
  // connection, so the connection is closed as the last resort, and that is
  // logged ("LOCAL_HISTORY_NOT_READY"); the history session opens the store
  // anew on its next Open.
  void RollbackTransaction() REQUIRES(mutex_);
  [[nodiscard]] bool Begin() REQUIRES(mutex_);
  [[nodiscard]] bool Commit() REQUIRES(mutex_);
  [[nodiscard]] bool OpenLocked(const std::filesystem::path& root, const std::string& origin,
                                const std::string& user_id) REQUIRES(mutex_);
  void CloseConnection() REQUIRES(mutex_);

  // Lock order: the inbox-poll mutex, then the history session's mutex, then
  // this one, innermost. Nothing called while it is held (SQLite, data
  // protection, SHA-256) takes either of the others or calls back into a store.
  mutable platform::Mutex mutex_;
  sqlite3* db_ GUARDED_BY(mutex_) = nullptr;
  std::string origin_ GUARDED_BY(mutex_);
  std::string user_id_ GUARDED_BY(mutex_);
  std::string last_error_ GUARDED_BY(mutex_);
  // Whether db_ is set; written with the mutex held.
  std::atomic<bool> open_{false};
};

}  // namespace quorix_history
