// The history store's operations on the open account's tables.
#include <inttypes.h>
#include <sqlite3.h>

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <optional>

#include "chat/history_schema.h"
#include "chat/history_store.h"
#include "chat/history_store_sql.h"
#include "chat/secure_wipe.h"
#include "chat/history_store_hook_state.h"
#include "core/json.h"
#include "platform/guid.h"

namespace quorix_history {

namespace {

constexpr size_t kMaxIdBytes = 256;
constexpr size_t kMaxPage = 100;
constexpr size_t kMaxAcknowledgements = 100;
constexpr size_t kMaxFriends = 10000;
constexpr uint64_t kMaxHistoryLimit = 100000;

std::optional<std::string> GenerateNonce() {
  if (test_hooks::detail::OverridesNonce()) return test_hooks::detail::GenerateNonce();
  std::optional<platform::Guid> guid = platform::CreateGuid();
  if (!guid) return std::nullopt;
  char text[33];
  std::snprintf(text, sizeof(text), "%08" PRIx32 "%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", guid->data1,
                unsigned{guid->data2}, unsigned{guid->data3}, unsigned{guid->data4[0]}, unsigned{guid->data4[1]},
                unsigned{guid->data4[2]}, unsigned{guid->data4[3]}, unsigned{guid->data4[4]},
                unsigned{guid->data4[5]}, unsigned{guid->data4[6]}, unsigned{guid->data4[7]});
  return std::string(text, 32);
}

bool IsValidNonce(const std::string& nonce) {
  if (nonce.size() < 16 || nonce.size() > 128) return false;
  return std::all_of(nonce.begin(), nonce.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

std::string OutboxPayload(const std::string& peer, const std::string& message) {
  return "{\"peer\":" + QuoteHistoryJsonString(peer) + ",\"message\":" + QuoteHistoryJsonString(message) + "}";
}

// Parses a decrypted text and wipes it right after.
bool ParseAndWipe(std::string* plain, JsonValue* value) {
  bool ok = ParseJson(*plain, *value);
  SecureWipeString(plain);
  return ok;
}

// The two string members of an outbox or friend payload.
bool StringPair(const JsonValue& value, const char* first_key, const char* second_key, std::string* first,
                std::string* second) {
  const std::string* a = FindJsonString(value, first_key);
  const std::string* b = FindJsonString(value, second_key);
  if (a == nullptr || b == nullptr) return false;
  *first = *a;
  *second = *b;
  return true;
}

}  // namespace

bool Store::DecryptRow(Statement& statement, int column, JsonValue* value, bool* readable) {
  *readable = false;
  std::string plain;
  if (!Unprotect(statement.ColumnBlob(column), statement.ColumnBytes(column), &plain)) return false;
  *readable = ParseAndWipe(&plain, value);
  return true;
}

bool Store::DecryptRecord(Statement& statement, int column, HistoryMessage* record, bool* readable) {
  JsonValue value;
  if (!DecryptRow(statement, column, &value, readable)) return false;
  *readable = *readable && HistoryMessageFromJson(value, user_id_, record);
  return true;
}

bool Store::AddOutbox(const std::string& peer, const std::string& message, std::string* nonce) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || nonce == nullptr || peer.empty() || peer.size() > kMaxIdBytes || peer == user_id_ ||
      message.empty() || message.size() > kHistoryTextMaxBytes) {
    return Fail("draft_invalid");
  }
  if (nonce->empty()) {
    std::optional<std::string> generated = GenerateNonce();
    if (!generated) return Fail("nonce_failed");
    *nonce = std::move(*generated);
  }
  if (!IsValidNonce(*nonce)) return Fail("nonce_invalid");
  std::string payload = OutboxPayload(peer, message);

  Statement select;
  if (!select.Prepare(db_, "SELECT payload FROM outbox WHERE nonce=?") || !select.BindText(1, *nonce)) {
    SecureWipeString(&payload);
    return Fail("outbox_read_failed");
  }
  int rc = select.Step();
  if (rc == SQLITE_ROW) {
    std::string stored;
    bool decrypted = Unprotect(select.ColumnBlob(0), select.ColumnBytes(0), &stored);
    bool same = decrypted && stored == payload;
    SecureWipeString(&stored);
    SecureWipeString(&payload);
    if (!decrypted) return false;
    return same || Fail("nonce_conflict");
  }
  if (rc != SQLITE_DONE) {
    SecureWipeString(&payload);
    return Fail("outbox_read_failed");
  }
  std::vector<uint8_t> blob;
  bool encrypted = Protect(payload, &blob);
  SecureWipeString(&payload);
  if (!encrypted) return false;
  Statement insert;
  if (!insert.Prepare(db_, "INSERT INTO outbox VALUES(?,?)") || !insert.BindText(1, *nonce) ||
      !insert.BindBlob(2, blob) || insert.Step() != SQLITE_DONE) {
    return Fail("outbox_commit_failed");
  }
  return true;
}

bool Store::ListPendingOutbox(std::vector<OutboxEntry>* out) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || out == nullptr) return Fail("not_open");
  out->clear();
  Statement select;
  if (!select.Prepare(db_,
                      "SELECT nonce,payload FROM outbox WHERE NOT EXISTS(SELECT 1 FROM metadata WHERE "
                      "key='failed:'||outbox.nonce) ORDER BY rowid LIMIT 100")) {
    return false;
  }
  int rc;
  while ((rc = select.Step()) == SQLITE_ROW) {
    JsonValue value;
    bool readable = false;
    if (!DecryptRow(select, 1, &value, &readable)) return false;
    OutboxEntry entry;
    if (!readable || !StringPair(value, "peer", "message", &entry.peer, &entry.message)) {
      return Fail("outbox_corrupt");
    }
    entry.nonce = select.ColumnText(0);
    out->push_back(std::move(entry));
  }
  return rc == SQLITE_DONE;
}

bool Store::MarkOutboxFailed(const std::string& nonce) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr) return false;
  std::vector<uint8_t> blob;
  if (!Protect("server_rejected", &blob)) return false;
  Statement insert;
  return insert.Prepare(db_, "INSERT OR REPLACE INTO metadata VALUES(?,?)") && insert.BindText(1, "failed:" + nonce) &&
         insert.BindBlob(2, blob) && insert.Step() == SQLITE_DONE;
}

bool Store::CommitAccepted(const HistoryMessage& accepted, const std::string& ack_token) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || accepted.sender_id != user_id_ || accepted.client_message_id.empty()) {
    return Fail("accepted_invalid");
  }
  Transaction transaction(this);
  if (!transaction.Begin()) return Fail("transaction_busy");

  // Is this the store's own send: still in the outbox, or committed before?
  bool match = false;
  Statement outbox;
  if (outbox.Prepare(db_, "SELECT payload FROM outbox WHERE nonce=?") &&
      outbox.BindText(1, accepted.client_message_id)) {
    int rc = outbox.Step();
    bool readable = false;
    if (rc == SQLITE_ROW) {
      JsonValue value;
      OutboxEntry entry;
      match = DecryptRow(outbox, 0, &value, &readable) && readable &&
              StringPair(value, "peer", "message", &entry.peer, &entry.message) &&
              entry.peer == accepted.receiver_id && entry.message == accepted.message;
      SecureWipeString(&entry.message);
    } else if (rc == SQLITE_DONE) {
      Statement stored;
      HistoryMessage earlier;
      match = stored.Prepare(db_, "SELECT payload FROM messages WHERE id=?") &&
              stored.BindText(1, accepted.message_id) && stored.Step() == SQLITE_ROW &&
              DecryptRecord(stored, 0, &earlier, &readable) && readable &&
              earlier.client_message_id == accepted.client_message_id;
    }
  }

  bool ok = false;
  if (match) {
    ok = InsertMessage(accepted, ack_token, nullptr);
    if (ok) test_hooks::detail::CrashPoint("commit", 1);
    Statement remove;
    ok = ok && remove.Prepare(db_, "DELETE FROM outbox WHERE nonce=?") &&
         remove.BindText(1, accepted.client_message_id) && remove.Step() == SQLITE_DONE;
    ok = ok && transaction.Commit();
  }
  if (ok) return true;
  transaction.Rollback();
  return Fail(match ? "accepted_commit_failed" : "accepted_outbox_mismatch");
}

bool Store::StoreInboxBatch(const std::string& stream_id, const std::string& next_cursor,
                            const std::vector<HistoryMessage>& messages, const std::string& ack_token,
                            std::vector<std::string>* stored_ids, std::vector<std::string>* inserted_ids) {
  platform::MutexLock lock(mutex_);
  if (stored_ids != nullptr) stored_ids->clear();
  if (inserted_ids != nullptr) inserted_ids->clear();
  if (db_ == nullptr || stored_ids == nullptr || stream_id.empty() || !IsCanonicalDecimal(next_cursor) ||
      messages.size() > kMaxPage || (!messages.empty() && ack_token.empty())) {
    return Fail("batch_invalid");
  }
  Transaction transaction(this);
  if (!transaction.Begin()) return Fail("transaction_busy");

  bool ok = true;
  std::vector<std::string> fresh;
  {
    InsertStatements statements;
    const std::string* previous = nullptr;
    for (size_t i = 0; ok && i < messages.size(); ++i) {
      const HistoryMessage& m = messages[i];
      ok = IsCanonicalDecimal(m.sequence) &&
           CompareCanonicalDecimal(m.sequence, previous != nullptr ? *previous : std::string("0")) > 0 &&
           CompareCanonicalDecimal(m.sequence, next_cursor) <= 0 &&
           std::none_of(messages.begin(), messages.begin() + static_cast<std::ptrdiff_t>(i),
                        [&](const HistoryMessage& earlier) { return earlier.message_id == m.message_id; });
      bool inserted = false;
      ok = ok && InsertMessage(m, ack_token, &inserted, statements);
      if (ok && inserted) fresh.push_back(m.message_id);
      if (ok) test_hooks::detail::CrashPoint("inbox", i + 1);
      previous = &m.sequence;
    }
  }
  if (ok) {
    std::string cursor = stream_id + '\n' + next_cursor;
    std::vector<uint8_t> blob;
    ok = Protect(cursor, &blob);
    SecureWipeString(&cursor);
    Statement write;
    ok = ok && write.Prepare(db_, "INSERT OR REPLACE INTO metadata VALUES('cursor',?)") && write.BindBlob(1, blob) &&
         write.Step() == SQLITE_DONE;
  }
  ok = ok && transaction.Commit();
  if (!ok) {
    transaction.Rollback();
    return Fail("inbox_commit_failed");
  }
  for (const HistoryMessage& m : messages) stored_ids->push_back(m.message_id);
  if (inserted_ids != nullptr) *inserted_ids = std::move(fresh);
  return true;
}

bool Store::InsertMessage(const HistoryMessage& message, const std::string& ack_token, bool* inserted) {
  InsertStatements statements;
  return InsertMessage(message, ack_token, inserted, statements);
}

bool Store::InsertMessage(const HistoryMessage& message, const std::string& ack_token, bool* inserted,
                          InsertStatements& st) {
  assert(db_ != nullptr && sqlite3_get_autocommit(db_) == 0);
  if (inserted != nullptr) *inserted = false;
  std::string json = HistoryMessageToJson(message);
  HistoryMessage record;
  {
    JsonValue value;
    if (!ParseJson(json, value)) {
      SecureWipeString(&json);
      return Fail("message_json_invalid");
    }
    if (!HistoryMessageFromJson(value, user_id_, &record)) {
      SecureWipeString(&json);
      return Fail("message_invalid");
    }
  }
  const bool outgoing = record.sender_id == user_id_;
  const std::string& peer = HistoryPeerOf(record, user_id_);
  auto known = st.peer_keys.find(peer);
  std::string peer_key = known != st.peer_keys.end() ? known->second : PseudonymLocked(peer);
  if (!peer_key.empty() && known == st.peer_keys.end()) st.peer_keys.emplace(peer, peer_key);
  if (peer_key.empty()) {
    SecureWipeString(&json);
    return Fail("pseudonym_failed");
  }

  if (!st.select.Prepare(db_, "SELECT payload FROM messages WHERE id=?") || !st.select.BindText(1, record.message_id)) {
    SecureWipeString(&json);
    return Fail("message_read_failed");
  }
  int rc = st.select.Step();
  if (rc == SQLITE_ROW) {
    // A redelivery: the same message changes nothing.
    SecureWipeString(&json);
    HistoryMessage stored;
    bool readable = false;
    if (!DecryptRecord(st.select, 0, &stored, &readable)) return false;
    bool same = readable && stored.sender_id == record.sender_id && stored.receiver_id == record.receiver_id &&
                stored.message == record.message && stored.created_at == record.created_at;
    if (!same) return Fail("message_conflict");
  } else if (rc == SQLITE_DONE) {
    std::vector<uint8_t> blob;
    bool encrypted = Protect(json, &blob);
    SecureWipeString(&json);
    if (!encrypted) return false;
    if (!st.insert.Prepare(db_, "INSERT INTO messages VALUES(?,?,?,?,?,?)") ||
        !st.insert.BindText(1, record.message_id) || !st.insert.BindText(2, peer_key) ||
        !st.insert.BindDouble(3, record.created_at) || !st.insert.BindInt(4, outgoing ? 1 : 0) ||
        !st.insert.BindInt(5, record.is_read || outgoing ? 1 : 0) || !st.insert.BindBlob(6, blob) ||
        st.insert.Step() != SQLITE_DONE) {
      return Fail("message_insert_failed");
    }
    if (!st.upsert.Prepare(db_, kConversationUpsert) ||
        !st.upsert.BindText(1, peer_key) || !st.upsert.BindDouble(2, record.created_at) ||
        !st.upsert.BindText(3, record.message_id) || !st.upsert.BindInt(4, !outgoing && !record.is_read ? 1 : 0) ||
        !st.upsert.BindBlob(5, blob) || st.upsert.Step() != SQLITE_DONE) {
      return Fail("projection_failed");
    }
    if (inserted != nullptr) *inserted = true;
  } else {
    SecureWipeString(&json);
    return Fail("message_read_failed");
  }

  if (!ack_token.empty()) {
    if (st.ack_blob.empty() && !Protect(ack_token, &st.ack_blob)) return false;
    if (!st.ack.Prepare(db_, "INSERT OR REPLACE INTO acknowledgements VALUES(?,?)") ||
        !st.ack.BindText(1, record.message_id) || !st.ack.BindBlob(2, st.ack_blob) || st.ack.Step() != SQLITE_DONE) {
      return Fail("ack_insert_failed");
    }
  }
  return true;
}

bool Store::DeleteAcknowledgements(const std::vector<std::string>& ids) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || ids.size() > kMaxAcknowledgements) return Fail("ack_invalid");
  Transaction transaction(this);
  if (!transaction.Begin()) return false;
  Statement remove;
  for (const std::string& id : ids) {
    if (!remove.Prepare(db_, "DELETE FROM acknowledgements WHERE id=?") || !remove.BindText(1, id) ||
        remove.Step() != SQLITE_DONE) {
      return false;
    }
  }
  return transaction.Commit();
}

bool Store::ListConversations(std::vector<ConversationRow>* out) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || out == nullptr) return Fail("not_open");
  out->clear();
  Statement select;
  if (!select.Prepare(db_, "SELECT payload,unread,created FROM conversations ORDER BY created DESC,id DESC")) {
    return Fail("projection_read_failed");
  }
  int rc;
  while ((rc = select.Step()) == SQLITE_ROW) {
    HistoryMessage record;
    bool readable = false;
    if (!DecryptRecord(select, 0, &record, &readable)) return false;
    if (!readable) return Fail("projection_corrupt");
    out->push_back(ConversationRow{HistoryPeerOf(record, user_id_), std::move(record.message),
                                   select.ColumnInt64(1), select.ColumnDouble(2)});
  }
  return rc == SQLITE_DONE;
}

bool Store::MarkPeerRead(const std::string& peer_id) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr) return false;
  std::string key = PseudonymLocked(peer_id);
  if (key.empty()) return false;
  Transaction transaction(this);
  if (!transaction.Begin()) return false;
  Statement messages;
  Statement conversations;
  return messages.Prepare(db_, "UPDATE messages SET isread=1 WHERE peer=? AND outgoing=0 AND isread=0") &&
         messages.BindText(1, key) && messages.Step() == SQLITE_DONE &&
         conversations.Prepare(db_, "UPDATE conversations SET unread=0 WHERE peer=?") &&
         conversations.BindText(1, key) && conversations.Step() == SQLITE_DONE && transaction.Commit();
}

bool Store::ReadFriends(std::vector<ChatFriend>* out) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || out == nullptr) return false;
  out->clear();
  Statement select;
  if (!select.Prepare(db_, "SELECT payload FROM friends ORDER BY rowid")) return false;
  int rc;
  while ((rc = select.Step()) == SQLITE_ROW) {
    JsonValue value;
    bool readable = false;
    ChatFriend entry;
    if (!DecryptRow(select, 0, &value, &readable) || !readable ||
        !StringPair(value, "user_id", "display_name", &entry.user_id, &entry.display_name)) {
      return false;
    }
    out->push_back(std::move(entry));
  }
  return rc == SQLITE_DONE;
}

bool Store::ReplaceFriends(const std::vector<ChatFriend>& friends) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || friends.size() > kMaxFriends) return false;
  Transaction transaction(this);
  if (!transaction.Begin()) return false;
  Statement clear;
  if (!clear.Prepare(db_, "DELETE FROM friends") || clear.Step() != SQLITE_DONE) return false;
  Statement insert;
  for (const ChatFriend& f : friends) {
    std::string key = PseudonymLocked(f.user_id);
    if (key.empty()) return false;
    std::string payload = "{\"user_id\":" + QuoteHistoryJsonString(f.user_id) +
                          ",\"display_name\":" + QuoteHistoryJsonString(f.display_name) + "}";
    std::vector<uint8_t> blob;
    bool encrypted = Protect(payload, &blob);
    SecureWipeString(&payload);
    if (!encrypted || !insert.Prepare(db_, "INSERT INTO friends VALUES(?,?)") || !insert.BindText(1, key) ||
        !insert.BindBlob(2, blob) || insert.Step() != SQLITE_DONE) {
      return false;
    }
  }
  return transaction.Commit();
}

bool Store::ReadPeerHistory(const std::string& peer_id, std::vector<HistoryMessage>* out, uint64_t limit) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || out == nullptr || limit > kMaxHistoryLimit) return Fail("history_invalid");
  out->clear();
  std::string key = PseudonymLocked(peer_id);
  if (key.empty()) return Fail("history_invalid");
  Statement select;
  if (!select.Prepare(db_, "SELECT payload,isread FROM messages WHERE peer=? ORDER BY created DESC,id DESC LIMIT ?") ||
      !select.BindText(1, key) || !select.BindInt(2, static_cast<int>(limit))) {
    return false;
  }
  int rc;
  while ((rc = select.Step()) == SQLITE_ROW) {
    HistoryMessage record;
    bool readable = false;
    if (!DecryptRecord(select, 0, &record, &readable)) return false;
    if (!readable) return Fail("history_corrupt");
    record.is_read = select.ColumnInt64(1) != 0;
    out->push_back(std::move(record));
  }
  std::reverse(out->begin(), out->end());
  return rc == SQLITE_DONE;
}

bool Store::GetMessage(const std::string& message_id, HistoryMessage* out) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || out == nullptr) return false;
  Statement select;
  if (!select.Prepare(db_, "SELECT payload,isread FROM messages WHERE id=?") || !select.BindText(1, message_id) ||
      select.Step() != SQLITE_ROW) {
    return false;
  }
  HistoryMessage record;
  bool readable = false;
  if (!DecryptRecord(select, 0, &record, &readable) || !readable) return false;
  record.is_read = select.ColumnInt64(1) != 0;
  *out = std::move(record);
  return true;
}

}  // namespace quorix_history
