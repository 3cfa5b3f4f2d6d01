#include "chat/message_sync.h"

#include <map>
#include <mutex>
#include <new>
#include <set>
#include <utility>

#include "chat/history_store_hook_state.h"
#include "chat/outgoing_check.h"
#include "chat/secure_wipe.h"

namespace {

constexpr char kSendPath[] = "/phone/v1/messages/send";
constexpr char kAckPath[] = "/phone/v1/messages/ack";
constexpr char kInboxPrefix[] = "/phone/v1/messages/inbox?after=";
constexpr size_t kMaxPages = 20;
constexpr size_t kMaxPageMessages = 100;

// Zero-fills a string that held message text or a token when the scope ends,
// whichever way it ends.
class WipeOnExit {
 public:
  explicit WipeOnExit(std::string* text) : text_(text) {}
  ~WipeOnExit() { SecureWipeString(text_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  std::string* text_;
};

std::mutex& InboxPollMutex() {
  static std::mutex mutex;
  return mutex;
}

// Guarded by InboxPollMutex().
InboxCursorState& CursorState() {
  static InboxCursorState state;
  return state;
}

bool IsRefusal(uint32_t status) { return status == 400 || status == 403 || status == 422; }

bool MatchesEntry(const HistoryMessage& accepted, const quorix_history::OutboxEntry& entry,
                  const std::string& self_id) {
  return accepted.client_message_id == entry.nonce && accepted.sender_id == self_id &&
         accepted.receiver_id == entry.peer && accepted.message == entry.message;
}

}  // namespace

std::string JsonStringOrEmpty(const JsonValue& object, const char* key) {
  const std::string* value = FindJsonString(object, key);
  return value == nullptr ? std::string() : *value;
}

bool MessagesRequest(const HistorySnapshot& snapshot, const std::string& method, const std::string& path,
                     const std::string& body, JsonValue* reply, uint32_t* status) {
  if (snapshot.connection == nullptr || reply == nullptr || !HistorySession::IsCurrent(snapshot)) return false;
  uint32_t code = 0;
  std::string text;
  std::string connection_id;
  WipeOnExit wipe_text(&text);
  bool ok = snapshot.connection->ExecuteMessagesRequest(method, path, body, &code, &text, &connection_id);
  ok = ok && code == 200 && ParseJson(text, *reply);
  SecureWipeString(&text);
  ok = ok && FindJsonBool(*reply, "ok") &&
       (path == kAckPath || JsonStringOrEmpty(*reply, "connection_id") == connection_id) &&
       HistorySession::IsCurrent(snapshot);
  if (status != nullptr) *status = code;
  return ok;
}

bool SendOutboxMessage(const HistorySnapshot& snapshot, const quorix_history::OutboxEntry& entry,
                       HistoryMessage* accepted, bool* rejected) {
  if (!snapshot.store || accepted == nullptr) return false;
  std::string body = "{\"receiver_id\":" + QuoteHistoryJsonString(entry.peer) +
                     ",\"client_message_id\":" + QuoteHistoryJsonString(entry.nonce) +
                     ",\"message\":" + QuoteHistoryJsonString(entry.message) + "}";
  WipeOnExit wipe_body(&body);
  JsonValue reply;
  uint32_t status = 0;
  bool ok = MessagesRequest(snapshot, "POST", kSendPath, body, &reply, &status);
  SecureWipeString(&body);
  if (!ok) {
    if (IsRefusal(status)) {
      if (rejected != nullptr) *rejected = true;
      // Not marked, the entry stays pending and the next flush meets the
      // same refusal and marks it then; the send is refused either way.
      (void)snapshot.store->MarkOutboxFailed(entry.nonce);
    }
    return false;
  }
  quorix_history::test_hooks::detail::CrashPoint("send_reply", status);
  const JsonValue* message = reply.Find("message");
  if (!FindJsonBool(reply, "saved") || message == nullptr) return false;
  if (message->type != JsonType::Null) {
    if (!HistoryMessageFromJson(*message, snapshot.user_id, accepted)) return false;
  } else {
    std::string id = JsonStringOrEmpty(reply, "message_id");
    if (id.empty() || !snapshot.store->GetMessage(id, accepted) || accepted->message_id != id) return false;
  }
  if (!MatchesEntry(*accepted, entry, snapshot.user_id)) return false;
  accepted->expired = FindJsonBool(reply, "expired");
  std::string token = JsonStringOrEmpty(reply, "ack_token");
  WipeOnExit wipe_token(&token);
  if (!snapshot.store->CommitAccepted(*accepted, token)) return false;
  HistorySession::NoteChange();
  if (!token.empty()) AcknowledgeMessages(snapshot, AckRequest{token, {accepted->message_id}});
  return true;
}

bool AcknowledgeMessages(const HistorySnapshot& snapshot, const AckRequest& request) {
  if (!snapshot.store) return false;
  std::string body = "{\"message_ids\":[";
  WipeOnExit wipe_body(&body);
  for (size_t i = 0; i < request.message_ids.size(); ++i) {
    if (i > 0) body += ',';
    body += QuoteHistoryJsonString(request.message_ids[i]);
  }
  body += "],\"ack_token\":" + QuoteHistoryJsonString(request.ack_token) + "}";
  JsonValue reply;
  bool ok = MessagesRequest(snapshot, "POST", kAckPath, body, &reply, nullptr);
  SecureWipeString(&body);
  if (!ok) return false;
  const JsonValue* ids = reply.Find("message_ids");
  if (ids == nullptr || ids->type != JsonType::Array || ids->items.size() != request.message_ids.size()) {
    return false;
  }
  std::set<std::string> open(request.message_ids.begin(), request.message_ids.end());
  for (const JsonValue& id : ids->items) {
    if (id.type != JsonType::String || open.erase(id.text) != 1) return false;
  }
  if (!open.empty()) return false;
  quorix_history::test_hooks::detail::CrashPoint("ack_reply", request.message_ids.size());
  return snapshot.store->DeleteAcknowledgements(request.message_ids);
}

quorix_mvp03live::Result RunSendMessageTask(const std::string& peer_id, const std::string& text) {
  quorix_mvp03live::Result result;
  result.code = 9;
  bool in_outbox = false;
  try {
    HistorySnapshot snapshot = HistorySession::Snapshot();
    if (!snapshot.store || snapshot.connection == nullptr) {
      result.code = 1;
      return result;
    }
    if (!ValidateOutgoingMessageText(text)) {
      result.code = 8;
      return result;
    }
    std::string nonce;
    if (!snapshot.store->AddOutbox(peer_id, text, &nonce)) return result;
    in_outbox = true;
    HistoryMessage accepted;
    bool rejected = false;
    if (!SendOutboxMessage(snapshot, quorix_history::OutboxEntry{nonce, peer_id, text}, &accepted, &rejected)) {
      result.code = rejected ? 5 : 7;
      return result;
    }
    result.expired = accepted.expired;
    result.messages.push_back(ChatMessageFromHistory(accepted));
    result.code = 0;
  } catch (const std::bad_alloc&) {
    result.messages.clear();
    result.expired = false;
    result.code = in_outbox ? 7 : 9;
  }
  return result;
}

namespace {

enum class PageOutcome { kFailed, kRestarted, kStored };

// Fetches the page at the cursor, stores it, turns its new incoming messages
// into notices and acknowledges it. `*has_more` says whether the service has
// another page.
PageOutcome FetchPage(const HistorySnapshot& snapshot, InboxCursorState& state,
                      const std::map<std::string, std::string>& names, quorix_notice::Batch& batch, bool* has_more) {
  JsonValue reply;
  if (!MessagesRequest(snapshot, "GET", kInboxPrefix + state.cursor + "&limit=100", "", &reply, nullptr) ||
      JsonStringOrEmpty(reply, "user_id") != snapshot.user_id) {
    return PageOutcome::kFailed;
  }
  std::string stream_id = JsonStringOrEmpty(reply, "stream_id");
  std::string next_cursor = JsonStringOrEmpty(reply, "next_cursor");
  if (stream_id.empty() || next_cursor.empty()) return PageOutcome::kFailed;
  if (!state.stream_id.empty() && state.stream_id != stream_id) {
    // The service started a new stream: begin again from its start.
    state.cursor = "0";
    state.stream_id = std::move(stream_id);
    return PageOutcome::kRestarted;
  }
  state.stream_id = stream_id;
  const JsonValue* items = reply.Find("messages");
  if (items == nullptr || items->type != JsonType::Array || items->items.size() > kMaxPageMessages) {
    return PageOutcome::kFailed;
  }
  std::vector<HistoryMessage> messages;
  messages.reserve(items->items.size());
  std::set<std::string> ids;
  std::set<std::string> legacy;
  for (const JsonValue& item : items->items) {
    HistoryMessage message;
    if (!HistoryMessageFromJson(item, snapshot.user_id, &message) || message.sequence.empty() ||
        !ids.insert(message.message_id).second) {
      return PageOutcome::kFailed;
    }
    if (FindJsonBool(item, "legacy")) legacy.insert(message.message_id);
    messages.push_back(std::move(message));
  }
  std::string token = JsonStringOrEmpty(reply, "ack_token");
  WipeOnExit wipe_token(&token);
  std::vector<std::string> stored;
  std::vector<std::string> inserted;
  if (!HistorySession::IsCurrent(snapshot) ||
      !snapshot.store->StoreInboxBatch(stream_id, next_cursor, messages, token, &stored, &inserted)) {
    return PageOutcome::kFailed;
  }
  quorix_history::test_hooks::detail::CrashPoint("inbox_stored", messages.size());
  batch.succeeded = true;
  state.cursor = next_cursor;
  const std::set<std::string> fresh(inserted.begin(), inserted.end());
  for (const HistoryMessage& m : messages) {
    if (m.sender_id == snapshot.user_id || m.is_read || fresh.count(m.message_id) == 0 ||
        legacy.count(m.message_id) != 0) {
      continue;
    }
    auto name = names.find(m.sender_id);
    batch.entries.push_back(quorix_notice::Entry{m.sender_id, m.message_id, m.sender_id,
                                                 name == names.end() ? std::string() : name->second, m.message,
                                                 m.created_at});
  }
  if (!messages.empty()) HistorySession::NoteChange();
  if (!stored.empty() && !AcknowledgeMessages(snapshot, AckRequest{token, std::move(stored)})) {
    state.cursor = "0";
    return PageOutcome::kFailed;
  }
  *has_more = FindJsonBool(reply, "has_more");
  return PageOutcome::kStored;
}

// Sends the oldest pending outbox entry, once the inbox is drained. Entries
// behind it wait, so the peer receives messages in the order they were
// written.
void FlushOutbox(const HistorySnapshot& snapshot, quorix_notice::Batch& batch) {
  batch.succeeded = true;
  std::vector<quorix_history::OutboxEntry> pending;
  if (!snapshot.store->ListPendingOutbox(&pending)) {
    batch.incomplete = true;
    return;
  }
  if (pending.empty()) return;
  HistoryMessage accepted;
  bool rejected = false;
  const bool sent = SendOutboxMessage(snapshot, pending.front(), &accepted, &rejected);
  batch.incomplete = !sent && !rejected;
  batch.more_pending = !batch.incomplete && pending.size() > 1;
  for (quorix_history::OutboxEntry& entry : pending) SecureWipeString(&entry.message);
}

// One inbox poll under the inbox-poll mutex. Returns with `batch` as far as
// it got; a step that fails sets `incomplete`.
void PollInbox(quorix_notice::Batch& batch, InboxCursorState& state) {
  HistorySnapshot snapshot = HistorySession::Snapshot();
  if (!snapshot.store || snapshot.revision != batch.revision || snapshot.connection == nullptr ||
      !HistorySession::IsCurrent(snapshot)) {
    batch.incomplete = true;
    return;
  }
  const std::string connection_id = snapshot.connection->GetConnectionId();
  if (connection_id.empty()) {
    batch.incomplete = true;
    return;
  }
  std::string key = snapshot.user_id + "\n" + std::to_string(batch.revision) + "\n" + connection_id;
  if (key != state.key) {
    state.key = std::move(key);
    state.cursor = "0";
    state.stream_id.clear();
  }
  std::vector<ChatFriend> friends;
  if (!snapshot.store->ReadFriends(&friends)) {
    batch.incomplete = true;
    return;
  }
  std::map<std::string, std::string> names;
  for (ChatFriend& f : friends) names[f.user_id] = std::move(f.display_name);

  for (size_t page = 0; page < kMaxPages; ++page) {
    bool has_more = false;
    const PageOutcome outcome = FetchPage(snapshot, state, names, batch, &has_more);
    if (outcome == PageOutcome::kFailed) {
      batch.incomplete = true;
      return;
    }
    if (outcome == PageOutcome::kStored && !has_more) return FlushOutbox(snapshot, batch);
  }
  // Twenty pages and the service has more. A run that stored nothing (the
  // stream kept restarting) is a failure, so the owner waits before the next
  // poll instead of asking again at once.
  batch.more_pending = batch.succeeded;
  batch.incomplete = !batch.succeeded;
}

}  // namespace

quorix_notice::Batch RunInboxPollTask(uint64_t revision) {
  quorix_notice::Batch batch;
  batch.revision = revision;
  std::lock_guard lock(InboxPollMutex());
  try {
    PollInbox(batch, CursorState());
  } catch (const std::bad_alloc&) {
    batch.incomplete = true;
  }
  return batch;
}

std::function<quorix_mvp03live::Result()> SendMessageJob(std::string peer_id, std::string text) {
  return [peer = std::move(peer_id), message = std::move(text)] { return RunSendMessageTask(peer, message); };
}
